// The std::filesystem side of the conversion, in a file of its own: std::filesystem::path brings
// the C++ locale and stream machinery with it (about 600 KiB in a static Windows exe), and only
// the programs that call these two functions should carry it.
#include "engine/utf.h"

namespace qrv3 {

std::filesystem::path FsPath(std::string_view utf8) {
#ifdef _WIN32
  std::u16string u = Utf8ToUtf16(utf8);
  return std::filesystem::path(std::wstring(u.begin(), u.end()));
#else
  return std::filesystem::path(std::string(utf8));
#endif
}

std::string Utf8Path(const std::filesystem::path& path) {
#ifdef _WIN32
  const std::wstring& w = path.native();
  return Utf16ToUtf8(std::u16string_view(reinterpret_cast<const char16_t*>(w.data()), w.size()));
#else
  return path.native();
#endif
}

}  // namespace qrv3
