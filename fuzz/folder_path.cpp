// What is typed or chosen as a folder reaches the parsing of drives, mapped roots and network
// folders ("c:\dir", "d:", "\\server\share\dir", relative names, "." and ".."). On a mapped
// source of real folders, every folder the folder list opens must be the full form of a folder
// (a root, then names, one "\" between them, no trailing one but a drive's root's), which opens
// again as itself, on the host inside the drive's or share's own folder. The input is a series
// of paths, one a line, each opened from where the one before left the list.
#include <unistd.h>

#include "app/controls.h"
#include "app/folder_source_mapped.h"
#include "fuzz/fuzz.h"

namespace {
namespace fs = std::filesystem;

struct Drives {
  fs::path top;
  qrv3::MappedFolderSource source;
  Drives() {
    std::string name = (fs::temp_directory_path() / "qrv3-fuzz-XXXXXX").string();
    top = mkdtemp(name.data());
    for (const char* folder : {"c/Program Files/Brackwell/Morvanth「Quelline」アーカイヴ", "c/a/b",
                               "c/Dup", "c/dup", "c/.hidden", "e/sub", "share/x"}) {
      fs::create_directories(top / folder);
    }
    source.AddDrive('c', {top / "c", "[System]"});
    source.AddDrive('d', {top / "d", "", false});
    source.AddDrive('e', {top / "e", "", true, "sub"});
    source.AddShare("\\\\server\\share", top / "share");
    source.SetCurrentFolder("c:\\a");
  }
  ~Drives() { fs::remove_all(top); }
};

// A root ("x:\" or "\\server\share"), then names, each after one "\".
bool FullForm(const std::string& f) {
  size_t i;
  if (f.size() >= 3 && f[1] == ':' && f[2] == '\\') {
    i = 2;
    if (f.size() == 3) return true;
  } else if (f.starts_with("\\\\")) {
    const size_t server_end = f.find('\\', 2);
    if (server_end == std::string::npos || server_end == 2) return false;
    i = f.find('\\', server_end + 1);
    if (i == server_end + 1) return false;
    if (i == std::string::npos) return true;
  } else {
    return false;
  }
  for (const std::string& name : qrv3::fuzz::Fields(
           reinterpret_cast<const uint8_t*>(f.data()) + i + 1, f.size() - i - 1, '\\')) {
    if (name.empty() || name == "." || name == ".." ||
        name.find_first_of(std::string_view("/\0", 2)) != std::string::npos) {
      return false;
    }
  }
  return true;
}

// A host path inside one of the mapped folders, with nothing that leads out of it.
bool Inside(const fs::path& host, const fs::path& top) {
  const std::string h = host.string(), t = top.string();
  if (h.find('\0') != std::string::npos || !h.starts_with(t + "/")) return false;
  for (const auto& part : host.lexically_relative(top)) {
    if (part == "..") return false;
  }
  return true;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  static Drives drives;
  qrv3::MappedFolderSource& source = drives.source;
  qrv3::DriveList dr(source);
  qrv3::FolderList di(source);
  for (const std::string& line : qrv3::fuzz::Fields(data, size, '\n')) {
    (void)dr.SetDrive(line);
    if (const fs::path host = source.HostPath(line); !host.empty()) {
      FUZZ_CHECK(Inside(host, drives.top));
    }
    const std::string before = di.Path();
    if (!di.SetPath(line).ok()) {
      FUZZ_CHECK(di.Path() == before);
      continue;
    }
    const std::string& folder = di.Path();
    FUZZ_CHECK(FullForm(folder));
    FUZZ_CHECK(di.rows().at(di.current_row()).path == folder);
    std::string again;
    FUZZ_CHECK(source.OpenFolder(folder, &again).ok() && again == folder);
    FUZZ_CHECK(Inside(source.HostPath(folder), drives.top));
  }
  return 0;
}
