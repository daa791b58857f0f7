// The four data pieces shipped beside the updater and the database they make: what each gives,
// and the one way their bytes are read, in the database's order.
#pragma once

#include <cstdint>
#include <functional>
#include <iterator>
#include <memory>
#include <optional>
#include <string>
#include <string_view>

#include "engine/env.h"

namespace qrv3 {

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

// The most a reader of the pieces holds of the database at once.
inline constexpr size_t kStreamChunk = 256 * 1024;

// The data pieces of one updater folder, for one program's life: the first Open opens and checks
// them, and whoever asks again (the check, the run, the check after a run) gets that answer and
// reads the files it opened.
class DataPieces {
 public:
  DataPieces(Env& env, std::string updater_folder)
      : env_(env), updater_folder_(std::move(updater_folder)) {}
  DataPieces(const DataPieces&) = delete;
  DataPieces& operator=(const DataPieces&) = delete;

  // Opens the four pieces and checks that each holds the bytes the database takes from it: a
  // missing piece is kNotFound and a short one kShortFile, naming the first that is not usable.
  Status Open();

  // Hands the database's bytes to `sink` in order, a chunk of at most kStreamChunk bytes at a
  // time, read from the open pieces through one buffer: where two pieces overlap, the later
  // one's byte is the one handed on. Opens them first. No memory for the buffer is kNoMemory; a
  // piece that fails or turns out short while read, or a sink that fails, ends it with that
  // failure.
  Status Stream(const std::function<Status(const uint8_t*, size_t)>& sink);

 private:
  Env& env_;
  const std::string updater_folder_;
  std::optional<Status> opened_;
  std::unique_ptr<ReadableFile> files_[std::size(kDataPieces)];
};

}  // namespace qrv3
