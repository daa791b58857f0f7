#include "base/utf.h"

#include <gtest/gtest.h>

namespace qrv3 {
namespace {

TEST(Utf, RoundTripsJapaneseAstralAndLoneSurrogates) {
  const std::u16string samples[] = {
      u"c:\\Program Files\\Brackwell\\Morvanth「Quelline」アーカイヴ\\",
      u"\u3000\u3000Error=15",
      u"𠮷野家",             // a pair of surrogates
      {u'a', char16_t(0xD800), u'b'},  // a lone high surrogate, as Windows allows in names
      {char16_t(0xDC00)},
  };
  for (const std::u16string& s : samples) EXPECT_EQ(Utf8ToUtf16(Utf16ToUtf8(s)), s);
  EXPECT_EQ(Utf16ToUtf8(std::u16string_view(u"\xD800\xDC00", 1)), "\xED\xA0\x80");  // not read past the end
  // Both ways, at the edges of each length and of the surrogates' ranges.
  const std::pair<std::u16string, std::string> pairs[] = {
      {u"アーカイヴ", "アーカイヴ"}, {u"\uFFFF", "\xEF\xBF\xBF"}, {u"\U00010000", "\xF0\x90\x80\x80"},
      {u"\U000103FF", "\xF0\x90\x8F\xBF"}, {u"\U0010FFFF", "\xF4\x8F\xBF\xBF"},
      {u"𠮷", "\xF0\xA0\xAE\xB7"}, {u"\x7F\x80", "\x7F\xC2\x80"}};
  for (const auto& [utf16, utf8] : pairs) {
    EXPECT_EQ(Utf16ToUtf8(utf16), utf8);
    EXPECT_EQ(Utf8ToUtf16(utf8), utf16);
  }
}

TEST(Utf, MalformedUtf8BecomesReplacementCharacters) {
  EXPECT_EQ(Utf8ToUtf16("a\xFF" "b"), u"a\uFFFDb");
  EXPECT_EQ(Utf8ToUtf16("\xE3\x81"), u"\uFFFD\uFFFD");    // cut short
  EXPECT_EQ(Utf8ToUtf16(std::string_view("\xE3\x81\x82", 2)), u"\uFFFD\uFFFD");  // nothing read past the end
  EXPECT_EQ(Utf8ToUtf16("\xE3" "ab"), u"\uFFFDab");         // cut short by another character
  EXPECT_EQ(Utf8ToUtf16("\xC0\xAF"), u"\uFFFD\uFFFD");    // overlong "/"
  EXPECT_EQ(Utf8ToUtf16("\xF4\x90\x80\x80"), std::u16string(4, u'\uFFFD'));  // past U+10FFFF
}

}  // namespace
}  // namespace qrv3
