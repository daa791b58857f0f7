#include "engine/entries_win.h"

#include <algorithm>

#include "base/utf.h"
#include "engine/wine_win.h"

namespace qrv3 {

UniqueHandle OpenEntry(const std::wstring& path, DWORD access, DWORD share) {
  return UniqueHandle(CreateFileW(path.c_str(), access, share, nullptr, OPEN_EXISTING,
                                  FILE_FLAG_OPEN_REPARSE_POINT | FILE_FLAG_BACKUP_SEMANTICS |
                                      SECURITY_SQOS_PRESENT | SECURITY_IDENTIFICATION,
                                  nullptr));
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

Status DeleteByHandle(HANDLE h, const std::string& what) {
  FILE_DISPOSITION_INFO disposition = {TRUE};
  if (!SetFileInformationByHandle(h, FileDispositionInfo, &disposition, sizeof disposition)) {
    return LastError("remove " + what);
  }
  return Status::Ok();
}

Status FolderEntries::Open(const std::string& name, DWORD access, DWORD share, UniqueHandle* out,
                           DWORD fallback) const {
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

Status FolderEntries::Remove(const std::string& name) const {
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

Status FolderEntries::IsFileAt(HANDLE h, const std::string& name, bool* same) const {
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

namespace {

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

}  // namespace

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

}  // namespace qrv3
