// A folder's names on POSIX, and the lookup of a product-style path through them without regard
// to letter case.
#include <dirent.h>
#include <sys/stat.h>

#include <cerrno>
#include <cstring>
#include <memory>
#include <string_view>

#include "base/names.h"
#include "base/util_posix.h"

namespace qrv3 {
namespace {

// Reads the names of an open folder listing and closes it.
Status ReadNames(DIR* dir, const std::string& what, std::vector<std::string>* names) {
  const std::unique_ptr<DIR, int (*)(DIR*)> closer(dir, closedir);
  names->clear();
  Status s;
  for (;;) {
    errno = 0;
    const dirent* e = readdir(dir);
    if (e == nullptr) {
      if (errno != 0) s = StatusFromErrno(errno, "list " + what);
      break;
    }
    if (std::strcmp(e->d_name, ".") != 0 && std::strcmp(e->d_name, "..") != 0) {
      names->emplace_back(e->d_name);
    }
  }
  return s;
}

Status ListFolder(const std::string& folder, std::vector<std::string>* names) {
  DIR* dir = opendir(folder.empty() ? "." : folder.c_str());
  if (dir == nullptr) return StatusFromErrno(errno, "list " + folder);
  return ReadNames(dir, folder, names);
}

}  // namespace

Status ListFd(int dir_fd, const std::string& what, std::vector<std::string>* names) {
  UniqueFd fd(DupCloexec(dir_fd));
  if (!fd.valid()) return StatusFromErrno(errno, "list " + what);
  DIR* dir = fdopendir(fd.get());
  if (dir == nullptr) return StatusFromErrno(errno, "list " + what);
  fd.release();
  rewinddir(dir);
  return ReadNames(dir, what, names);
}

Status ResolvePosixPath(const std::string& path, std::string* resolved) {
  if (path.find('\0') != std::string::npos) {
    return Status::Error(Status::Code::kInvalidPath, "NUL in a path");
  }
  std::string p = path;
  for (char& c : p) {
    if (c == '\\') c = '/';
  }
  std::string out = !p.empty() && p[0] == '/' ? "/" : "";
  size_t i = 0;
  while (i < p.size()) {
    size_t j = p.find('/', i);
    if (j == std::string::npos) j = p.size();
    const std::string_view comp(p.data() + i, j - i);
    i = j + 1;
    if (comp.empty()) continue;
    if (!out.empty() && out.back() != '/') out += '/';
    // The name as written, when it is there, is the entry: the system's own lookup, and no
    // folder to read. Two spellings of the database are told apart where it is replaced.
    const std::string literal = out + std::string(comp);
    struct stat st;
    if (::lstat(literal.c_str(), &st) == 0) {
      out = literal;
      continue;
    }
    if (errno != ENOENT) return StatusFromErrno(errno, "stat " + literal);
    const std::string folder = out.empty() ? "." : out;
    std::vector<std::string> names;
    if (Status s = ListFolder(folder, &names); !s.ok()) return s;
    const std::string* found = nullptr;
    int matches = 0;
    for (const std::string& n : names) {
      if (CompareIgnoringCase(n, comp) == 0) {
        ++matches;
        found = &n;
      }
    }
    if (matches == 0) {
      return Status::Error(Status::Code::kNotFound, path + ": no entry " + std::string(comp));
    }
    if (matches > 1) {
      return Status::Error(Status::Code::kAmbiguous, path + ": " + std::to_string(matches) +
                                                         " entries are named " + std::string(comp));
    }
    out += *found;
  }
  if (!p.empty() && p.back() == '/' && !out.empty() && out.back() != '/') out += '/';
  *resolved = std::move(out);
  return Status::Ok();
}

std::string ResolvePosixPath(const std::string& path) {
  std::string real;
  if (ResolvePosixPath(path, &real).ok()) return real;
  for (char& c : real = path) {
    if (c == '\\') c = '/';
  }
  return real;
}

}  // namespace qrv3
