#include "engine/metadata_win.h"

#include <aclapi.h>

#include <cstring>
#include <vector>

#include "base/win32_util_win.h"
#include "engine/wine_win.h"

namespace qrv3 {
namespace {

// A security descriptor the system allocated; freed when it goes.
struct LocalMemory {
  PSECURITY_DESCRIPTOR p = nullptr;
  ~LocalMemory() {
    if (p != nullptr) LocalFree(p);
  }
};

// The start of FileMetadata's bytes; the self-relative security descriptor, if any, follows.
struct WinMetadataHeader {
  DWORD attributes;
};

}  // namespace

Status ReadMetadata(HANDLE h, const std::string& what, FileMetadata* metadata) {
  FILE_BASIC_INFO basic;
  if (!GetFileInformationByHandleEx(h, FileBasicInfo, &basic, sizeof basic)) {
    return LastError("attributes of " + what);
  }
  const WinMetadataHeader header{basic.FileAttributes};
  metadata->bytes.assign(reinterpret_cast<const uint8_t*>(&header),
                         reinterpret_cast<const uint8_t*>(&header) + sizeof header);
  LocalMemory sd;
  // The owner too: under Wine the access list means something only together with it.
  const DWORD err = GetSecurityInfo(h, SE_FILE_OBJECT,
                                    OWNER_SECURITY_INFORMATION | DACL_SECURITY_INFORMATION,
                                    nullptr, nullptr, nullptr, nullptr, &sd.p);
  // A file system without access lists (FAT) has none to keep.
  if (err == ERROR_NOT_SUPPORTED || err == ERROR_INVALID_FUNCTION) return Status::Ok();
  if (err != ERROR_SUCCESS) return StatusFromWin32(err, "security of " + what);
  const auto* bytes = static_cast<const uint8_t*>(sd.p);
  metadata->bytes.insert(metadata->bytes.end(), bytes, bytes + GetSecurityDescriptorLength(sd.p));
  return Status::Ok();
}

Status WriteMetadata(HANDLE h, const std::string& what, const FileMetadata& model,
                     bool can_set_dacl) {
  WinMetadataHeader header;
  if (model.bytes.size() < sizeof header) {
    return Status::Error(Status::Code::kInvalidPath, "no metadata for " + what);
  }
  std::memcpy(&header, model.bytes.data(), sizeof header);
  // The times stay the new file's own (zero leaves them); the attributes come over without
  // read-only, which would keep the product from writing its database.
  constexpr DWORD kKept = FILE_ATTRIBUTE_ARCHIVE | FILE_ATTRIBUTE_HIDDEN | FILE_ATTRIBUTE_SYSTEM |
                          FILE_ATTRIBUTE_NOT_CONTENT_INDEXED;
  FILE_BASIC_INFO mine = {};
  mine.FileAttributes = header.attributes & kKept;
  if (mine.FileAttributes == 0) mine.FileAttributes = FILE_ATTRIBUTE_NORMAL;
  if (!SetFileInformationByHandle(h, FileBasicInfo, &mine, sizeof mine)) {
    return LastError("set attributes of " + what);
  }
  // A share that lets us change files but not their permissions keeps its own; a file system
  // without access lists has none.
  if (!can_set_dacl || model.bytes.size() == sizeof header) return Status::Ok();
  std::vector<uint8_t> sd(model.bytes.begin() + sizeof header, model.bytes.end());
  if (!IsValidSecurityDescriptor(sd.data())) {
    return Status::Error(Status::Code::kInvalidPath, "no valid security for " + what);
  }
  SECURITY_INFORMATION parts = DACL_SECURITY_INFORMATION;
  if (UnderWine()) {
    if (Status s = WineModeDescriptor(&sd); !s.ok()) return s;
    parts |= OWNER_SECURITY_INFORMATION;
  }
  // The access list as it stands, inherited entries and protection included, the way the
  // system's own replace keeps it: not one worked out again for the new file's owner.
  if (!SetKernelObjectSecurity(h, parts, sd.data())) {
    const DWORD err = GetLastError();
    if (err == ERROR_NOT_SUPPORTED || err == ERROR_INVALID_FUNCTION) return Status::Ok();
    return StatusFromWin32(err, "set security of " + what);
  }
  return Status::Ok();
}

}  // namespace qrv3
