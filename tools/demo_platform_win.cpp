// The demo generator's side of the platform on Windows: paths and file times.
#include <windows.h>

#include "base/utf.h"
#include "base/utf_fs.h"
#include "base/win32_util_win.h"
#include "tools/demo_install.h"

namespace qrv3::demo {

std::filesystem::path FsPath(const std::string& utf8) { return qrv3::FsPath(utf8); }

Status SetFileStamp(const std::string& path, const FileStamp& s) {
  SYSTEMTIME local = {};
  local.wYear = static_cast<WORD>(s.year);
  local.wMonth = static_cast<WORD>(s.month);
  local.wDay = static_cast<WORD>(s.day);
  local.wHour = static_cast<WORD>(s.hour);
  local.wMinute = static_cast<WORD>(s.minute);
  local.wSecond = static_cast<WORD>(s.second);
  SYSTEMTIME utc;
  FILETIME ft;
  if (!TzSpecificLocalTimeToSystemTime(nullptr, &local, &utc) || !SystemTimeToFileTime(&utc, &ft)) {
    return StatusFromWin32(GetLastError(), "convert time for " + path);
  }
  UniqueHandle h(CreateFileW(Win32Path(path).c_str(), FILE_WRITE_ATTRIBUTES,
                             FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                             OPEN_EXISTING, FILE_FLAG_BACKUP_SEMANTICS, nullptr));
  if (!h.valid() || !SetFileTime(h.get(), nullptr, nullptr, &ft)) {
    return StatusFromWin32(GetLastError(), "set time of " + path);
  }
  return Status::Ok();
}

}  // namespace qrv3::demo
