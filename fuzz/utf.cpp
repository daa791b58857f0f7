// Every name from a folder passes the one conversion between UTF-8 and UTF-16. Well-formed UTF-8
// survives the round trip through UTF-16, the paths of std::filesystem too; any UTF-16, lone
// surrogates included (Windows allows them in names), survives the way back through UTF-8; and
// malformed UTF-8 gives no more UTF-16 units than it has bytes.
#include "base/utf.h"
#include "base/utf_fs.h"
#include "fuzz/fuzz.h"

namespace {

// The well-formed byte sequences as the Unicode standard tabulates them (its table 3-7): a first
// byte, and the range each byte after it must be in.
struct Row {
  uint8_t first_lo, first_hi;
  int more;
  uint8_t second_lo, second_hi;  // the rest are 80..BF
};
constexpr Row kWellFormed[] = {
    {0x00, 0x7F, 0, 0, 0},       {0xC2, 0xDF, 1, 0x80, 0xBF}, {0xE0, 0xE0, 2, 0xA0, 0xBF},
    {0xE1, 0xEC, 2, 0x80, 0xBF}, {0xED, 0xED, 2, 0x80, 0x9F}, {0xEE, 0xEF, 2, 0x80, 0xBF},
    {0xF0, 0xF0, 3, 0x90, 0xBF}, {0xF1, 0xF3, 3, 0x80, 0xBF}, {0xF4, 0xF4, 3, 0x80, 0x8F},
};

bool WellFormed(std::string_view s) {
  for (size_t i = 0; i < s.size();) {
    const auto at = [&](size_t k) { return static_cast<uint8_t>(s[i + k]); };
    const Row* row = nullptr;
    for (const Row& r : kWellFormed) {
      if (at(0) >= r.first_lo && at(0) <= r.first_hi) row = &r;
    }
    if (row == nullptr || i + row->more >= s.size()) return false;
    if (row->more > 0 && (at(1) < row->second_lo || at(1) > row->second_hi)) return false;
    for (int k = 2; k <= row->more; ++k) {
      if (at(k) < 0x80 || at(k) > 0xBF) return false;
    }
    i += row->more + 1;
  }
  return true;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  const std::string utf8 = qrv3::fuzz::Text(data, size);
  const std::u16string utf16 = qrv3::Utf8ToUtf16(utf8);
  FUZZ_CHECK(utf16.size() <= utf8.size());
  if (WellFormed(utf8)) {
    FUZZ_CHECK(qrv3::Utf16ToUtf8(utf16) == utf8);
    FUZZ_CHECK(qrv3::Utf8Path(qrv3::FsPath(utf8)) == utf8);
  }
  // The same bytes read as UTF-16 units, as a Windows name may hold them.
  std::u16string units(size / 2, u'\0');
  for (size_t i = 0; i < units.size(); ++i) {
    units[i] = static_cast<char16_t>(data[2 * i] | data[2 * i + 1] << 8);
  }
  FUZZ_CHECK(qrv3::Utf8ToUtf16(qrv3::Utf16ToUtf8(units)) == units);
  return 0;
}
