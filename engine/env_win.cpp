#include "engine/env_win.h"

#include <aclapi.h>

#include <algorithm>
#include <cstring>
#include <cwchar>
#include <vector>

#include "engine/env.h"
#include "engine/utf.h"

namespace qrv3 {

Status StatusFromWin32(DWORD err, const std::string& what) {
  using C = Status::Code;
  C code;
  switch (err) {
    case ERROR_FILE_NOT_FOUND: case ERROR_PATH_NOT_FOUND: case ERROR_BAD_NETPATH:
    case ERROR_BAD_NET_NAME:
      code = C::kNotFound; break;
    case ERROR_ACCESS_DENIED: case ERROR_WRITE_PROTECT: case ERROR_DIRECTORY:
      code = C::kAccessDenied; break;
    case ERROR_SHARING_VIOLATION: case ERROR_LOCK_VIOLATION: case ERROR_USER_MAPPED_FILE:
      code = C::kInUse; break;
    case ERROR_NOT_READY: case ERROR_DEV_NOT_EXIST: case ERROR_UNRECOGNIZED_MEDIA:
      code = C::kNotReady; break;
    case ERROR_INVALID_NAME: case ERROR_BAD_PATHNAME: case ERROR_FILENAME_EXCED_RANGE:
    case ERROR_INVALID_DRIVE: case ERROR_INVALID_PARAMETER:
      code = C::kInvalidPath; break;
    case ERROR_HANDLE_EOF:
      code = C::kShortFile; break;
    case ERROR_FILE_EXISTS: case ERROR_ALREADY_EXISTS:
      code = C::kExists; break;
    case ERROR_NOT_ENOUGH_MEMORY: case ERROR_OUTOFMEMORY:
      code = C::kNoMemory; break;
    default:
      code = C::kIoError; break;
  }
  return Status::Error(code, what + " (Win32 error " + std::to_string(err) + ")");
}

std::wstring Win32Path(std::string_view utf8_path) {
  std::wstring w = Widen(utf8_path);
  // Leave room for the 8.3 name and the terminator that some calls add.
  if (w.size() < MAX_PATH - 12 || w.rfind(L"\\\\?\\", 0) == 0) return w;
  DWORD n = GetFullPathNameW(w.c_str(), 0, nullptr, nullptr);
  if (n == 0) return w;
  std::wstring full(n, L'\0');
  n = GetFullPathNameW(w.c_str(), n, full.data(), nullptr);
  full.resize(n);
  if (full.rfind(L"\\\\", 0) == 0) return L"\\\\?\\UNC\\" + full.substr(2);
  return L"\\\\?\\" + full;
}

namespace {

Status LastError(const std::string& what) { return StatusFromWin32(GetLastError(), what); }

Status LocalStamp(const FILETIME& utc_time, const std::string& what, FileStamp* stamp) {
  SYSTEMTIME utc, local;
  if (!FileTimeToSystemTime(&utc_time, &utc) ||
      !SystemTimeToTzSpecificLocalTime(nullptr, &utc, &local)) {
    return LastError("local time of " + what);
  }
  *stamp = {local.wYear, local.wMonth, local.wDay, local.wHour, local.wMinute, local.wSecond};
  return Status::Ok();
}

Status Attributes(const std::string& path, WIN32_FILE_ATTRIBUTE_DATA* data) {
  if (!GetFileAttributesExW(Win32Path(path).c_str(), GetFileExInfoStandard, data)) {
    return LastError("attributes of " + path);
  }
  return Status::Ok();
}


// The name the NT layer takes for a full Win32 path: what a rename by handle needs on every
// Windows from 7 on, whichever of them converts a DOS path itself.
std::wstring NtPath(const std::wstring& win32) {
  std::wstring full = win32;
  if (full.rfind(L"\\\\?\\", 0) != 0) {
    DWORD n = GetFullPathNameW(win32.c_str(), 0, nullptr, nullptr);
    if (n == 0) return L"";
    full.assign(n, L'\0');
    n = GetFullPathNameW(win32.c_str(), n, full.data(), nullptr);
    full.resize(n);
    if (full.rfind(L"\\\\", 0) == 0) return L"\\??\\UNC\\" + full.substr(2);
    return L"\\??\\" + full;
  }
  return L"\\??\\" + full.substr(4);
}

Status Identity(HANDLE h, const std::string& what, BY_HANDLE_FILE_INFORMATION* info) {
  if (!GetFileInformationByHandle(h, info)) return LastError("query " + what);
  return Status::Ok();
}

bool SameFile(const BY_HANDLE_FILE_INFORMATION& a, const BY_HANDLE_FILE_INFORMATION& b) {
  return a.dwVolumeSerialNumber == b.dwVolumeSerialNumber && a.nFileIndexHigh == b.nFileIndexHigh &&
         a.nFileIndexLow == b.nFileIndexLow;
}

bool PlainFile(const BY_HANDLE_FILE_INFORMATION& info) {
  return (info.dwFileAttributes & (FILE_ATTRIBUTE_DIRECTORY | FILE_ATTRIBUTE_REPARSE_POINT)) == 0;
}

// Opens an entry itself, never what a link or reparse point there points to (but see
// IsEntryOf: Wine opens what a Unix link points to all the same). A named pipe in its place
// cannot act as the one who opened it.
UniqueHandle OpenEntry(const std::wstring& path, DWORD access, DWORD share) {
  return UniqueHandle(CreateFileW(path.c_str(), access, share, nullptr, OPEN_EXISTING,
                                  FILE_FLAG_OPEN_REPARSE_POINT | FILE_FLAG_BACKUP_SEMANTICS |
                                      SECURITY_SQOS_PRESENT | SECURITY_IDENTIFICATION,
                                  nullptr));
}

bool UnderWine() {
  static const bool wine =
      GetProcAddress(GetModuleHandleW(L"ntdll.dll"), "wine_get_version") != nullptr;
  return wine;
}

// Where the file or folder open as `h` really is, every link on the way resolved; empty when the
// system cannot say.
std::wstring FinalPath(HANDLE h) {
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

bool EqualIgnoringCase(std::wstring_view a, std::wstring_view b) {
  return CompareStringOrdinal(a.data(), static_cast<int>(a.size()), b.data(),
                              static_cast<int>(b.size()), TRUE) == CSTR_EQUAL;
}

// Whether what `h` has open is the entry `name` of the folder whose final path is `folder`. Wine
// shows a Unix symbolic link as the file or folder it points to: no reparse point through the
// handle, and the reparse-point flag does not keep it from opening the target. Only where the
// handle is tells it apart, and the folder's own final path is worked out the same way, so
// short names, substituted drives and links further up agree on both sides. An empty `folder`
// (a volume that cannot say, on Windows, where the attributes already tell a link) passes.
bool IsEntryOf(const std::wstring& folder, HANDLE h, std::wstring_view name) {
  if (folder.empty()) return true;
  const std::wstring path = FinalPath(h);
  // Where a file's final path cannot be had although its folder's can (a folder that may be
  // read but not listed, on some shares), Windows' own attributes still tell a link; Wine's not.
  if (path.empty()) return !UnderWine();
  const std::wstring_view p(path);
  const size_t base = folder.size() + (folder.back() == L'\\' ? 0 : 1);
  return p.size() > base && EqualIgnoringCase(p.substr(0, folder.size()), folder) &&
         p[base - 1] == L'\\' && EqualIgnoringCase(p.substr(base), name);
}

// The final path of the folder open as `h`, for IsEntryOf. Under Wine a folder that cannot say
// where it is cannot have its entries told from links: refused.
Status FolderFinalPath(HANDLE h, const std::string& what, std::wstring* folder) {
  *folder = FinalPath(h);
  if (folder->empty() && UnderWine()) {
    return Status::Error(Status::Code::kAccessDenied, "cannot tell where " + what + " is");
  }
  return Status::Ok();
}

// Splits a path at its last separator: the folder it names an entry of ("." for none, a root
// keeping its separator) and the entry's name.
void SplitPath(const std::wstring& path, std::wstring* folder, std::wstring* name) {
  const size_t sep = path.find_last_of(L"\\/");
  if (sep == std::wstring::npos) {
    *folder = L".";
    *name = path;
    return;
  }
  *folder = path.substr(0, sep);
  *name = path.substr(sep + 1);
  // A drive's root and a share's keep their separator: without it they name something else.
  const auto separators = std::count(folder->begin(), folder->end(), L'\\');
  const bool unc = folder->rfind(L"\\\\", 0) == 0;
  const bool long_unc = folder->rfind(L"\\\\?\\UNC\\", 0) == 0;
  if (sep == 0 || path[sep - 1] == L':' || (unc && separators == (long_unc ? 5 : 3))) {
    *folder += L'\\';
  }
}

Status DeleteByHandle(HANDLE h, const std::string& what) {
  FILE_DISPOSITION_INFO disposition = {TRUE};
  if (!SetFileInformationByHandle(h, FileDispositionInfo, &disposition, sizeof disposition)) {
    return LastError("remove " + what);
  }
  return Status::Ok();
}

// A security descriptor the system allocated; freed when it goes.
struct LocalMemory {
  PSECURITY_DESCRIPTOR p = nullptr;
  ~LocalMemory() {
    if (p != nullptr) LocalFree(p);
  }
};

// The entries of a folder, named the way the wide API takes them and opened only as themselves.
struct FolderEntries {
  std::string utf8;    // the folder's path
  std::wstring final;  // where it really is, for IsEntryOf

  std::string What(const std::string& name) const { return utf8 + "\\" + name; }
  std::wstring Path(const std::string& name) const { return Win32Path(What(name)); }

  // Opens the entry `name` itself: what a link there points to is refused (kAccessDenied). With
  // `fallback`, a file others hold without sharing `access`, or that we may not open so, is
  // opened for that instead.
  Status Open(const std::string& name, DWORD access, DWORD share, UniqueHandle* out,
              DWORD fallback = 0) const {
    UniqueHandle h = OpenEntry(Path(name), access, share);
    const DWORD err = GetLastError();
    const bool refused = err == ERROR_SHARING_VIOLATION || err == ERROR_ACCESS_DENIED;
    if (!h.valid() && fallback != 0 && refused) {
      h = OpenEntry(Path(name), fallback, share);
    }
    if (!h.valid()) return LastError("open " + What(name));
    if (!IsEntryOf(final, h.get(), Widen(name))) {
      return Status::Error(Status::Code::kAccessDenied, What(name) + " is a link");
    }
    *out = std::move(h);
    return Status::Ok();
  }

  // Removes the entry `name` when it is a file or a link (the link itself), never a folder. A
  // link that Wine would follow cannot be removed as a link from Windows code: it stays.
  Status Remove(const std::string& name) const {
    UniqueHandle e;
    if (Status s = Open(name, DELETE | FILE_READ_ATTRIBUTES,
                        FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, &e);
        !s.ok()) {
      return s;
    }
    BY_HANDLE_FILE_INFORMATION d;
    if (Status s = Identity(e.get(), What(name), &d); !s.ok()) return s;
    if ((d.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) &&
        !(d.dwFileAttributes & FILE_ATTRIBUTE_REPARSE_POINT)) {
      return Status::Error(Status::Code::kAccessDenied, What(name) + " is a folder");
    }
    return DeleteByHandle(e.get(), What(name));
  }

  // Whether the entry `name` is the file open as `h`; a missing entry, or a link, is not.
  Status IsFileAt(HANDLE h, const std::string& name, bool* same) const {
    *same = false;
    // Asking only for attributes passes any sharing, ours included.
    UniqueHandle e;
    Status s = Open(name, FILE_READ_ATTRIBUTES, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, &e);
    if (s.code() == Status::Code::kNotFound || s.code() == Status::Code::kAccessDenied) {
      return Status::Ok();
    }
    if (!s.ok()) return s;
    BY_HANDLE_FILE_INFORMATION mine, entry;
    if (Status r = Identity(h, What(name), &mine); !r.ok()) return r;
    if (Status r = Identity(e.get(), What(name), &entry); !r.ok()) return r;
    *same = SameFile(mine, entry);
    return Status::Ok();
  }
};

// Opens the entry at `path` itself, as FolderEntries::Open does, for a path given whole: its
// folder is opened too, links on the way to it followed, for its final path.
Status OpenOwnEntry(const std::wstring& path, const std::string& what, DWORD access, DWORD share,
                    UniqueHandle* out) {
  std::wstring folder, name;
  SplitPath(path, &folder, &name);
  if (name.empty()) {  // a drive's root is its own entry
    UniqueHandle h = OpenEntry(path, access, share);
    if (!h.valid()) return LastError("open " + what);
    *out = std::move(h);
    return Status::Ok();
  }
  UniqueHandle f(CreateFileW(folder.c_str(), FILE_READ_ATTRIBUTES,
                             FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                             OPEN_EXISTING, FILE_FLAG_BACKUP_SEMANTICS, nullptr));
  if (!f.valid()) return LastError("open the folder of " + what);
  std::wstring final_folder;
  if (Status s = FolderFinalPath(f.get(), what, &final_folder); !s.ok()) return s;
  UniqueHandle h = OpenEntry(path, access, share);
  if (!h.valid()) return LastError("open " + what);
  if (!IsEntryOf(final_folder, h.get(), name)) {
    return Status::Error(Status::Code::kAccessDenied, what + " is a link");
  }
  *out = std::move(h);
  return Status::Ok();
}

// What SetMetadata takes back: the attributes, then the security descriptor (self-relative,
// owner and DACL), if the file system keeps one.
struct WinMetadataHeader {
  DWORD attributes;
};

// Under Wine an access list only stands for Unix permission bits, and Wine reads an entry for
// the running user as one for the file's owner and group alike: a copy of an owner-only file's
// list gives the group its access too. Wine reads an entry for the file's owner as the owner's
// alone when that owner is not the running user, so the new file's list names a placeholder
// owner (CREATOR OWNER, never anyone's token) with what the old file's owner had, and Everyone
// with what everyone had: its group gets no more than everyone else. Execution is never given.
Status WineModeDescriptor(std::vector<uint8_t>* sd) {
  const auto old = static_cast<PSECURITY_DESCRIPTOR>(sd->data());
  PSID owner = nullptr;
  BOOL defaulted = FALSE, present = FALSE;
  PACL dacl = nullptr;
  if (!GetSecurityDescriptorOwner(old, &owner, &defaulted) ||
      !GetSecurityDescriptorDacl(old, &present, &dacl, &defaulted)) {
    return LastError("read security");
  }
  SID_IDENTIFIER_AUTHORITY world_authority = SECURITY_WORLD_SID_AUTHORITY;
  SID_IDENTIFIER_AUTHORITY creator_authority = SECURITY_CREATOR_SID_AUTHORITY;
  struct SidFree {
    void operator()(PSID p) const { FreeSid(p); }
  };
  PSID world_sid = nullptr, placeholder_sid = nullptr;
  if (!AllocateAndInitializeSid(&world_authority, 1, SECURITY_WORLD_RID, 0, 0, 0, 0, 0, 0, 0,
                                &world_sid)) {
    return LastError("make a SID");
  }
  std::unique_ptr<void, SidFree> world(world_sid);
  if (!AllocateAndInitializeSid(&creator_authority, 1, SECURITY_CREATOR_OWNER_RID, 0, 0, 0, 0, 0,
                                0, 0, &placeholder_sid)) {
    return LastError("make a SID");
  }
  std::unique_ptr<void, SidFree> placeholder(placeholder_sid);

  // Reading and writing, as Wine tells them in an entry's access mask.
  constexpr DWORD kRead = 1, kWrite = 2;
  const auto rights = [](DWORD mask) {
    return ((mask & (FILE_READ_DATA | GENERIC_READ | GENERIC_ALL)) ? kRead : 0) |
           ((mask & (FILE_WRITE_DATA | FILE_APPEND_DATA | GENERIC_WRITE | GENERIC_ALL)) ? kWrite
                                                                                        : 0);
  };
  const auto access = [](DWORD r) {
    return ((r & kRead) ? FILE_GENERIC_READ : 0) | ((r & kWrite) ? FILE_GENERIC_WRITE : 0);
  };
  // What the owner and everyone may do, as Wine reads a list: the first entry to grant or deny
  // reading, or writing, decides it. No list at all lets everyone do everything.
  DWORD user = 0, everyone = 0, user_decided = 0, everyone_decided = 0;
  if (!present || dacl == nullptr) user = everyone = kRead | kWrite;
  for (DWORD i = 0; present && dacl != nullptr && i < dacl->AceCount; ++i) {
    ACE_HEADER* ace = nullptr;
    if (!GetAce(dacl, i, reinterpret_cast<void**>(&ace))) return LastError("read security");
    if (ace->AceFlags & INHERIT_ONLY_ACE) continue;
    const bool allowed = ace->AceType == ACCESS_ALLOWED_ACE_TYPE;
    if (!allowed && ace->AceType != ACCESS_DENIED_ACE_TYPE) continue;
    // Both kinds of entry lay out their mask and SID alike.
    const auto* entry = reinterpret_cast<const ACCESS_ALLOWED_ACE*>(ace);
    PSID sid = const_cast<DWORD*>(&entry->SidStart);
    auto decide = [&](DWORD* mask, DWORD* decided) {
      const DWORD named = rights(entry->Mask);
      if (allowed) *mask |= named & ~*decided;
      *decided |= named;
    };
    const bool for_everyone = EqualSid(sid, world.get());
    if (for_everyone) decide(&everyone, &everyone_decided);
    if (for_everyone || (owner != nullptr && EqualSid(sid, owner))) decide(&user, &user_decided);
  }
  const DWORD size = sizeof(ACL) + 2 * (sizeof(ACCESS_ALLOWED_ACE) + SECURITY_MAX_SID_SIZE);
  std::vector<uint8_t> acl_bytes(size);
  auto* acl = reinterpret_cast<PACL>(acl_bytes.data());
  SECURITY_DESCRIPTOR made;
  if (!InitializeAcl(acl, size, ACL_REVISION) ||
      (user && !AddAccessAllowedAce(acl, ACL_REVISION, access(user), placeholder.get())) ||
      (everyone && !AddAccessAllowedAce(acl, ACL_REVISION, access(everyone), world.get())) ||
      !InitializeSecurityDescriptor(&made, SECURITY_DESCRIPTOR_REVISION) ||
      !SetSecurityDescriptorOwner(&made, placeholder.get(), FALSE) ||
      !SetSecurityDescriptorDacl(&made, TRUE, acl, FALSE)) {
    return LastError("make security");
  }
  DWORD length = 0;
  MakeSelfRelativeSD(&made, nullptr, &length);
  sd->assign(length, 0);
  if (!MakeSelfRelativeSD(&made, sd->data(), &length)) return LastError("make security");
  return Status::Ok();
}

class WinReadableFile final : public ReadableFile {
 public:
  WinReadableFile(UniqueHandle h, std::string what) : h_(std::move(h)), what_(std::move(what)) {}

  // Only a plain file on a disk is read: not a folder, a link, a device or a pipe. `h` is the
  // entry at `path` itself, opened with the reparse-point flag.
  static Status Make(UniqueHandle h, const std::wstring& path, std::string what,
                     std::unique_ptr<ReadableFile>* file) {
    const Status not_plain =
        Status::Error(Status::Code::kAccessDenied, what + " is not a plain file");
    BY_HANDLE_FILE_INFORMATION d;
    if (GetFileType(h.get()) != FILE_TYPE_DISK || !Identity(h.get(), what, &d).ok() ||
        (d.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY)) {
      return not_plain;
    }
    if (d.dwFileAttributes & FILE_ATTRIBUTE_REPARSE_POINT) {
      // A link stays refused. A file whose data the system keeps elsewhere (a cloud file,
      // deduplicated, compressed) is read through the system, as the same file.
      FILE_ATTRIBUTE_TAG_INFO tag;
      if (!GetFileInformationByHandleEx(h.get(), FileAttributeTagInfo, &tag, sizeof tag) ||
          IsReparseTagNameSurrogate(tag.ReparseTag)) {
        return not_plain;
      }
      UniqueHandle data(CreateFileW(path.c_str(), GENERIC_READ,
                                    FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                                    OPEN_EXISTING, SECURITY_SQOS_PRESENT | SECURITY_IDENTIFICATION,
                                    nullptr));
      BY_HANDLE_FILE_INFORMATION same;
      if (!data.valid() || !Identity(data.get(), what, &same).ok() || !SameFile(d, same)) {
        return not_plain;
      }
      h = std::move(data);
    }
    *file = std::make_unique<WinReadableFile>(std::move(h), std::move(what));
    return Status::Ok();
  }

  Status Info(EntryInfo* info) override {
    BY_HANDLE_FILE_INFORMATION d;
    if (Status s = Identity(h_.get(), what_, &d); !s.ok()) return s;
    info->read_only = (d.dwFileAttributes & FILE_ATTRIBUTE_READONLY) != 0;
    info->size = (static_cast<uint64_t>(d.nFileSizeHigh) << 32) | d.nFileSizeLow;
    info->volume = d.dwVolumeSerialNumber;
    info->index = (static_cast<uint64_t>(d.nFileIndexHigh) << 32) | d.nFileIndexLow;
    return LocalStamp(d.ftLastWriteTime, what_, &info->stamp);
  }

  Status ReadAt(uint64_t offset, size_t n, uint8_t* dst) override {
    size_t done = 0;
    while (done < n) {
      const size_t left = n - done;
      const DWORD chunk = static_cast<DWORD>(left < (16u << 20) ? left : (16u << 20));
      OVERLAPPED at = {};
      at.Offset = static_cast<DWORD>(offset + done);
      at.OffsetHigh = static_cast<DWORD>((offset + done) >> 32);
      DWORD got = 0;
      if (!ReadFile(h_.get(), dst + done, chunk, &got, &at)) {
        if (GetLastError() != ERROR_HANDLE_EOF) return LastError("read " + what_);
        got = 0;
      }
      if (got == 0) {
        return Status::Error(Status::Code::kShortFile,
                             what_ + " ends before byte " + std::to_string(offset + n));
      }
      done += got;
    }
    return Status::Ok();
  }

  Status GetMetadata(FileMetadata* metadata) override {
    FILE_BASIC_INFO basic;
    if (!GetFileInformationByHandleEx(h_.get(), FileBasicInfo, &basic, sizeof basic)) {
      return LastError("attributes of " + what_);
    }
    const WinMetadataHeader header{basic.FileAttributes};
    metadata->bytes.assign(reinterpret_cast<const uint8_t*>(&header),
                           reinterpret_cast<const uint8_t*>(&header) + sizeof header);
    LocalMemory sd;
    // The owner too: under Wine the access list means something only together with it.
    const DWORD err = GetSecurityInfo(h_.get(), SE_FILE_OBJECT,
                                      OWNER_SECURITY_INFORMATION | DACL_SECURITY_INFORMATION,
                                      nullptr, nullptr, nullptr, nullptr, &sd.p);
    // A file system without access lists (FAT) has none to keep.
    if (err == ERROR_NOT_SUPPORTED || err == ERROR_INVALID_FUNCTION) return Status::Ok();
    if (err != ERROR_SUCCESS) return StatusFromWin32(err, "security of " + what_);
    const auto* bytes = static_cast<const uint8_t*>(sd.p);
    metadata->bytes.insert(metadata->bytes.end(), bytes, bytes + GetSecurityDescriptorLength(sd.p));
    return Status::Ok();
  }

 private:
  UniqueHandle h_;
  std::string what_;
};

class WinLock final : public FolderLock {
 public:
  explicit WinLock(UniqueHandle h) : h_(std::move(h)) {}

 private:
  UniqueHandle h_;  // opened without sharing; a lock file it made goes with it
};

class WinNewFile final : public NewFile {
 public:
  WinNewFile(FolderEntries folder, std::string name, UniqueHandle h, bool can_set_dacl)
      : folder_(std::move(folder)), name_(std::move(name)), h_(std::move(h)),
        can_set_dacl_(can_set_dacl) {}
  ~WinNewFile() override {
    if (!replaced_ && h_.valid()) Discard();
  }

  Status Append(const uint8_t* data, size_t n) override {
    while (n > 0) {
      // WriteFile takes a DWORD count; large writes also fail on some network redirectors, so
      // write in pieces of at most 16 MiB.
      const DWORD chunk = static_cast<DWORD>(n < (16u << 20) ? n : (16u << 20));
      DWORD written = 0;
      if (!WriteFile(h_.get(), data, chunk, &written, nullptr)) return LastError("write " + name_);
      if (written == 0) return StatusFromWin32(ERROR_WRITE_FAULT, "write " + name_);
      data += written;
      n -= written;
    }
    return Status::Ok();
  }

  Status Sync() override {
    if (!FlushFileBuffers(h_.get())) return LastError("flush " + name_);
    return Status::Ok();
  }

  Status SetMetadata(const FileMetadata& model) override {
    WinMetadataHeader header;
    if (model.bytes.size() < sizeof header) {
      return Status::Error(Status::Code::kInvalidPath, "no metadata for " + name_);
    }
    std::memcpy(&header, model.bytes.data(), sizeof header);
    // The times stay the new file's own (zero leaves them); the attributes come over without
    // read-only, which would keep the product from writing its database.
    constexpr DWORD kKept = FILE_ATTRIBUTE_ARCHIVE | FILE_ATTRIBUTE_HIDDEN | FILE_ATTRIBUTE_SYSTEM |
                            FILE_ATTRIBUTE_NOT_CONTENT_INDEXED;
    FILE_BASIC_INFO mine = {};
    mine.FileAttributes = header.attributes & kKept;
    if (mine.FileAttributes == 0) mine.FileAttributes = FILE_ATTRIBUTE_NORMAL;
    if (!SetFileInformationByHandle(h_.get(), FileBasicInfo, &mine, sizeof mine)) {
      return LastError("set attributes of " + name_);
    }
    // A share that lets us change files but not their permissions keeps its own; a file system
    // without access lists has none.
    if (!can_set_dacl_ || model.bytes.size() == sizeof header) return Status::Ok();
    std::vector<uint8_t> sd(model.bytes.begin() + sizeof header, model.bytes.end());
    if (!IsValidSecurityDescriptor(sd.data())) {
      return Status::Error(Status::Code::kInvalidPath, "no valid security for " + name_);
    }
    SECURITY_INFORMATION what = DACL_SECURITY_INFORMATION;
    if (UnderWine()) {
      if (Status s = WineModeDescriptor(&sd); !s.ok()) return s;
      what |= OWNER_SECURITY_INFORMATION;
    }
    // The access list as it stands, inherited entries and protection included, the way the
    // system's own replace keeps it: not one worked out again for the new file's owner.
    if (!SetKernelObjectSecurity(h_.get(), what, sd.data())) {
      const DWORD err = GetLastError();
      if (err == ERROR_NOT_SUPPORTED || err == ERROR_INVALID_FUNCTION) return Status::Ok();
      return StatusFromWin32(err, "set security of " + name_);
    }
    return Status::Ok();
  }

  Status ReplaceInto(const std::string& name) override {
    const std::wstring target = NtPath(folder_.Path(name));
    if (target.empty()) return LastError("full path of " + name);
    const size_t bytes = sizeof(FILE_RENAME_INFO) + target.size() * sizeof(wchar_t);
    std::vector<unsigned char> buffer(bytes, 0);
    auto* rename = reinterpret_cast<FILE_RENAME_INFO*>(buffer.data());
    rename->ReplaceIfExists = TRUE;
    rename->RootDirectory = nullptr;
    rename->FileNameLength = static_cast<DWORD>(target.size() * sizeof(wchar_t));
    std::copy(target.begin(), target.end(), rename->FileName);
    // From here the file may be under either name: it is never again deleted through its
    // handle, which could be deleting the database.
    rename_tried_ = true;
    if (!SetFileInformationByHandle(h_.get(), FileRenameInfo, rename, static_cast<DWORD>(bytes))) {
      return LastError("replace " + name + " with " + name_);
    }
    // Where another program can rename what lies under the handle's old name (Wine, for a Linux
    // process), the rename may have moved another file: only ours counts as done.
    bool same = false;
    Status s = folder_.IsFileAt(h_.get(), name, &same);
    if (s.ok() && !same) {
      s = Status::Error(Status::Code::kChanged, name + " is not the file that was written");
    }
    if (!s.ok()) return s;
    replaced_ = true;
    // The file is in place; flushing its new name is best effort, since the replacement has
    // happened and cannot be reported as not done.
    FlushFileBuffers(h_.get());
    return Status::Ok();
  }

  Status IsEntry(const std::string& name, bool* same) override {
    Status s = folder_.IsFileAt(h_.get(), name, same);
    if (s.ok() && *same) replaced_ = true;
    return s;
  }

  Status Discard() override {
    Status s;
    if (!rename_tried_) {
      s = DeleteByHandle(h_.get(), name_);
      h_.reset();
      return s;
    }
    // Only what is still under the temporary name goes.
    h_.reset();
    s = folder_.Remove(name_);
    return s.code() == Status::Code::kNotFound ? Status::Ok() : s;
  }

 private:
  FolderEntries folder_;
  std::string name_;
  UniqueHandle h_;
  bool can_set_dacl_;
  bool rename_tried_ = false;
  bool replaced_ = false;
};

// An owning find handle.
struct FindGuard {
  HANDLE h;
  ~FindGuard() {
    if (h != INVALID_HANDLE_VALUE) FindClose(h);
  }
};

class WinFolder final : public Folder {
 public:
  WinFolder(UniqueHandle h, FolderEntries entries) : h_(std::move(h)), entries_(std::move(entries)) {}

  Status Lock(const std::string& name, std::unique_ptr<FolderLock>* lock) override {
    const std::string what = entries_.What(name);
    constexpr int kAttempts = 8;
    int vanished = 0;
    for (int attempt = 0; attempt < kAttempts; ++attempt) {
      // A lock file of our own is made new, so nothing planted under the name is followed, and
      // it goes when its handle closes, the process's end included.
      UniqueHandle h(CreateFileW(entries_.Path(name).c_str(), GENERIC_READ | GENERIC_WRITE | DELETE,
                                 0, nullptr, CREATE_NEW,
                                 FILE_ATTRIBUTE_NORMAL | FILE_FLAG_DELETE_ON_CLOSE |
                                     FILE_FLAG_OPEN_REPARSE_POINT,
                                 nullptr));
      if (!h.valid()) {
        DWORD err = GetLastError();
        // Held, or still being deleted by the run that held it.
        if (err == ERROR_SHARING_VIOLATION || err == ERROR_ACCESS_DENIED) return Busy(what);
        if (err != ERROR_FILE_EXISTS && err != ERROR_ALREADY_EXISTS) {
          return StatusFromWin32(err, "lock " + what);
        }
        // One left by a power cut, or held by another run: held without sharing and only read,
        // so that whatever it is, it is never written or removed.
        h = OpenEntry(entries_.Path(name), GENERIC_READ, 0);
        if (!h.valid()) {
          err = GetLastError();
          if (err == ERROR_SHARING_VIOLATION || err == ERROR_ACCESS_DENIED) return Busy(what);
          // Gone meanwhile: make our own. Under Wine a link that leads nowhere is there for
          // the making and gone for the opening, every time.
          if (err == ERROR_FILE_NOT_FOUND) {
            ++vanished;
            continue;
          }
          return StatusFromWin32(err, "lock " + what);
        }
      }
      if (!IsEntryOf(entries_.final, h.get(), Widen(name))) {
        return Status::Error(Status::Code::kAccessDenied, what + " is a link");
      }
      BY_HANDLE_FILE_INFORMATION info;
      if (Status s = Identity(h.get(), what, &info); !s.ok()) return s;
      if (!PlainFile(info) || info.nNumberOfLinks != 1) {
        return Status::Error(Status::Code::kAccessDenied, what + " is not a plain file of its own");
      }
      *lock = std::make_unique<WinLock>(std::move(h));
      return Status::Ok();
    }
    if (vanished == kAttempts) {
      return Status::Error(Status::Code::kAccessDenied, what + " is a link");
    }
    return Busy(what);
  }

  Status List(std::vector<std::string>* names) override {
    names->clear();
    WIN32_FIND_DATAW d;
    FindGuard found{FindFirstFileExW(Win32Path(entries_.utf8 + "\\*").c_str(), FindExInfoBasic, &d,
                                     FindExSearchNameMatch, nullptr, 0)};
    if (found.h == INVALID_HANDLE_VALUE) return LastError("list " + entries_.utf8);
    do {
      if (std::wcscmp(d.cFileName, L".") != 0 && std::wcscmp(d.cFileName, L"..") != 0) {
        names->push_back(Narrow(d.cFileName));
      }
    } while (FindNextFileW(found.h, &d));
    const DWORD err = GetLastError();
    if (err != ERROR_NO_MORE_FILES) return StatusFromWin32(err, "list " + entries_.utf8);
    return Status::Ok();
  }

  Status OpenFile(const std::string& name, std::unique_ptr<ReadableFile>* file) override {
    // The database the product holds open, or that only its owner may read, is still checked
    // and its permissions kept: what it is and what it carries can be asked of any file.
    constexpr DWORD kShare = FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE;
    UniqueHandle h;
    if (Status s = entries_.Open(name, GENERIC_READ, kShare, &h,
                                 READ_CONTROL | FILE_READ_ATTRIBUTES | SYNCHRONIZE);
        !s.ok()) {
      return s;
    }
    return WinReadableFile::Make(std::move(h), entries_.Path(name), entries_.What(name), file);
  }

  Status CreateNew(const std::string& name, std::unique_ptr<NewFile>* file) override {
    const std::string what = entries_.What(name);
    // Not shared with anyone: nothing can open it, map it or give it a second name while it is
    // written, and it can be renamed and deleted through this handle.
    constexpr DWORD kAccess = GENERIC_WRITE | DELETE | FILE_READ_ATTRIBUTES;
    bool can_set_dacl = true;
    // Under Wine the permissions are given with a placeholder owner (see WineModeDescriptor).
    const DWORD security = READ_CONTROL | WRITE_DAC | (UnderWine() ? WRITE_OWNER : 0);
    UniqueHandle h(CreateFileW(entries_.Path(name).c_str(), kAccess | security, 0,
                               nullptr, CREATE_NEW,
                               FILE_ATTRIBUTE_NORMAL | FILE_FLAG_OPEN_REPARSE_POINT, nullptr));
    if (!h.valid() && GetLastError() == ERROR_ACCESS_DENIED) {
      // A share that lets us make files but not set their permissions.
      can_set_dacl = false;
      h.reset(CreateFileW(entries_.Path(name).c_str(), kAccess, 0, nullptr, CREATE_NEW,
                          FILE_ATTRIBUTE_NORMAL | FILE_FLAG_OPEN_REPARSE_POINT, nullptr));
    }
    if (!h.valid()) return LastError("create " + what);
    // Made new, so it can only have grown a second name since: one more way in for someone
    // else, which the new database must not have. And it must be where it was meant to be.
    BY_HANDLE_FILE_INFORMATION info;
    Status s = Identity(h.get(), what, &info);
    if (s.ok() && (!PlainFile(info) || info.nNumberOfLinks != 1)) {
      s = Status::Error(Status::Code::kAccessDenied, what + " is not a plain file of its own");
    }
    if (s.ok() && !IsEntryOf(entries_.final, h.get(), Widen(name))) {
      s = Status::Error(Status::Code::kAccessDenied, what + " is not in its folder");
    }
    auto made = std::make_unique<WinNewFile>(entries_, name, std::move(h), can_set_dacl);
    if (!s.ok()) return s;  // and `made` deletes it
    *file = std::move(made);
    return Status::Ok();
  }

  Status Remove(const std::string& name) override { return entries_.Remove(name); }

 private:
  static Status Busy(const std::string& what) {
    return Status::Error(Status::Code::kBusy, "another update run holds " + what);
  }

  // Held without delete sharing: no Windows program can rename or swap the folder meanwhile (a
  // Linux process under Wine can: every entry is checked against where the folder was).
  UniqueHandle h_;
  FolderEntries entries_;
};

class WinEnv final : public Env {
 public:
  bool FileExists(const std::string& path) override {
    return GetFileAttributesW(Win32Path(path).c_str()) != INVALID_FILE_ATTRIBUTES;
  }

  Status GetFileSize(const std::string& path, uint64_t* size) override {
    WIN32_FILE_ATTRIBUTE_DATA d;
    Status s = Attributes(path, &d);
    if (!s.ok()) return s;
    if (d.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) {
      return StatusFromWin32(ERROR_DIRECTORY, path + " is a folder");
    }
    *size = (static_cast<uint64_t>(d.nFileSizeHigh) << 32) | d.nFileSizeLow;
    return Status::Ok();
  }

  Status GetFileStamp(const std::string& path, FileStamp* stamp) override {
    WIN32_FILE_ATTRIBUTE_DATA d;
    Status s = Attributes(path, &d);
    if (!s.ok()) return s;
    return LocalStamp(d.ftLastWriteTime, path, stamp);
  }

  Status OpenFile(const std::string& path, std::unique_ptr<ReadableFile>* file) override {
    UniqueHandle h;
    if (Status s = OpenOwnEntry(Win32Path(path), path, GENERIC_READ,
                                FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, &h);
        !s.ok()) {
      return s;
    }
    return WinReadableFile::Make(std::move(h), Win32Path(path), path, file);
  }

  Status OpenFolder(const std::string& path, std::unique_ptr<Folder>* folder) override {
    std::wstring w = Win32Path(path);
    while (w.size() > 3 && (w.back() == L'\\' || w.back() == L'/') && w[w.size() - 2] != L':') {
      w.pop_back();
    }
    UniqueHandle h;
    if (Status s = OpenOwnEntry(w, path, FILE_LIST_DIRECTORY | FILE_READ_ATTRIBUTES | SYNCHRONIZE,
                                FILE_SHARE_READ | FILE_SHARE_WRITE, &h);
        !s.ok()) {
      return s;
    }
    BY_HANDLE_FILE_INFORMATION d;
    if (Status s = Identity(h.get(), path, &d); !s.ok()) return s;
    if (d.dwFileAttributes & FILE_ATTRIBUTE_REPARSE_POINT) {
      return Status::Error(Status::Code::kAccessDenied, path + " is a link");
    }
    if (!(d.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY)) {
      return StatusFromWin32(ERROR_DIRECTORY, path + " is not a folder");
    }
    FolderEntries entries{path, L""};
    if (Status s = FolderFinalPath(h.get(), path, &entries.final); !s.ok()) return s;
    *folder = std::make_unique<WinFolder>(std::move(h), std::move(entries));
    return Status::Ok();
  }

  void SleepForMilliseconds(int ms) override { Sleep(static_cast<DWORD>(ms)); }
};

}  // namespace

Env* Env::Default() {
  static WinEnv env;
  return &env;
}

std::string UpdaterFolder() {
  std::vector<wchar_t> buf(MAX_PATH);
  for (;;) {
    DWORD n = GetModuleFileNameW(nullptr, buf.data(), static_cast<DWORD>(buf.size()));
    if (n == 0) return ".";
    if (n < buf.size()) {
      std::wstring exe(buf.data(), n);
      const size_t sep = exe.find_last_of(L"\\/");
      return sep == std::wstring::npos ? "." : Narrow(exe.substr(0, sep));
    }
    buf.resize(buf.size() * 2);
  }
}

}  // namespace qrv3
