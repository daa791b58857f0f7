#include "engine/env.h"

#include <cstdio>

namespace qrv3 {

std::string FormatStamp(const FileStamp& s) {
  char buf[64];
  std::snprintf(buf, sizeof buf, "%04d/%02d/%02d %02d:%02d:%02d", s.year, s.month, s.day, s.hour,
                s.minute, s.second);
  return buf;
}

}  // namespace qrv3
