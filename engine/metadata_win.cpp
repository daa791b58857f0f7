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

// The creator of a new file: the user of the process's token.
Status TokenUser(std::vector<uint8_t>* user) {
  HANDLE token = nullptr;
  if (!OpenProcessToken(GetCurrentProcess(), TOKEN_QUERY, &token)) {
    return LastError("open the token");
  }
  const UniqueHandle owned(token);
  DWORD size = 0;
  GetTokenInformation(token, ::TokenUser, nullptr, 0, &size);
  user->assign(size, 0);
  if (!GetTokenInformation(token, ::TokenUser, user->data(), size, &size)) {
    return LastError("read the token's user");
  }
  return Status::Ok();
}

}  // namespace

Status OwnerOnlyDescriptor(std::vector<uint8_t>* sd) {
  // Wine reads an entry for the running user as one for the file's group too.
  if (UnderWine()) return WineOwnerOnlyDescriptor(sd);
  std::vector<uint8_t> user;
  if (Status s = TokenUser(&user); !s.ok()) return s;
  const PSID sid = reinterpret_cast<const TOKEN_USER*>(user.data())->User.Sid;
  const DWORD size = sizeof(ACL) + sizeof(ACCESS_ALLOWED_ACE) + GetLengthSid(sid);
  std::vector<uint8_t> acl_bytes(size);
  auto* acl = reinterpret_cast<PACL>(acl_bytes.data());
  SECURITY_DESCRIPTOR made;
  // Protected: the system merges the folder's inheritable entries into any other list.
  if (!InitializeAcl(acl, size, ACL_REVISION) ||
      !AddAccessAllowedAce(acl, ACL_REVISION, FILE_ALL_ACCESS, sid) ||
      !InitializeSecurityDescriptor(&made, SECURITY_DESCRIPTOR_REVISION) ||
      !SetSecurityDescriptorDacl(&made, TRUE, acl, FALSE) ||
      !SetSecurityDescriptorControl(&made, SE_DACL_PROTECTED, SE_DACL_PROTECTED)) {
    return LastError("make security");
  }
  DWORD length = 0;
  MakeSelfRelativeSD(&made, nullptr, &length);
  sd->assign(length, 0);
  if (!MakeSelfRelativeSD(&made, sd->data(), &length)) return LastError("make security");
  return Status::Ok();
}

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
  } else {
    // Inheriting from the folder or not, as the model: not as the file was created.
    SECURITY_DESCRIPTOR_CONTROL control = 0;
    DWORD revision = 0;
    if (!GetSecurityDescriptorControl(sd.data(), &control, &revision)) {
      return LastError("read security for " + what);
    }
    parts |= (control & SE_DACL_PROTECTED) ? PROTECTED_DACL_SECURITY_INFORMATION
                                           : UNPROTECTED_DACL_SECURITY_INFORMATION;
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
