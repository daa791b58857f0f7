#include "app/folder_source_mapped.h"

#include <system_error>
#include <vector>

#include "base/names.h"
#include "base/utf.h"
#include "base/utf_fs.h"

namespace qrv3 {
namespace fs = std::filesystem;
namespace {

// Splits "c:\a\..\b" into its root ("c:\" or "\\server\share") and its components, added to
// `parts`, with "." and ".." worked out.
bool Split(const std::string& path, std::string* root, std::vector<std::string>* parts) {
  // The host reads a name only up to a NUL: "c:\..\0x" would be the folder above the drive's.
  if (path.find('\0') != std::string::npos) return false;
  size_t i;
  if (path.find(':') == 1 && IsPathSeparator(path[2])) {
    *root = path.substr(0, 2) + "\\";  // "c:/" too: the root's form is the system's
    i = 3;
  } else if (IsPathSeparator(path[0]) && IsPathSeparator(path[1])) {  // the string ends in a '\0'
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
  while (i < path.size()) {
    while (IsPathSeparator(path[i])) ++i;  // the string ends in a '\0', no separator
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
  return HostSpelling(host);
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
  return ListHostFolder(host, folder, entries);
}

}  // namespace qrv3
