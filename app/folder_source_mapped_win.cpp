// The host's side of MappedFolderSource on Windows, whose file system finds names without regard
// to letter case itself.
#include <system_error>

#include "app/folder_source_mapped.h"
#include "base/utf.h"
#include "base/utf_fs.h"

namespace qrv3 {
namespace fs = std::filesystem;

fs::path HostSpelling(const fs::path& host) { return host; }

Status ListHostFolder(const fs::path& host, const std::string& folder,
                      std::vector<FolderEntry>* entries) {
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
}

}  // namespace qrv3
