// The std::filesystem side of the conversion on Windows, in a file of its own:
// std::filesystem::path brings the C++ locale and stream machinery with it (about 600 KiB in a
// static Windows exe), and only the programs that call these two functions should carry it.
#include "base/utf.h"
#include "base/utf_fs.h"

namespace qrv3 {

std::filesystem::path FsPath(std::string_view utf8) { return std::filesystem::path(Widen(utf8)); }

std::string Utf8Path(const std::filesystem::path& path) { return Narrow(path.native()); }

}  // namespace qrv3
