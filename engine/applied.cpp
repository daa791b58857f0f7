#include "engine/applied.h"

#include <cstring>
#include <memory>
#include <new>

#include "engine/names.h"
#include "engine/rebuild.h"
#include "engine/verify.h"

namespace qrv3 {
namespace {

bool IsDatabase(const ExpectedFile& f) { return CompareIgnoringCase(f.name, kDatabaseName) == 0; }

// All three of the run's checks of one expected file.
bool Passes(Env& env, const std::string& path, const ExpectedFile& f) {
  uint64_t size = 0;
  FileStamp stamp;
  return env.FileExists(path) && env.GetFileSize(path, &size).ok() && size == f.size &&
         env.GetFileStamp(path, &stamp).ok() && FormatStamp(stamp) == f.stamp;
}

// Every expected file but the database passes, and the database has the new database's size.
// Cheap: only the files' sizes and times are read.
bool LooksUpdated(Env& env, const std::function<std::string()>& install_path) {
  for (const ExpectedFile& f : kExpectedFiles) {
    const std::string path = install_path() + std::string(f.name);
    if (!IsDatabase(f)) {
      if (!Passes(env, path, f)) return false;
      continue;
    }
    uint64_t size = 0;
    if (!env.FileExists(path) || !env.GetFileSize(path, &size).ok() || size != DatabaseSize()) {
      return false;
    }
  }
  return true;
}

// Whether the file holds exactly the `n` bytes of `image`, read in slices so that a second
// 12 MB buffer is never needed.
Status SameBytes(Env& env, const std::string& path, const uint8_t* image, size_t n, bool* equal) {
  uint64_t size = 0;
  if (Status s = env.GetFileSize(path, &size); !s.ok()) return s;
  *equal = false;
  if (size != n) return Status::Ok();
  constexpr size_t kSlice = 1 << 20;
  std::unique_ptr<uint8_t[]> buf(new (std::nothrow) uint8_t[kSlice]);
  if (!buf) return Status::Error(Status::Code::kNoMemory, "no memory to compare the database");
  for (size_t at = 0; at < n; at += kSlice) {
    const size_t len = n - at < kSlice ? n - at : kSlice;
    if (Status s = env.ReadFileAt(path, at, len, buf.get()); !s.ok()) return s;
    if (std::memcmp(buf.get(), image + at, len) != 0) return Status::Ok();
  }
  *equal = true;
  return Status::Ok();
}

}  // namespace

Status CheckPieces(Env& env, const std::string& updater_folder) {
  for (const DataPiece& p : kDataPieces) {
    const std::string path = updater_folder + std::string(p.name);
    uint64_t size = 0;
    if (!env.FileExists(path)) return Status::Error(Status::Code::kNotFound, path);
    if (Status s = env.GetFileSize(path, &size); !s.ok()) return s;
    if (size < p.read_from - 1 + p.count) {
      return Status::Error(Status::Code::kShortFile,
                           path + " has " + std::to_string(size) + " bytes, needs " +
                               std::to_string(p.read_from - 1 + p.count));
    }
  }
  return Status::Ok();
}

UpdateCheck CheckUpdate(Env& env, const std::function<std::string()>& install_path,
                        const std::string& updater_folder) {
  UpdateCheck check;
  check.step_counter = VerifyInstallation(env, install_path);
  if (check.step_counter == kAllChecks) {
    check.reason = CheckPieces(env, updater_folder);
    check.state = check.reason.ok() ? UpdateState::kCanApply : UpdateState::kPiecesUnusable;
    return check;
  }
  check.state = UpdateState::kNotExpected;
  if (!LooksUpdated(env, install_path)) return check;

  // Only the bytes tell the updated database from another of the same size.
  std::unique_ptr<uint8_t[]> image;
  Status s = CheckPieces(env, updater_folder);
  if (s.ok()) s = AssembleDatabase(env, updater_folder, &image);
  if (!s.ok()) {
    check.state = UpdateState::kPiecesUnusable;
    check.reason = s;
    return check;
  }
  bool equal = false;
  const std::string database = install_path() + std::string(kDatabaseName);
  s = SameBytes(env, database, image.get(), DatabaseSize(), &equal);
  if (!s.ok()) {
    check.reason = s;  // unreadable: it cannot be told from a wrong one
  } else if (equal) {
    check.state = UpdateState::kAlreadyApplied;
  }
  return check;
}

}  // namespace qrv3
