// The demo generator's side of the platform on POSIX: paths and file times.
#include <fcntl.h>
#include <sys/stat.h>

#include <cerrno>
#include <ctime>

#include "base/util_posix.h"
#include "tools/demo_install.h"

namespace qrv3::demo {

std::filesystem::path FsPath(const std::string& utf8) {
  std::string p = utf8;
  for (char& c : p) {
    if (c == '\\') c = '/';
  }
  return p;
}

Status SetFileStamp(const std::string& path, const FileStamp& s) {
  struct tm tm = {};
  tm.tm_year = s.year - 1900;
  tm.tm_mon = s.month - 1;
  tm.tm_mday = s.day;
  tm.tm_hour = s.hour;
  tm.tm_min = s.minute;
  tm.tm_sec = s.second;
  tm.tm_isdst = -1;  // whatever the zone's rules say for that date
  const time_t t = mktime(&tm);
  struct timespec times[2] = {{t, 0}, {t, 0}};
  if (utimensat(AT_FDCWD, ResolvePosixPath(path).c_str(), times, 0) != 0) {
    return StatusFromErrno(errno, "set time of " + path);
  }
  return Status::Ok();
}

}  // namespace qrv3::demo
