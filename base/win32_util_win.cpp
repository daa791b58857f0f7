#include "base/win32_util_win.h"

#include "base/utf.h"

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

std::wstring FullPathName(const std::wstring& path) {
  DWORD n = GetFullPathNameW(path.c_str(), 0, nullptr, nullptr);
  if (n == 0) return {};
  std::wstring full(n, L'\0');
  n = GetFullPathNameW(path.c_str(), n, full.data(), nullptr);
  full.resize(n);
  return full;
}

namespace {

// The \\?\ form of a path, which no length limit applies to; empty when it has none.
std::wstring ExtendedPath(const std::wstring& path) {
  if (path.rfind(L"\\\\?\\", 0) == 0) return path;
  const std::wstring full = FullPathName(path);
  // A path in the device namespace (\\.\…) has no such form: it is no share.
  if (full.empty() || full.rfind(L"\\\\.\\", 0) == 0) return {};
  if (full.rfind(L"\\\\", 0) == 0) return L"\\\\?\\UNC\\" + full.substr(2);
  return L"\\\\?\\" + full;
}

}  // namespace

std::wstring Win32Path(std::string_view utf8_path) {
  std::wstring w = Widen(utf8_path);
  // Leave room for the 8.3 name and the terminator that some calls add.
  if (w.size() < MAX_PATH - 12) return w;
  std::wstring extended = ExtendedPath(w);
  return extended.empty() ? w : extended;
}

std::wstring NtPath(const std::wstring& win32) {
  const std::wstring extended = ExtendedPath(win32);
  return extended.empty() ? extended : L"\\??\\" + extended.substr(4);
}

}  // namespace qrv3
