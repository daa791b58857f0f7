// Where the window is placed on a monitor's work area.
#include "app/layout.h"

#include "app/text_wrap.h"

#include <gtest/gtest.h>

namespace qrv3::layout {
namespace {

// Centred on the work area when the window fits; else its caption kept on the screen.
TEST(Placement, CentredUnlessThatPutsTheCaptionOffTheScreen) {
  // 1920 x 1040 beside a 1366-pixel monitor: (1920 - 600) / 2 = 660, (1040 - 500) / 2 = 270.
  EXPECT_EQ(Centred(600, 500, {1366, 0, 1920, 1040}), (Rect{1366 + 660, 270, 600, 500}));
  EXPECT_EQ(Centred(600, 500, {0, 40, 1366, 728}), (Rect{383, 40 + 114, 600, 500}));  // a taskbar above
  // The window at 120 dpi on a 1366 x 768 laptop whose taskbar leaves 720 pixels: centring
  // alone would put its top 4 or 5 pixels above the screen.
  EXPECT_EQ(Centred(751, 729, {0, 0, 1366, 720}), (Rect{307, 0, 751, 729}));
  // Wider and taller than the area, on a monitor left of the primary one.
  EXPECT_EQ(Centred(1100, 900, {-1024, 0, 1024, 728}), (Rect{-1024, 0, 1100, 900}));
}

TEST(Placement, KeptInsideMovesTheWindowOnlyAsFarAsNeeded) {
  const Rect area = {0, 0, 1366, 720};
  EXPECT_EQ(KeptInside({200, 100, 600, 500}, area), (Rect{200, 100, 600, 500}));
  EXPECT_EQ(KeptInside({-100, 50, 600, 500}, area), (Rect{0, 50, 600, 500}));
  EXPECT_EQ(KeptInside({1000, 500, 600, 500}, area), (Rect{766, 220, 600, 500}));
  EXPECT_EQ(KeptInside({300, -30, 600, 500}, area), (Rect{300, 0, 600, 500}));
  // Taller than the area, wherever it was: the caption goes to the area's top.
  EXPECT_EQ(KeptInside({300, 200, 600, 900}, area), (Rect{300, 0, 600, 900}));
  EXPECT_EQ(KeptInside({300, -200, 600, 900}, area), (Rect{300, 0, 600, 900}));
}

// What the window starts with, and the names screen readers get, as the design writes them.
TEST(Texts, StepsAreNumberedAndNamesJoinTheirLabels) {
  EXPECT_EQ(InitialText(Of(Id::Lab1)), "下記の１～２に従って、ファイルを更新して下さい。");
  EXPECT_EQ(InitialText(Of(Id::Label9)), "１：『Morvanth「Quelline」アーカイヴ Vol.3』をインストールした場所");
  EXPECT_EQ(InitialText(Of(Id::Label4)), "（「Qrv_3.exe」がある場所）を選択して下さい。");
  EXPECT_EQ(InitialText(Of(Id::Label2)), "２：「更新開始」ボタンを押して下さい。");
  EXPECT_EQ(SpokenText(kSpokenNames[0]), InitialText(Of(Id::Label9)) + InitialText(Of(Id::Label4)));
  EXPECT_EQ(SpokenText(kSpokenNames[1]), "ドライブ");
}

TEST(Fonts, PointSizesInPixels) {
  EXPECT_EQ(FontPixelHeight(Font::kStatus, 120), 20);  // 12 pt
  EXPECT_EQ(FontPixelHeight(Font::kVersion, 96), 13);  // 9.75 pt
}

// Five UTF-16 units to a line, or a line too narrow for an astral character: a line breaks after its last space that fits, else after
// the last character that fits, never between the two halves of a surrogate pair.
TEST(WrapText, BreaksAtLineEndsSpacesOrCharactersButNeverInsideAPair) {
  const auto five = [](std::u16string_view s) { return std::min<size_t>(s.size(), 5); };
  const auto narrow = [](std::u16string_view s) { return s[0] >= 0xD800 && s[0] < 0xDC00 ? 0 : s.size(); };
  const struct {
    std::u16string text;
    bool narrow;
    std::vector<std::u16string> lines;
  } cases[] = {
      {u"ab\rcd\r\nef\ng", false, {u"ab", u"cd", u"ef", u"g"}},
      {u"abc defgh ij", false, {u"abc", u"defgh", u"ij"}},
      {u" abcdefgh", false, {u" abcd", u"efgh"}},  // a leading space is no place for a break
      {u"abcdefgh", false, {u"abcde", u"fgh"}},
      {u"abcd\U00010000x", false, {u"abcd", u"\U00010000x"}},
      {u"abcd\U000103FFx", false, {u"abcd", u"\U000103FFx"}},
      {u"\U00010000a", true, {u"\U00010000", u"a"}},
  };
  for (const auto& c : cases) {
    EXPECT_EQ(WrapText(c.text, c.narrow ? std::function<size_t(std::u16string_view)>(narrow) : five),
              c.lines);
  }
  // A text that ends inside a pair is never read past its end.
  EXPECT_EQ(WrapText(std::u16string_view(u"\xD800\xDC00", 1), [](auto) { return size_t{0}; })[0], u"\xD800");
}

}  // namespace
}  // namespace qrv3::layout
