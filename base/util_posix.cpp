#include "base/util_posix.h"

#include <cerrno>
#include <cstring>

namespace qrv3 {

Status StatusFromErrno(int err, const std::string& what) {
  using C = Status::Code;
  C code;
  switch (err) {
    case ENOENT: case ENOTDIR: code = C::kNotFound; break;
    case EACCES: case EPERM: case EROFS: case EISDIR: case ELOOP: code = C::kAccessDenied; break;
    case EBUSY: case ETXTBSY: code = C::kInUse; break;
    case EWOULDBLOCK: code = C::kBusy; break;
    case EEXIST: code = C::kExists; break;
    case ENOMEDIUM: case ENXIO: case EHOSTDOWN: case ENOTCONN: code = C::kNotReady; break;
    case ENAMETOOLONG: case EINVAL: case EILSEQ: code = C::kInvalidPath; break;
    case ENOMEM: code = C::kNoMemory; break;
    default: code = C::kIoError; break;
  }
  return Status::Error(code, what + ": " + std::strerror(err));
}

}  // namespace qrv3
