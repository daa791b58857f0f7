#include "engine/env_posix.h"

#include <dirent.h>
#include <fcntl.h>
#include <limits.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <ctime>
#include <string_view>

#include "engine/env.h"
#include "engine/names.h"

namespace qrv3 {

Status StatusFromErrno(int err, const std::string& what) {
  using C = Status::Code;
  C code;
  switch (err) {
    case ENOENT: case ENOTDIR: code = C::kNotFound; break;
    case EACCES: case EPERM: case EROFS: case EISDIR: code = C::kAccessDenied; break;
    case EBUSY: case ETXTBSY: code = C::kInUse; break;
    case ENOMEDIUM: case ENXIO: case EHOSTDOWN: case ENOTCONN: code = C::kNotReady; break;
    case ENAMETOOLONG: case EINVAL: case EILSEQ: code = C::kInvalidPath; break;
    default: code = C::kIoError; break;
  }
  return Status::Error(code, what + ": " + std::strerror(err));
}

namespace {

bool Exists(const std::string& path) {
  struct stat st;
  return lstat(path.c_str(), &st) == 0;
}

// The entry of `folder` that equals `name` ignoring case, or "" when there is none.
std::string FindIgnoringCase(const std::string& folder, std::string_view name) {
  DIR* dir = opendir(folder.empty() ? "." : folder.c_str());
  if (dir == nullptr) return "";
  std::string best;
  while (const dirent* e = readdir(dir)) {
    if (CompareIgnoringCase(e->d_name, name) == 0 && (best.empty() || best > e->d_name)) {
      best = e->d_name;
    }
  }
  closedir(dir);
  return best;
}

class PosixWritableFile final : public WritableFile {
 public:
  PosixWritableFile(int fd, std::string path) : fd_(fd), path_(std::move(path)) {}
  ~PosixWritableFile() override {
    if (fd_ >= 0) ::close(fd_);
  }
  Status Append(const uint8_t* data, size_t n) override {
    while (n > 0) {
      ssize_t w = ::write(fd_, data, n);
      if (w < 0) {
        if (errno == EINTR) continue;
        return StatusFromErrno(errno, "write " + path_);
      }
      data += w;
      n -= static_cast<size_t>(w);
    }
    return Status::Ok();
  }
  Status Sync() override {
    if (::fsync(fd_) != 0) return StatusFromErrno(errno, "fsync " + path_);
    return Status::Ok();
  }
  Status Close() override {
    int fd = fd_;
    fd_ = -1;
    if (::close(fd) != 0) return StatusFromErrno(errno, "close " + path_);
    return Status::Ok();
  }

 private:
  int fd_;
  std::string path_;
};

class PosixEnv final : public Env {
 public:
  bool FileExists(const std::string& path) override {
    if (path.find('\0') != std::string::npos) return false;
    struct stat st;
    return stat(ResolvePosixPath(path).c_str(), &st) == 0;
  }

  Status GetFileSize(const std::string& path, uint64_t* size) override {
    struct stat st;
    Status s = Stat(path, &st);
    if (!s.ok()) return s;
    if (S_ISDIR(st.st_mode)) return Status::Error(Status::Code::kAccessDenied, path + " is a folder");
    *size = static_cast<uint64_t>(st.st_size);
    return Status::Ok();
  }

  Status GetFileStamp(const std::string& path, FileStamp* stamp) override {
    struct stat st;
    Status s = Stat(path, &st);
    if (!s.ok()) return s;
    struct tm tm;
    if (localtime_r(&st.st_mtime, &tm) == nullptr) return StatusFromErrno(errno, "localtime " + path);
    *stamp = {tm.tm_year + 1900, tm.tm_mon + 1, tm.tm_mday, tm.tm_hour, tm.tm_min, tm.tm_sec};
    return Status::Ok();
  }

  Status IsReadOnly(const std::string& path, bool* read_only) override {
    struct stat st;
    Status s = Stat(path, &st);
    if (s.code() == Status::Code::kNotFound) {
      *read_only = false;
      return Status::Ok();
    }
    if (!s.ok()) return s;
    *read_only = (st.st_mode & (S_IWUSR | S_IWGRP | S_IWOTH)) == 0;
    return Status::Ok();
  }

  Status ReadFileAt(const std::string& path, uint64_t offset, size_t n, uint8_t* dst) override {
    const std::string real = ResolvePosixPath(path);
    int fd = ::open(real.c_str(), O_RDONLY | O_CLOEXEC);
    if (fd < 0) return StatusFromErrno(errno, "open " + path);
    Status result;
    size_t done = 0;
    while (done < n) {
      ssize_t r = ::pread(fd, dst + done, n - done, static_cast<off_t>(offset + done));
      if (r < 0) {
        if (errno == EINTR) continue;
        result = StatusFromErrno(errno, "read " + path);
        break;
      }
      if (r == 0) {
        result = Status::Error(Status::Code::kShortFile,
                               path + " ends before byte " + std::to_string(offset + n));
        break;
      }
      done += static_cast<size_t>(r);
    }
    ::close(fd);
    return result;
  }

  Status NewWritableFile(const std::string& path, std::unique_ptr<WritableFile>* file) override {
    const std::string real = ResolvePosixPath(path);
    int fd = ::open(real.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0644);
    if (fd < 0) return StatusFromErrno(errno, "create " + path);
    *file = std::make_unique<PosixWritableFile>(fd, path);
    return Status::Ok();
  }

  Status ReplaceFile(const std::string& from, const std::string& to) override {
    const std::string real_from = ResolvePosixPath(from);
    const std::string real_to = ResolvePosixPath(to);
    if (::rename(real_from.c_str(), real_to.c_str()) != 0) {
      return StatusFromErrno(errno, "rename " + from + " to " + to);
    }
    // The new name is visible now; making the folder's entry durable is best effort, since the
    // replacement has happened and cannot be reported as not done.
    const size_t slash = real_to.rfind('/');
    const std::string folder = slash == std::string::npos ? "." : real_to.substr(0, slash + 1);
    int dfd = ::open(folder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (dfd >= 0) {
      ::fsync(dfd);
      ::close(dfd);
    }
    return Status::Ok();
  }

  Status RemoveFile(const std::string& path) override {
    if (::unlink(ResolvePosixPath(path).c_str()) != 0) return StatusFromErrno(errno, "remove " + path);
    return Status::Ok();
  }

 private:
  static Status Stat(const std::string& path, struct stat* st) {
    if (path.find('\0') != std::string::npos) {
      return Status::Error(Status::Code::kInvalidPath, "NUL in a path");
    }
    if (stat(ResolvePosixPath(path).c_str(), st) != 0) return StatusFromErrno(errno, "stat " + path);
    return Status::Ok();
  }
};

}  // namespace

std::string ResolvePosixPath(const std::string& path) {
  std::string p = path;
  for (char& c : p) {
    if (c == '\\') c = '/';
  }
  if (p.empty() || Exists(p)) return p;

  std::string out;
  size_t i = 0;
  if (p[0] == '/') {
    out = "/";
    i = 1;
  }
  bool matching = true;  // once a component has no match, the rest cannot exist either
  while (i <= p.size()) {
    size_t j = p.find('/', i);
    if (j == std::string::npos) j = p.size();
    std::string_view comp(p.data() + i, j - i);
    if (!comp.empty()) {
      std::string next = out + std::string(comp);
      if (matching && comp != "." && comp != ".." && !Exists(next)) {
        std::string found = FindIgnoringCase(out, comp);
        if (found.empty()) {
          matching = false;
        } else {
          next = out + found;
        }
      }
      out = std::move(next);
    }
    if (j < p.size()) out += '/';
    i = j + 1;
  }
  return out;
}

Env* Env::Default() {
  static PosixEnv env;
  return &env;
}

std::string UpdaterFolder() {
  char buf[PATH_MAX + 1];
  ssize_t n = readlink("/proc/self/exe", buf, PATH_MAX);
  if (n <= 0) return ".";
  std::string exe(buf, static_cast<size_t>(n));
  const size_t slash = exe.rfind('/');
  return slash == std::string::npos ? "." : exe.substr(0, slash);
}

}  // namespace qrv3
