// POSIX details of the file services that other POSIX code shares.
#pragma once

#include <fcntl.h>
#include <unistd.h>

#include <string>
#include <vector>

#include "base/status.h"

namespace qrv3 {

// Turns a product-style path into the POSIX path of what it names: "\" becomes "/", and each
// component that does not exist as written becomes the one entry of its folder that equals it
// ignoring ASCII letter case. No such entry gives kNotFound, two or more kAmbiguous; any other
// failure (a status query or a folder listing that fails) is an error of its own, never taken
// for "no such entry".
Status ResolvePosixPath(const std::string& path, std::string* resolved);

// The same, for callers that only want a name to try: the resolved path, or the path as written
// (with "/") when it cannot be resolved.
std::string ResolvePosixPath(const std::string& path);

// Maps an errno value to a Status; `what` says which call on which file failed.
Status StatusFromErrno(int err, const std::string& what);

// Lists the folder open as `dir_fd` ("." and ".." left out), whatever its name is now.
Status ListFd(int dir_fd, const std::string& what, std::vector<std::string>* names);

// A file descriptor, closed when it goes.
class UniqueFd {
 public:
  UniqueFd() = default;
  explicit UniqueFd(int fd) : fd_(fd) {}
  UniqueFd(UniqueFd&& o) noexcept : fd_(o.release()) {}
  UniqueFd& operator=(UniqueFd&& o) noexcept {
    reset(o.release());
    return *this;
  }
  ~UniqueFd() { reset(); }
  int get() const { return fd_; }
  bool valid() const { return fd_ >= 0; }
  int release() {
    int fd = fd_;
    fd_ = -1;
    return fd;
  }
  void reset(int fd = -1) {
    if (fd_ >= 0) ::close(fd_);
    fd_ = fd;
  }

 private:
  int fd_ = -1;
};

// A second descriptor of what `fd` has open, closed in programs this one starts.
inline int DupCloexec(int fd) { return ::fcntl(fd, F_DUPFD_CLOEXEC, 0); }

}  // namespace qrv3
