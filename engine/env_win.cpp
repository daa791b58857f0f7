#include "engine/env_win.h"

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

Status Attributes(const std::string& path, WIN32_FILE_ATTRIBUTE_DATA* data) {
  if (!GetFileAttributesExW(Win32Path(path).c_str(), GetFileExInfoStandard, data)) {
    return LastError("attributes of " + path);
  }
  return Status::Ok();
}

class WinWritableFile final : public WritableFile {
 public:
  WinWritableFile(UniqueHandle h, std::string path) : h_(std::move(h)), path_(std::move(path)) {}
  Status Append(const uint8_t* data, size_t n) override {
    while (n > 0) {
      // WriteFile takes a DWORD count; large writes also fail on some network redirectors, so
      // write in pieces of at most 16 MiB.
      const DWORD chunk = static_cast<DWORD>(n < (16u << 20) ? n : (16u << 20));
      DWORD written = 0;
      if (!WriteFile(h_.get(), data, chunk, &written, nullptr)) return LastError("write " + path_);
      if (written == 0) return StatusFromWin32(ERROR_WRITE_FAULT, "write " + path_);
      data += written;
      n -= written;
    }
    return Status::Ok();
  }
  Status Sync() override {
    if (!FlushFileBuffers(h_.get())) return LastError("flush " + path_);
    return Status::Ok();
  }
  Status Close() override {
    if (!CloseHandle(h_.release())) return LastError("close " + path_);
    return Status::Ok();
  }

 private:
  UniqueHandle h_;
  std::string path_;
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
    SYSTEMTIME utc, local;
    if (!FileTimeToSystemTime(&d.ftLastWriteTime, &utc) ||
        !SystemTimeToTzSpecificLocalTime(nullptr, &utc, &local)) {
      return LastError("local time of " + path);
    }
    *stamp = {local.wYear, local.wMonth, local.wDay, local.wHour, local.wMinute, local.wSecond};
    return Status::Ok();
  }

  Status IsReadOnly(const std::string& path, bool* read_only) override {
    DWORD a = GetFileAttributesW(Win32Path(path).c_str());
    if (a == INVALID_FILE_ATTRIBUTES) {
      DWORD err = GetLastError();
      if (err == ERROR_FILE_NOT_FOUND) {
        *read_only = false;
        return Status::Ok();
      }
      return StatusFromWin32(err, "attributes of " + path);
    }
    *read_only = (a & FILE_ATTRIBUTE_READONLY) != 0;
    return Status::Ok();
  }

  Status ReadFileAt(const std::string& path, uint64_t offset, size_t n, uint8_t* dst) override {
    UniqueHandle h(CreateFileW(Win32Path(path).c_str(), GENERIC_READ,
                               FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr, OPEN_EXISTING,
                               FILE_FLAG_SEQUENTIAL_SCAN, nullptr));
    if (!h.valid()) return LastError("open " + path);
    LARGE_INTEGER pos;
    pos.QuadPart = static_cast<LONGLONG>(offset);
    if (!SetFilePointerEx(h.get(), pos, nullptr, FILE_BEGIN)) return LastError("seek " + path);
    size_t done = 0;
    while (done < n) {
      const size_t left = n - done;
      const DWORD chunk = static_cast<DWORD>(left < (16u << 20) ? left : (16u << 20));
      DWORD got = 0;
      if (!ReadFile(h.get(), dst + done, chunk, &got, nullptr)) return LastError("read " + path);
      if (got == 0) {
        return Status::Error(Status::Code::kShortFile,
                             path + " ends before byte " + std::to_string(offset + n));
      }
      done += got;
    }
    return Status::Ok();
  }

  Status NewWritableFile(const std::string& path, std::unique_ptr<WritableFile>* file) override {
    UniqueHandle h(CreateFileW(Win32Path(path).c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS,
                               FILE_ATTRIBUTE_NORMAL, nullptr));
    if (!h.valid()) return LastError("create " + path);
    *file = std::make_unique<WinWritableFile>(std::move(h), path);
    return Status::Ok();
  }

  Status ReplaceFile(const std::string& from, const std::string& to) override {
    if (!MoveFileExW(Win32Path(from).c_str(), Win32Path(to).c_str(),
                     MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH)) {
      return LastError("replace " + to + " with " + from);
    }
    return Status::Ok();
  }

  Status RemoveFile(const std::string& path) override {
    if (!DeleteFileW(Win32Path(path).c_str())) return LastError("remove " + path);
    return Status::Ok();
  }
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
