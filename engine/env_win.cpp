// The file services of engine/env.h on Windows: the Env, its folders, files and locks. How an
// entry is opened as itself is in entries_win, what a file carries besides its bytes in
// metadata_win, what Wine does differently in wine_win.
#include <algorithm>
#include <cwchar>
#include <vector>

#include "base/utf.h"
#include "base/win32_util_win.h"
#include "engine/entries_win.h"
#include "engine/env.h"
#include "engine/metadata_win.h"
#include "engine/wine_win.h"

namespace qrv3 {
namespace {

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
    return ReadMetadata(h_.get(), what_, metadata);
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
    if (h_.valid()) Discard();
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
    return WriteMetadata(h_.get(), name_, model, can_set_dacl_);
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
    return Status::Ok();
  }

  Status IsEntry(const std::string& name, bool* same) override {
    return folder_.IsFileAt(h_.get(), name, same);
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
    UniqueFindHandle found(FindFirstFileExW(Win32Path(entries_.utf8 + "\\*").c_str(),
                                            FindExInfoBasic, &d, FindExSearchNameMatch, nullptr, 0));
    if (!found.valid()) return LastError("list " + entries_.utf8);
    do {
      if (std::wcscmp(d.cFileName, L".") != 0 && std::wcscmp(d.cFileName, L"..") != 0) {
        names->push_back(Narrow(d.cFileName));
      }
    } while (FindNextFileW(found.get(), &d));
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
    // Closed to everyone else from its first instant, not open to whom the folder lets in while
    // it is written: no one can keep a handle to write the database with after the replace, nor
    // change bytes after they were hashed. It gets the old database's access at the end.
    std::vector<uint8_t> closed;
    if (Status s = OwnerOnlyDescriptor(&closed); !s.ok()) return s;
    SECURITY_ATTRIBUTES attributes = {sizeof attributes, closed.data(), FALSE};
    UniqueHandle h(CreateFileW(entries_.Path(name).c_str(), kAccess | security, 0,
                               &attributes, CREATE_NEW,
                               FILE_ATTRIBUTE_NORMAL | FILE_FLAG_OPEN_REPARSE_POINT, nullptr));
    if (!h.valid() && GetLastError() == ERROR_ACCESS_DENIED) {
      // A share that lets us make files but not set their permissions: they keep its own.
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

  Status Sync() override {
    if (!FlushFileBuffers(h_.get())) return LastError("flush " + entries_.utf8);
    return Status::Ok();
  }

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
    // A rename by handle names its target in the NT form, which a path in the device namespace
    // (\\.\Z:\…) has none of: what could not be replaced is refused before anything is written.
    if (NtPath(w).empty()) {
      return StatusFromWin32(ERROR_INVALID_NAME, "a replace cannot name the entries of " + path);
    }
    // Write access lets the folder be flushed after a replace (FlushFileBuffers on a folder
    // handle); where it is refused (a folder only listed, or held without write sharing) the
    // folder is opened for listing only and its flush is refused in turn.
    constexpr DWORD kList = FILE_LIST_DIRECTORY | FILE_READ_ATTRIBUTES | SYNCHRONIZE;
    constexpr DWORD kShare = FILE_SHARE_READ | FILE_SHARE_WRITE;
    UniqueHandle h;
    Status opened = OpenOwnEntry(w, path, kList | FILE_ADD_FILE, kShare, &h);
    if (opened.code() == Status::Code::kAccessDenied || opened.code() == Status::Code::kInUse) {
      opened = OpenOwnEntry(w, path, kList, kShare, &h);
    }
    if (!opened.ok()) return opened;
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
