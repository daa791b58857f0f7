#include "engine/applied.h"

#include <cstring>
#include <memory>
#include <new>
#include <string_view>

#include "engine/database_digest.h"
#include "engine/sha256.h"
#include "engine/verify.h"

namespace qrv3 {
namespace {

// Every expected file but the database passes all of the run's checks, and the database has the
// new database's size. Cheap: only the files' sizes and times are read.
bool LooksUpdated(Env& env, const std::function<std::string()>& install_path) {
  // The new database's time is that of its writing, which no table holds: it passes two checks.
  const ExpectedFile updated{kDatabaseRow.name, DatabaseSize(), {}};
  for (const ExpectedFile& f : kExpectedFiles) {
    const bool database = &f == &kDatabaseRow;
    int passed = 0;
    const bool all = PassesChecks(env, install_path, database ? updated : f, passed);
    if (database ? passed != 2 : !all) return false;
  }
  return true;
}

// Whether the open database holds exactly the bytes the pieces make, read in the same chunks
// as the rebuild writes them; those bytes go through `hash` too, where there is one.
Status SameBytes(ReadableFile& database, DataPieces& pieces, Sha256* hash, bool* equal) {
  *equal = false;
  EntryInfo info;
  if (Status s = database.Info(&info); !s.ok()) return s;
  if (info.size != DatabaseSize()) return Status::Ok();
  std::unique_ptr<uint8_t[]> mine(new (std::nothrow) uint8_t[kStreamChunk]);
  if (!mine) return Status::Error(Status::Code::kNoMemory, "no memory to compare the database");
  uint64_t at = 0;
  bool differs = false;
  Status s = pieces.Stream([&](const uint8_t* expected, size_t n) {
    if (Status r = database.ReadAt(at, n, mine.get()); !r.ok()) return r;
    at += n;
    differs = std::memcmp(mine.get(), expected, n) != 0;
    // The first difference settles it: nothing more needs reading.
    if (differs) return Status::Error(Status::Code::kChanged, "differs");
    return hash ? hash->Add(expected, n) : Status::Ok();
  });
  if (differs) return Status::Ok();
  *equal = s.ok();
  return s;
}

// In a build that carries the release's digest, pieces that make another database (applied by
// a build without it) do not make the installed one the release's.
Status IsRelease(Sha256& hash, std::string_view release) {
  Sha256::Digest digest;
  if (Status s = hash.Finish(&digest); !s.ok()) return s;
  const std::string got = HexDigits(digest);
  if (got == release) return Status::Ok();
  return Status::Error(Status::Code::kNotRelease,
                       "its SHA-256 is " + got + ", not " + std::string(release));
}

}  // namespace

UpdateCheck CheckUpdate(Env& env, const std::function<std::string()>& install_path, DataPieces& pieces) {
  UpdateCheck check;
  check.step_counter = VerifyInstallation(env, install_path);
  if (check.step_counter == kAllChecks) {
    check.reason = pieces.Open();
    check.state = check.reason.ok() ? UpdateState::kCanApply : UpdateState::kPiecesUnusable;
    return check;
  }
  if (!LooksUpdated(env, install_path)) return check;  // kNotExpected

  // Only the bytes tell the updated database from another of the same size.
  if (Status s = pieces.Open(); !s.ok()) {
    check.state = UpdateState::kPiecesUnusable;
    check.reason = s;
    return check;
  }
  const std::string_view release = ExpectedDatabaseSha256();
  std::unique_ptr<Sha256> hash;
  std::unique_ptr<ReadableFile> database;
  bool equal = false;
  Status s = release.empty() ? Status::Ok() : Sha256::Begin(&hash);
  if (s.ok()) s = env.OpenFile(install_path() + std::string(kDatabaseRow.name), &database);
  if (s.ok()) s = SameBytes(*database, pieces, hash.get(), &equal);
  if (s.ok() && equal && hash) s = IsRelease(*hash, release);
  if (!s.ok()) {
    check.reason = s;  // unreadable, or not the release's: it cannot be told from a wrong one
  } else if (equal) {
    check.state = UpdateState::kAlreadyApplied;
  }
  return check;
}

}  // namespace qrv3
