// The Win32 helpers that the engine, the window and the console updater share: the one mapping
// of Win32 error codes, the path forms handed to the wide API, and the owners of handles.
#pragma once

#include <windows.h>

#include <string>
#include <string_view>

#include "base/status.h"

namespace qrv3 {

// Maps a Win32 error code (GetLastError) to a Status; `what` says which call on which file.
Status StatusFromWin32(DWORD err, const std::string& what);
// The same for the calling thread's last error.
inline Status LastError(const std::string& what) { return StatusFromWin32(GetLastError(), what); }

// The absolute form of `path` as GetFullPathNameW gives it; empty when it has none (the reason
// is left in GetLastError).
std::wstring FullPathName(const std::wstring& path);

// The UTF-16 name to hand to the wide file API for a UTF-8 path. Names that would exceed
// MAX_PATH are made absolute and given the \\?\ (or \\?\UNC\) prefix, which lifts the limit.
std::wstring Win32Path(std::string_view utf8_path);

// The name the NT layer takes for a Win32 path ("\??\C:\…", "\??\UNC\server\share\…"): what a
// rename by handle needs on every Windows from 7 on, whichever of them converts a DOS path
// itself. Empty when it has none: no full form, or a path in the device namespace (\\.\…).
std::wstring NtPath(const std::wstring& win32);

// Owns a handle of the kind `Close` closes; closes it on destruction. A null handle and
// INVALID_HANDLE_VALUE both stand for none.
template <class Close>
class OwnedHandle {
 public:
  OwnedHandle() = default;
  explicit OwnedHandle(HANDLE h) : h_(h) {}
  OwnedHandle(const OwnedHandle&) = delete;
  OwnedHandle& operator=(const OwnedHandle&) = delete;
  OwnedHandle(OwnedHandle&& o) noexcept : h_(o.release()) {}
  OwnedHandle& operator=(OwnedHandle&& o) noexcept {
    reset(o.release());
    return *this;
  }
  ~OwnedHandle() { reset(); }

  HANDLE get() const { return h_; }
  bool valid() const { return h_ != INVALID_HANDLE_VALUE && h_ != nullptr; }
  HANDLE release() {
    HANDLE h = h_;
    h_ = INVALID_HANDLE_VALUE;
    return h;
  }
  void reset(HANDLE h = INVALID_HANDLE_VALUE) {
    if (valid()) Close()(h_);
    h_ = h;
  }

 private:
  HANDLE h_ = INVALID_HANDLE_VALUE;
};

struct CloseKernelHandle {
  void operator()(HANDLE h) const { CloseHandle(h); }
};
struct CloseFindHandle {
  void operator()(HANDLE h) const { FindClose(h); }
};

// A file, folder, process, thread or event handle (CloseHandle).
using UniqueHandle = OwnedHandle<CloseKernelHandle>;
// A handle of FindFirstFileExW (FindClose).
using UniqueFindHandle = OwnedHandle<CloseFindHandle>;

}  // namespace qrv3
