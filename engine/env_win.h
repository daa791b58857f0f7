// Win32 details of the file services that the rest of the Windows code shares: the one mapping
// of Win32 error codes, the path form handed to the wide API, and an owning HANDLE.
#pragma once

#include <windows.h>

#include <string>
#include <string_view>

#include "engine/status.h"

namespace qrv3 {

// Maps a Win32 error code (GetLastError) to a Status; `what` says which call on which file.
Status StatusFromWin32(DWORD err, const std::string& what);

// The UTF-16 name to hand to the wide file API for a UTF-8 path. Names that would exceed
// MAX_PATH are made absolute and given the \\?\ (or \\?\UNC\) prefix, which lifts the limit.
std::wstring Win32Path(std::string_view utf8_path);

// An owning file or find handle; closes it on destruction.
class UniqueHandle {
 public:
  UniqueHandle() = default;
  explicit UniqueHandle(HANDLE h) : h_(h) {}
  UniqueHandle(const UniqueHandle&) = delete;
  UniqueHandle& operator=(const UniqueHandle&) = delete;
  UniqueHandle(UniqueHandle&& o) noexcept : h_(o.release()) {}
  UniqueHandle& operator=(UniqueHandle&& o) noexcept {
    reset(o.release());
    return *this;
  }
  ~UniqueHandle() { reset(); }

  HANDLE get() const { return h_; }
  bool valid() const { return h_ != INVALID_HANDLE_VALUE && h_ != nullptr; }
  HANDLE release() {
    HANDLE h = h_;
    h_ = INVALID_HANDLE_VALUE;
    return h;
  }
  void reset(HANDLE h = INVALID_HANDLE_VALUE) {
    if (valid()) CloseHandle(h_);
    h_ = h;
  }

 private:
  HANDLE h_ = INVALID_HANDLE_VALUE;
};

}  // namespace qrv3
