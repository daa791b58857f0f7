// The file services of engine/env.h on POSIX: the Env, its folders, files and locks. Folder
// listings and the lookup of names without regard to letter case are in base/folder_names_posix.
#include <fcntl.h>
#include <limits.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>
#include <cstring>
#include <ctime>
#include <thread>

#include "base/util_posix.h"
#include "engine/env.h"
#include "engine/metadata_posix.h"

namespace qrv3 {
namespace {

Status StampOf(const struct stat& st, const std::string& what, FileStamp* stamp) {
  struct tm tm;
  if (localtime_r(&st.st_mtime, &tm) == nullptr) return StatusFromErrno(errno, "local time of " + what);
  *stamp = {tm.tm_year + 1900, tm.tm_mon + 1, tm.tm_mday, tm.tm_hour, tm.tm_min, tm.tm_sec};
  return Status::Ok();
}

bool SameFile(const struct stat& a, const struct stat& b) {
  return a.st_dev == b.st_dev && a.st_ino == b.st_ino;
}

// Opens the plain file `name` of the folder `dir_fd` (AT_FDCWD: a path) for reading, never
// through a link and never a device or FIFO: what the name is, is asked before it is opened, and
// what was opened is checked again, so that nothing swapped in between is read, or opened at all
// when a device acts on being opened.
Status OpenRegularAt(int dir_fd, const char* name, const std::string& what, UniqueFd* out) {
  struct stat before;
  if (::fstatat(dir_fd, name, &before, AT_SYMLINK_NOFOLLOW) != 0) {
    return StatusFromErrno(errno, "stat " + what);
  }
  if (!S_ISREG(before.st_mode)) return Status::Error(Status::Code::kAccessDenied, what + " is not a plain file");
  UniqueFd fd(::openat(dir_fd, name, O_RDONLY | O_NOFOLLOW | O_NONBLOCK | O_CLOEXEC));
  if (!fd.valid()) return StatusFromErrno(errno, "open " + what);
  struct stat st;
  if (::fstat(fd.get(), &st) != 0) return StatusFromErrno(errno, "stat " + what);
  if (!S_ISREG(st.st_mode) || !SameFile(st, before)) {
    return Status::Error(Status::Code::kAccessDenied, what + " is not a plain file");
  }
  *out = std::move(fd);
  return Status::Ok();
}

class PosixReadableFile final : public ReadableFile {
 public:
  PosixReadableFile(UniqueFd fd, std::string what) : fd_(std::move(fd)), what_(std::move(what)) {}

  Status Info(EntryInfo* info) override {
    struct stat st;
    if (::fstat(fd_.get(), &st) != 0) return StatusFromErrno(errno, "stat " + what_);
    info->read_only = (st.st_mode & (S_IWUSR | S_IWGRP | S_IWOTH)) == 0;
    info->size = static_cast<uint64_t>(st.st_size);
    info->volume = static_cast<uint64_t>(st.st_dev);
    info->index = static_cast<uint64_t>(st.st_ino);
    return StampOf(st, what_, &info->stamp);
  }

  Status ReadAt(uint64_t offset, size_t n, uint8_t* dst) override {
    size_t done = 0;
    while (done < n) {
      ssize_t r = ::pread(fd_.get(), dst + done, n - done, static_cast<off_t>(offset + done));
      if (r < 0) {
        if (errno == EINTR) continue;
        return StatusFromErrno(errno, "read " + what_);
      }
      if (r == 0) {
        return Status::Error(Status::Code::kShortFile,
                             what_ + " ends before byte " + std::to_string(offset + n));
      }
      done += static_cast<size_t>(r);
    }
    return Status::Ok();
  }

  Status GetMetadata(FileMetadata* metadata) override {
    return ReadMetadata(fd_.get(), what_, metadata);
  }

 private:
  UniqueFd fd_;
  std::string what_;
};

class PosixLock final : public FolderLock {
 public:
  PosixLock(UniqueFd dir, std::string name, UniqueFd fd)
      : dir_(std::move(dir)), name_(std::move(name)), fd_(std::move(fd)) {}
  ~PosixLock() override {
    // Removed while still held, so that a run waiting on this file finds it gone and makes its
    // own; closing then lets the lock go. Only our own file goes.
    struct stat mine, entry;
    if (::fstat(fd_.get(), &mine) == 0 &&
        ::fstatat(dir_.get(), name_.c_str(), &entry, AT_SYMLINK_NOFOLLOW) == 0 && SameFile(mine, entry)) {
      ::unlinkat(dir_.get(), name_.c_str(), 0);
    }
  }

 private:
  UniqueFd dir_;
  std::string name_;
  UniqueFd fd_;
};

class PosixNewFile final : public NewFile {
 public:
  PosixNewFile(UniqueFd dir, std::string name, UniqueFd fd)
      : dir_(std::move(dir)), name_(std::move(name)), fd_(std::move(fd)) {}
  ~PosixNewFile() override {
    // Not discarded: the name goes. After a rename nothing of ours is under it any more, and
    // whatever was put there since has a name of ours, which a run removes anyway.
    if (fd_.valid()) ::unlinkat(dir_.get(), name_.c_str(), 0);
  }

  Status Append(const uint8_t* data, size_t n) override {
    while (n > 0) {
      ssize_t w = ::write(fd_.get(), data, n);
      if (w < 0) {
        if (errno == EINTR) continue;
        return StatusFromErrno(errno, "write " + name_);
      }
      data += w;
      n -= static_cast<size_t>(w);
    }
    return Status::Ok();
  }

  Status Sync() override {
    if (::fsync(fd_.get()) != 0) return StatusFromErrno(errno, "fsync " + name_);
    return Status::Ok();
  }

  Status SetMetadata(const FileMetadata& model) override {
    return ApplyMetadata(fd_.get(), name_, model);
  }

  Status ReplaceInto(const std::string& name) override {
    if (::renameat(dir_.get(), name_.c_str(), dir_.get(), name.c_str()) != 0) {
      return StatusFromErrno(errno, "rename " + name_ + " to " + name);
    }
    return Status::Ok();
  }

  Status IsEntry(const std::string& name, bool* same) override {
    struct stat mine, entry;
    if (::fstat(fd_.get(), &mine) != 0) return StatusFromErrno(errno, "stat " + name_);
    if (::fstatat(dir_.get(), name.c_str(), &entry, AT_SYMLINK_NOFOLLOW) != 0) {
      if (errno != ENOENT) return StatusFromErrno(errno, "stat " + name);
      *same = false;
      return Status::Ok();
    }
    *same = SameFile(mine, entry);
    return Status::Ok();
  }

  Status Discard() override {
    Status s;
    if (::unlinkat(dir_.get(), name_.c_str(), 0) != 0) s = StatusFromErrno(errno, "remove " + name_);
    fd_.reset();
    return s;
  }

 private:
  UniqueFd dir_;
  std::string name_;
  UniqueFd fd_;
};

class PosixFolder final : public Folder {
 public:
  PosixFolder(UniqueFd fd, std::string path) : fd_(std::move(fd)), path_(std::move(path)) {}

  Status Lock(const std::string& name, std::unique_ptr<FolderLock>* lock) override {
    const std::string what = path_ + "/" + name;
    for (int attempt = 0; attempt < 8; ++attempt) {
      UniqueFd fd(::openat(fd_.get(), name.c_str(),
                           O_RDONLY | O_CREAT | O_NOFOLLOW | O_NONBLOCK | O_CLOEXEC, 0644));
      if (!fd.valid()) return StatusFromErrno(errno, "open lock " + what);
      struct stat st;
      if (::fstat(fd.get(), &st) != 0) return StatusFromErrno(errno, "stat " + what);
      if (!S_ISREG(st.st_mode) || st.st_nlink != 1) {
        return Status::Error(Status::Code::kAccessDenied, what + " is not a plain file");
      }
      // Held by another run: EWOULDBLOCK, which is kBusy.
      if (::flock(fd.get(), LOCK_EX | LOCK_NB) != 0) return StatusFromErrno(errno, "lock " + what);
      // The holder before us removes the file before it lets go: locked but no longer under the
      // name, it locks nothing.
      struct stat now;
      if (::fstatat(fd_.get(), name.c_str(), &now, AT_SYMLINK_NOFOLLOW) == 0 && SameFile(st, now)) {
        UniqueFd dir(DupCloexec(fd_.get()));
        if (!dir.valid()) return StatusFromErrno(errno, "lock " + what);
        *lock = std::make_unique<PosixLock>(std::move(dir), name, std::move(fd));
        return Status::Ok();
      }
    }
    return Status::Error(Status::Code::kBusy, "other update runs keep taking " + what);
  }

  Status List(std::vector<std::string>* names) override { return ListFd(fd_.get(), path_, names); }

  Status OpenFile(const std::string& name, std::unique_ptr<ReadableFile>* file) override {
    const std::string what = path_ + "/" + name;
    UniqueFd fd;
    if (Status s = OpenRegularAt(fd_.get(), name.c_str(), what, &fd); !s.ok()) return s;
    *file = std::make_unique<PosixReadableFile>(std::move(fd), what);
    return Status::Ok();
  }

  Status CreateNew(const std::string& name, std::unique_ptr<NewFile>* file) override {
    const std::string what = path_ + "/" + name;
    UniqueFd fd(::openat(fd_.get(), name.c_str(),
                         O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, 0600));
    if (!fd.valid()) return StatusFromErrno(errno, "create " + what);
    UniqueFd dir(DupCloexec(fd_.get()));
    if (!dir.valid()) {
      const int err = errno;
      ::unlinkat(fd_.get(), name.c_str(), 0);
      return StatusFromErrno(err, "create " + what);
    }
    // Made exclusively, so it can only have grown a second name since: one more way in for
    // someone else, which the new database must not have.
    struct stat st;
    const bool own = ::fstat(fd.get(), &st) == 0 && S_ISREG(st.st_mode) && st.st_nlink == 1;
    auto made = std::make_unique<PosixNewFile>(std::move(dir), name, std::move(fd));
    if (!own) {
      return Status::Error(Status::Code::kAccessDenied, what + " is not a plain file of its own");
    }
    *file = std::move(made);
    return Status::Ok();
  }

  Status Remove(const std::string& name) override {
    const std::string what = path_ + "/" + name;
    struct stat st;
    if (::fstatat(fd_.get(), name.c_str(), &st, AT_SYMLINK_NOFOLLOW) != 0) {
      return StatusFromErrno(errno, "stat " + what);
    }
    if (S_ISDIR(st.st_mode)) return Status::Error(Status::Code::kAccessDenied, what + " is a folder");
    if (::unlinkat(fd_.get(), name.c_str(), 0) != 0) return StatusFromErrno(errno, "remove " + what);
    return Status::Ok();
  }

  Status Sync() override {
    if (::fsync(fd_.get()) != 0) return StatusFromErrno(errno, "fsync " + path_);
    return Status::Ok();
  }

 private:
  UniqueFd fd_;
  std::string path_;
};

class PosixEnv final : public Env {
 public:
  bool FileExists(const std::string& path) override {
    std::string real;
    struct stat st;
    return ResolvePosixPath(path, &real).ok() && ::stat(real.c_str(), &st) == 0;
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
    return StampOf(st, path, stamp);
  }

  Status OpenFile(const std::string& path, std::unique_ptr<ReadableFile>* file) override {
    std::string real;
    if (Status s = ResolvePosixPath(path, &real); !s.ok()) return s;
    UniqueFd fd;
    if (Status s = OpenRegularAt(AT_FDCWD, real.empty() ? "." : real.c_str(), path, &fd); !s.ok()) {
      return s;
    }
    *file = std::make_unique<PosixReadableFile>(std::move(fd), path);
    return Status::Ok();
  }

  Status OpenFolder(const std::string& path, std::unique_ptr<Folder>* folder) override {
    std::string real;
    if (Status s = ResolvePosixPath(path, &real); !s.ok()) return s;
    UniqueFd fd(::open(real.c_str(), O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC));
    if (!fd.valid()) {
      const int err = errno;
      struct stat st;
      if (::lstat(real.c_str(), &st) == 0 && S_ISLNK(st.st_mode)) {
        return Status::Error(Status::Code::kAccessDenied, path + " is a link");
      }
      return StatusFromErrno(err, "open folder " + path);
    }
    *folder = std::make_unique<PosixFolder>(std::move(fd), path);
    return Status::Ok();
  }

  void SleepForMilliseconds(int ms) override { std::this_thread::sleep_for(std::chrono::milliseconds(ms)); }

 private:
  static Status Stat(const std::string& path, struct stat* st) {
    std::string real;
    if (Status s = ResolvePosixPath(path, &real); !s.ok()) return s;
    if (::stat(real.c_str(), st) != 0) return StatusFromErrno(errno, "stat " + path);
    return Status::Ok();
  }
};

}  // namespace

Env* Env::Default() {
  static PosixEnv env;
  return &env;
}

std::string UpdaterFolder() {
  char buf[PATH_MAX];
  ssize_t n = readlink("/proc/self/exe", buf, sizeof buf);
  if (n <= 0) return ".";
  std::string exe(buf, static_cast<size_t>(n));
  const size_t slash = exe.rfind('/');
  return slash == std::string::npos ? "." : exe.substr(0, slash);
}

}  // namespace qrv3
