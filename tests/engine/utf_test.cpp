#include "engine/utf.h"

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
  EXPECT_EQ(Utf16ToUtf8(u"アーカイヴ"), "アーカイヴ");
  EXPECT_EQ(Utf16ToUtf8(u"𠮷"), "\xF0\xA0\xAE\xB7");
}

TEST(Utf, MalformedUtf8BecomesReplacementCharacters) {
  EXPECT_EQ(Utf8ToUtf16("a\xFF" "b"), u"a\uFFFDb");
  EXPECT_EQ(Utf8ToUtf16("\xE3\x81"), u"\uFFFD\uFFFD");    // cut short
  EXPECT_EQ(Utf8ToUtf16("\xC0\xAF"), u"\uFFFD\uFFFD");    // overlong "/"
  EXPECT_EQ(Utf8ToUtf16("\xF4\x90\x80\x80"), std::u16string(4, u'\uFFFD'));  // past U+10FFFF
}

}  // namespace
}  // namespace qrv3
