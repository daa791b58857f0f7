// The database rebuild: the installed database file is replaced by one assembled from four
// data pieces shipped beside the updater.
#pragma once

#include <cstdint>
#include <functional>
#include <iterator>
#include <memory>
#include <string>
#include <string_view>

#include "engine/env.h"

namespace qrv3 {

inline constexpr std::string_view kDatabaseName = "Database\\P03.pac";

// Positions are 1-based byte positions, as the product's tooling counts them.
struct DataPiece {
  std::string_view name;  // appended to the updater folder; begins with "\"
  uint32_t header;        // bytes skipped at the start of the piece file
  uint64_t read_from;     // first byte read from the piece file
  uint32_t count;         // bytes read
  uint64_t written_at;    // position in the database of the first byte read
};

// Applied in this order. Pieces 2 and 3 are written at the last byte of the piece before them,
// so each overwrites one byte of its predecessor; piece 4 follows piece 3 exactly.
inline constexpr DataPiece kDataPieces[] = {
    {"\\data3.cab", 27, 28, 4167105, 1},
    {"\\data1.cab", 26, 27, 2639265, 4167105},
    {"\\data4.cab", 30, 31, 2376832, 6806369},
    {"\\data2.cab", 29, 30, 2938335, 9183201},
};

constexpr uint64_t DatabaseSize() {
  uint64_t end = 0;
  for (const DataPiece& p : kDataPieces) {
    if (p.written_at - 1 + p.count > end) end = p.written_at - 1 + p.count;
  }
  return end;
}
static_assert(DatabaseSize() == 12121535);

// The new database is written beside the old one under a fresh name of this pattern:
// "P03.pac." and 16 lowercase hexadecimal digits and ".tmp". A file of the pattern (or of the fixed
// name earlier versions used) found in the database's folder is what an interrupted run left.
std::string TemporaryName(uint64_t random);
bool IsLeftoverName(std::string_view name);

// The lock file that keeps two runs from replacing one installation's database at once.
inline constexpr std::string_view kLockName = "P03.pac.lock";

// How long a replace refused for a moment (a virus scanner or indexer that opened the fresh
// file) is tried again before it counts as a failure.
inline constexpr int kReplaceTries = 10;
inline constexpr int kReplaceWaitMs = 100;

// The data pieces of `updater_folder`, each opened once, in the table's order.
struct OpenPieces {
  std::unique_ptr<ReadableFile> files[std::size(kDataPieces)];
};

// Opens the four pieces and checks that each holds the bytes the database takes from it: a
// missing piece is kNotFound and a short one kShortFile, naming the first that is not usable.
Status OpenDataPieces(Env& env, const std::string& updater_folder, OpenPieces* pieces);

// The most a rebuild holds of the database at once.
inline constexpr size_t kStreamChunk = 256 * 1024;

// Hands the new database's bytes to `sink` in order, a chunk of at most kStreamChunk bytes at a
// time, read from the open pieces through one buffer: where two pieces overlap, the later one's
// byte is the one handed on. No memory for the buffer is kNoMemory; a piece that fails or turns
// out short while read, or a sink that fails, ends it with that failure.
Status StreamDatabase(OpenPieces& pieces, const std::function<Status(const uint8_t*, size_t)>& sink);

// Rebuilds the database under the install path from the pieces in `updater_folder`.
//
// All four pieces are opened and checked to be long enough before anything is touched. Then,
// holding the installation's lock, the run removes what interrupted runs left, finds the database
// (exactly one entry of its folder by that name, letter case aside) and opens it, writes the new
// one from the pieces to a fresh file created beside it (in a build that carries the release's
// digest, ExpectedDatabaseSha256, hashing the bytes on the way and failing with kMismatch when
// they are another database), gives it what the open database carries besides its bytes and
// flushes it, checks that the database under its name is still the file the verification
// accepted, puts the new file in its place in one step and flushes the folder. So on any failure
// (a missing or short piece, another run, damaged pieces, a read-only or locked database, a full
// disk, no memory) the installed database is exactly as it was and no temporary file is left.
// Never throws. `install_path` is asked afresh for each
// file name.
Status RebuildDatabase(Env& env, const std::function<std::string()>& install_path,
                       const std::string& updater_folder);

// Removes what interrupted runs left in the database's folder (temporary files, and a lock file
// no run holds), holding the lock meanwhile; kBusy while another run holds it. For a run that
// finds nothing to update: a run killed after its replace leaves its lock file on POSIX.
Status RemoveLeftovers(Env& env, const std::function<std::string()>& install_path);

}  // namespace qrv3
