// The one conversion point between the UTF-8 the portable code speaks and the UTF-16 of the
// Win32 API. Unpaired surrogates, which Windows allows in file names, survive a round trip:
// they are carried in UTF-8 as three-byte sequences (WTF-8), so no folder becomes unreachable.
// Malformed UTF-8 turns into U+FFFD.
#pragma once

#include <string>
#include <string_view>

namespace qrv3 {

std::u16string Utf8ToUtf16(std::string_view utf8);
std::string Utf16ToUtf8(std::u16string_view utf16);

#ifdef _WIN32
static_assert(sizeof(wchar_t) == sizeof(char16_t));
inline std::wstring Widen(std::string_view utf8) {
  std::u16string u = Utf8ToUtf16(utf8);
  return std::wstring(u.begin(), u.end());
}
inline std::string Narrow(std::wstring_view wide) {
  return Utf16ToUtf8(
      std::u16string_view(reinterpret_cast<const char16_t*>(wide.data()), wide.size()));
}
#endif

}  // namespace qrv3
