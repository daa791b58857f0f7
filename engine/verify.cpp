#include "engine/verify.h"

#include <algorithm>
#include <cstring>
#include <memory>

namespace qrv3 {

bool PassesChecks(Env& env, const std::function<std::string()>& install_path, const ExpectedFile& file,
                  int& passed) {
  const std::string name(file.name);
  // Existence is probed first so that the size and time queries never meet a missing file.
  if (!env.FileExists(install_path() + name)) return false;
  ++passed;
  uint64_t size = 0;
  if (!env.GetFileSize(install_path() + name, &size).ok() || size != file.size) return false;
  ++passed;
  FileStamp stamp;
  if (!env.GetFileStamp(install_path() + name, &stamp).ok() ||
      FormatStamp(stamp) != file.stamp) {
    return false;
  }
  ++passed;
  return true;
}

int VerifyInstallation(Env& env, const std::function<std::string()>& install_path) {
  int passed = 0;
  // A check that cannot even be made (no memory for a file name) has not passed.
  try {
    for (const ExpectedFile& f : kExpectedFiles) {
      if (!PassesChecks(env, install_path, f, passed)) break;
    }
  } catch (...) {
  }
  return passed;
}

Status FileBinaryCompare(Env& env, const std::string& strFile1, const std::string& strFile2,
                         bool* equal) {
  std::unique_ptr<ReadableFile> file1, file2;
  EntryInfo info1, info2;
  Status s = env.OpenFile(strFile1, &file1);
  if (s.ok()) s = env.OpenFile(strFile2, &file2);
  if (s.ok()) s = file1->Info(&info1);
  if (s.ok()) s = file2->Info(&info2);
  if (!s.ok()) return s;
  *equal = false;
  if (info1.size != info2.size) return Status::Ok();
  constexpr size_t kChunk = 256 * 1024;
  auto a = std::make_unique<uint8_t[]>(kChunk);
  auto b = std::make_unique<uint8_t[]>(kChunk);
  for (uint64_t pos = 0; pos < info1.size; pos += kChunk) {
    const size_t n = static_cast<size_t>(std::min<uint64_t>(info1.size - pos, kChunk));
    if (!(s = file1->ReadAt(pos, n, a.get())).ok()) return s;
    if (!(s = file2->ReadAt(pos, n, b.get())).ok()) return s;
    if (std::memcmp(a.get(), b.get(), n) != 0) return Status::Ok();
  }
  *equal = true;
  return Status::Ok();
}

}  // namespace qrv3
