// The host's side of MappedFolderSource on POSIX.
#include <dirent.h>
#include <sys/stat.h>

#include <cerrno>
#include <memory>
#include <string_view>

#include "app/folder_source_mapped.h"
#include "base/util_posix.h"

namespace qrv3 {

std::filesystem::path HostSpelling(const std::filesystem::path& host) {
  return ResolvePosixPath(host.native());
}

Status ListHostFolder(const std::filesystem::path& host, const std::string& folder,
                      std::vector<FolderEntry>* entries) {
  // readdir gives each entry's kind without a stat on the file systems that matter.
  const std::unique_ptr<DIR, int (*)(DIR*)> dir(opendir(host.c_str()), closedir);
  if (dir == nullptr) return StatusFromErrno(errno, "list " + folder);
  entries->clear();
  while (const dirent* d = readdir(dir.get())) {
    const std::string_view name = d->d_name;
    if (name == "." || name == "..") continue;
    bool is_folder = d->d_type == DT_DIR;
    if (d->d_type != DT_DIR && d->d_type != DT_REG) {  // unknown, or a link to follow
      struct stat st;
      is_folder = fstatat(dirfd(dir.get()), d->d_name, &st, 0) == 0 && S_ISDIR(st.st_mode);
    }
    entries->push_back({std::string(name), is_folder, name[0] == '.'});
  }
  return Status::Ok();
}

}  // namespace qrv3
