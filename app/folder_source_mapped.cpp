#include "app/folder_source_mapped.h"

#include <system_error>
#include <vector>

#include "engine/utf.h"

#ifndef _WIN32
#include <dirent.h>
#include <sys/stat.h>

#include <cerrno>

#include "engine/env_posix.h"
#endif

namespace qrv3 {
namespace fs = std::filesystem;
namespace {

bool IsSeparator(char c) { return c == '\\' || c == '/'; }

// Splits "c:\a\..\b" into its root ("c:\" or "\\server\share") and its components, with "."
// and ".." worked out.
bool Split(const std::string& path, std::string* root, std::vector<std::string>* parts) {
  size_t i;
  if (path.size() >= 3 && path[1] == ':' && IsSeparator(path[2])) {
    *root = path.substr(0, 3);
    i = 3;
  } else if (path.size() >= 2 && IsSeparator(path[0]) && IsSeparator(path[1])) {
    const size_t server_end = path.find_first_of("\\/", 2);
    if (server_end == std::string::npos) return false;
    size_t share_end = path.find_first_of("\\/", server_end + 1);
    if (share_end == std::string::npos) share_end = path.size();
    *root = "\\\\" + path.substr(2, server_end - 2) + "\\" +
            path.substr(server_end + 1, share_end - server_end - 1);
    i = share_end;
  } else {
    return false;
  }
  parts->clear();
  while (i < path.size()) {
    while (i < path.size() && IsSeparator(path[i])) ++i;
    size_t end = path.find_first_of("\\/", i);
    if (end == std::string::npos) end = path.size();
    const std::string part = path.substr(i, end - i);
    if (part == "..") {
      if (!parts->empty()) parts->pop_back();
    } else if (!part.empty() && part != ".") {
      parts->push_back(part);
    }
    i = end;
  }
  return true;
}

}  // namespace

fs::path MappedFolderSource::HostPath(const std::string& path) const {
  std::string root;
  std::vector<std::string> parts;
  if (!Split(path, &root, &parts)) return {};
  fs::path host;
  if (root.size() == 3) {
    const char letter = static_cast<char>(std::tolower(static_cast<unsigned char>(root[0])));
    auto it = drives_.find(letter);
    if (it == drives_.end() || !it->second.ready) return {};
    host = it->second.root;
  } else {
    auto it = shares_.find(root);
    if (it == shares_.end()) return {};
    host = it->second;
  }
  for (const std::string& p : parts) host /= FsPath(p);
#ifndef _WIN32
  // Names resolve without regard to letter case, as on the drives this stands in for.
  host = ResolvePosixPath(host.native());
#endif
  return host;
}

std::vector<char> MappedFolderSource::Drives() {
  std::vector<char> letters;
  for (const auto& [letter, drive] : drives_) letters.push_back(letter);
  return letters;
}

std::string MappedFolderSource::DriveNote(char letter) {
  auto it = drives_.find(letter);
  return it == drives_.end() || !it->second.ready ? std::string() : it->second.note;
}

Status MappedFolderSource::DriveCurrentFolder(char letter, std::string* folder) {
  auto it = drives_.find(letter);
  if (it == drives_.end()) return Status::Error(Status::Code::kNotFound, "no such drive");
  if (!it->second.ready) return Status::Error(Status::Code::kNotReady, "no medium");
  *folder = std::string{letter, ':', '\\'} + it->second.current;
  return Status::Ok();
}

Status MappedFolderSource::OpenFolder(const std::string& path, std::string* folder) {
  std::string root;
  std::vector<std::string> parts;
  if (!Split(path, &root, &parts)) return Status::Error(Status::Code::kInvalidPath, path);
  const fs::path host = HostPath(path);
  std::error_code ec;
  if (host.empty() || !fs::is_directory(host, ec)) {
    return Status::Error(Status::Code::kNotFound, "no folder " + path);
  }
  std::string f = root;
  for (const std::string& p : parts) f += (f.back() == '\\' ? "" : "\\") + p;
  *folder = f;
  return Status::Ok();
}

Status MappedFolderSource::ListFolder(const std::string& folder, std::vector<FolderEntry>* entries) {
  const fs::path host = HostPath(folder);
  if (host.empty()) return Status::Error(Status::Code::kNotFound, "no folder " + folder);
#ifndef _WIN32
  // readdir gives each entry's kind without a stat on the file systems that matter.
  DIR* dir = opendir(host.c_str());
  if (dir == nullptr) return StatusFromErrno(errno, "list " + folder);
  entries->clear();
  while (const dirent* d = readdir(dir)) {
    const std::string_view name = d->d_name;
    if (name == "." || name == "..") continue;
    bool is_folder = d->d_type == DT_DIR;
    if (d->d_type != DT_DIR && d->d_type != DT_REG) {  // unknown, or a link to follow
      struct stat st;
      is_folder = fstatat(dirfd(dir), d->d_name, &st, 0) == 0 && S_ISDIR(st.st_mode);
    }
    entries->push_back({std::string(name), is_folder, name[0] == '.'});
  }
  closedir(dir);
  return Status::Ok();
#else
  std::error_code ec;
  fs::directory_iterator it(host, ec);
  if (ec) return Status::Error(Status::Code::kAccessDenied, folder + ": " + ec.message());
  entries->clear();
  for (; it != fs::directory_iterator(); it.increment(ec)) {
    if (ec) return Status::Error(Status::Code::kIoError, folder + ": " + ec.message());
    FolderEntry e;
    e.name = Utf8Path(it->path().filename());
    std::error_code type_ec;
    e.folder = it->is_directory(type_ec);
    e.hidden = !e.name.empty() && e.name[0] == '.';
    entries->push_back(std::move(e));
  }
  return Status::Ok();
#endif
}

}  // namespace qrv3
