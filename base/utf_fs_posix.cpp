// The std::filesystem side of the conversion on POSIX, where a path's bytes are its UTF-8.
#include "base/utf.h"
#include "base/utf_fs.h"

namespace qrv3 {

std::filesystem::path FsPath(std::string_view utf8) { return std::filesystem::path(std::string(utf8)); }

std::string Utf8Path(const std::filesystem::path& path) { return path.native(); }

}  // namespace qrv3
