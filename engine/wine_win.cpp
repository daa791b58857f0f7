#include "engine/wine_win.h"

#include <winternl.h>

#include "base/win32_util_win.h"

namespace qrv3 {

bool UnderWine() {
  static const bool wine =
      GetProcAddress(GetModuleHandleW(L"ntdll.dll"), "wine_get_version") != nullptr;
  return wine;
}

namespace {

// Where the file open as `h` is, as Wine's own GetFinalPathNameByHandleW says it ("\\?\Z:\…"),
// but for a name of any length: Wine's asks the system for the name in a buffer of MAX_PATH
// characters and fails (error 234) beyond it. The name comes from NtQueryObject, which ntdll, always
// loaded, exports; under Wine it is the DOS path in the NT form, "\??\Z:\…".
std::wstring WineFinalPath(HANDLE h) {
  using QueryObjectFn = LONG(NTAPI*)(HANDLE, ULONG, PVOID, ULONG, PULONG);
  static const auto query = reinterpret_cast<QueryObjectFn>(reinterpret_cast<void*>(
      GetProcAddress(GetModuleHandleW(L"ntdll.dll"), "NtQueryObject")));
  constexpr ULONG kObjectNameInformation = 1;
  if (query == nullptr) return L"";
  // Room for a name of MAX_PATH characters at first; the size it asks for after that.
  std::vector<ULONGLONG> buffer((sizeof(UNICODE_STRING) + MAX_PATH * sizeof(wchar_t)) / 8 + 1);
  for (int attempt = 0; attempt < 2; ++attempt) {
    ULONG needed = 0;
    const ULONG size = static_cast<ULONG>(buffer.size() * sizeof(ULONGLONG));
    const LONG status = query(h, kObjectNameInformation, buffer.data(), size, &needed);
    if (status >= 0) {
      const auto* name = reinterpret_cast<const UNICODE_STRING*>(buffer.data());
      const std::wstring_view nt(name->Buffer, name->Length / sizeof(wchar_t));
      if (nt.rfind(L"\\??\\", 0) != 0) return L"";
      return L"\\\\?\\" + std::wstring(nt.substr(4));
    }
    if (needed <= size) return L"";
    buffer.resize(needed / sizeof(ULONGLONG) + 1);
  }
  return L"";
}

}  // namespace

std::wstring FinalPath(HANDLE h) {
  if (UnderWine()) return WineFinalPath(h);
  std::wstring path(MAX_PATH, L'\0');
  for (;;) {
    const DWORD n = GetFinalPathNameByHandleW(h, path.data(), static_cast<DWORD>(path.size()),
                                              FILE_NAME_NORMALIZED | VOLUME_NAME_DOS);
    if (n == 0) return L"";
    if (n < path.size()) {
      path.resize(n);
      return path;
    }
    path.resize(n);
  }
}

Status FolderFinalPath(HANDLE h, const std::string& what, std::wstring* folder) {
  *folder = FinalPath(h);
  if (folder->empty() && UnderWine()) {
    return Status::Error(Status::Code::kAccessDenied, "cannot tell where " + what + " is");
  }
  return Status::Ok();
}

namespace {

bool EqualIgnoringCase(std::wstring_view a, std::wstring_view b) {
  return CompareStringOrdinal(a.data(), static_cast<int>(a.size()), b.data(),
                              static_cast<int>(b.size()), TRUE) == CSTR_EQUAL;
}

// Whether exactly one entry of `folder` (a final path) has the name `name`, letter case aside.
// A folder that cannot be listed has none.
bool OneEntryIgnoringCase(const std::wstring& folder, std::wstring_view name) {
  const std::wstring pattern = folder + (folder.back() == L'\\' ? L"*" : L"\\*");
  WIN32_FIND_DATAW d;
  UniqueFindHandle found(FindFirstFileExW(pattern.c_str(), FindExInfoBasic, &d,
                                          FindExSearchNameMatch, nullptr, 0));
  if (!found.valid()) return false;
  int count = 0;
  do {
    if (EqualIgnoringCase(d.cFileName, name)) ++count;
  } while (FindNextFileW(found.get(), &d));
  return GetLastError() == ERROR_NO_MORE_FILES && count == 1;
}

}  // namespace

bool IsEntryOf(const std::wstring& folder, HANDLE h, std::wstring_view name) {
  if (folder.empty()) return true;
  const std::wstring path = FinalPath(h);
  // Where a file's final path cannot be had although its folder's can (a folder that may be
  // read but not listed, on some shares), Windows' own attributes still tell a link; Wine's not.
  if (path.empty()) return !UnderWine();
  const std::wstring_view p(path);
  const size_t base = folder.size() + (folder.back() == L'\\' ? 0 : 1);
  // Both final paths are the file system's own spelling: a folder of another letter case is
  // another folder (on a case-sensitive disk, a link to a sibling).
  if (p.size() <= base || p.substr(0, folder.size()) != folder || p[base - 1] != L'\\') {
    return false;
  }
  const std::wstring_view entry = p.substr(base);
  if (entry == name) return true;
  // The system found the name ignoring case. It is the entry itself only where no other entry
  // has that name: a link "p03.pac" beside its target "P03.PAC" ends where the target is.
  return EqualIgnoringCase(entry, name) && OneEntryIgnoringCase(folder, name);
}

namespace {

// Reading and writing, as Wine tells them in an entry's access mask.
constexpr DWORD kRead = 1, kWrite = 2;

DWORD WineRights(DWORD mask) {
  return ((mask & (FILE_READ_DATA | GENERIC_READ | GENERIC_ALL)) ? kRead : 0) |
         ((mask & (FILE_WRITE_DATA | FILE_APPEND_DATA | GENERIC_WRITE | GENERIC_ALL)) ? kWrite : 0);
}

DWORD AccessFor(DWORD rights) {
  return ((rights & kRead) ? FILE_GENERIC_READ : 0) | ((rights & kWrite) ? FILE_GENERIC_WRITE : 0);
}

// A SID of one well-known authority and RID; freed when it goes.
class WellKnownSid {
 public:
  WellKnownSid() = default;
  WellKnownSid(const WellKnownSid&) = delete;
  WellKnownSid& operator=(const WellKnownSid&) = delete;
  ~WellKnownSid() {
    if (sid_ != nullptr) FreeSid(sid_);
  }
  Status Make(SID_IDENTIFIER_AUTHORITY authority, DWORD rid) {
    if (!AllocateAndInitializeSid(&authority, 1, rid, 0, 0, 0, 0, 0, 0, 0, &sid_)) {
      return LastError("make a SID");
    }
    return Status::Ok();
  }
  PSID get() const { return sid_; }

 private:
  PSID sid_ = nullptr;
};

// Everyone, and the placeholder owner (CREATOR OWNER, never anyone's token).
Status MakeWorldAndPlaceholder(WellKnownSid* world, WellKnownSid* placeholder) {
  if (Status s = world->Make(SECURITY_WORLD_SID_AUTHORITY, SECURITY_WORLD_RID); !s.ok()) return s;
  return placeholder->Make(SECURITY_CREATOR_SID_AUTHORITY, SECURITY_CREATOR_OWNER_RID);
}

// What one party may do, as Wine reads a list: the first entry to grant or deny reading, or
// writing, decides it.
struct Decision {
  DWORD granted = 0, decided = 0;
  void Apply(bool allowed, DWORD rights) {
    if (allowed) granted |= rights & ~decided;
    decided |= rights;
  }
};

// What the owner and everyone may do under the descriptor `sd`. No list at all lets everyone do
// everything.
Status ReadModeBits(PSECURITY_DESCRIPTOR sd, PSID world, DWORD* owner_bits, DWORD* everyone_bits) {
  PSID owner = nullptr;
  BOOL defaulted = FALSE, present = FALSE;
  PACL dacl = nullptr;
  if (!GetSecurityDescriptorOwner(sd, &owner, &defaulted) ||
      !GetSecurityDescriptorDacl(sd, &present, &dacl, &defaulted)) {
    return LastError("read security");
  }
  if (!present || dacl == nullptr) {
    *owner_bits = *everyone_bits = kRead | kWrite;
    return Status::Ok();
  }
  Decision user, everyone;
  for (DWORD i = 0; i < dacl->AceCount; ++i) {
    ACE_HEADER* ace = nullptr;
    if (!GetAce(dacl, i, reinterpret_cast<void**>(&ace))) return LastError("read security");
    if (ace->AceFlags & INHERIT_ONLY_ACE) continue;
    const bool allowed = ace->AceType == ACCESS_ALLOWED_ACE_TYPE;
    if (!allowed && ace->AceType != ACCESS_DENIED_ACE_TYPE) continue;
    // Both kinds of entry lay out their mask and SID alike.
    const auto* entry = reinterpret_cast<const ACCESS_ALLOWED_ACE*>(ace);
    PSID sid = const_cast<DWORD*>(&entry->SidStart);
    const DWORD rights = WineRights(entry->Mask);
    const bool for_everyone = EqualSid(sid, world);
    if (for_everyone) everyone.Apply(allowed, rights);
    if (for_everyone || (owner != nullptr && EqualSid(sid, owner))) user.Apply(allowed, rights);
  }
  *owner_bits = user.granted;
  *everyone_bits = everyone.granted;
  return Status::Ok();
}

// A self-relative descriptor owned by `placeholder` that gives it `owner_bits` and `world`
// `everyone_bits`.
Status MakeModeDescriptor(DWORD owner_bits, DWORD everyone_bits, PSID placeholder, PSID world,
                          std::vector<uint8_t>* sd) {
  const DWORD size = sizeof(ACL) + 2 * (sizeof(ACCESS_ALLOWED_ACE) + SECURITY_MAX_SID_SIZE);
  std::vector<uint8_t> acl_bytes(size);
  auto* acl = reinterpret_cast<PACL>(acl_bytes.data());
  SECURITY_DESCRIPTOR made;
  if (!InitializeAcl(acl, size, ACL_REVISION) ||
      (owner_bits && !AddAccessAllowedAce(acl, ACL_REVISION, AccessFor(owner_bits), placeholder)) ||
      (everyone_bits && !AddAccessAllowedAce(acl, ACL_REVISION, AccessFor(everyone_bits), world)) ||
      !InitializeSecurityDescriptor(&made, SECURITY_DESCRIPTOR_REVISION) ||
      !SetSecurityDescriptorOwner(&made, placeholder, FALSE) ||
      !SetSecurityDescriptorDacl(&made, TRUE, acl, FALSE)) {
    return LastError("make security");
  }
  DWORD length = 0;
  MakeSelfRelativeSD(&made, nullptr, &length);
  sd->assign(length, 0);
  if (!MakeSelfRelativeSD(&made, sd->data(), &length)) return LastError("make security");
  return Status::Ok();
}

}  // namespace

Status WineModeDescriptor(std::vector<uint8_t>* sd) {
  WellKnownSid world, placeholder;
  if (Status s = MakeWorldAndPlaceholder(&world, &placeholder); !s.ok()) return s;
  DWORD owner_bits = 0, everyone_bits = 0;
  if (Status s = ReadModeBits(sd->data(), world.get(), &owner_bits, &everyone_bits); !s.ok()) {
    return s;
  }
  return MakeModeDescriptor(owner_bits, everyone_bits, placeholder.get(), world.get(), sd);
}

Status WineOwnerOnlyDescriptor(std::vector<uint8_t>* sd) {
  WellKnownSid world, placeholder;
  if (Status s = MakeWorldAndPlaceholder(&world, &placeholder); !s.ok()) return s;
  return MakeModeDescriptor(kRead | kWrite, 0, placeholder.get(), world.get(), sd);
}

}  // namespace qrv3
