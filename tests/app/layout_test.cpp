// Where the window is placed on a monitor's work area.
#include "app/layout.h"

#include <gtest/gtest.h>

namespace qrv3::layout {
namespace {

TEST(Placement, CentredWhenTheWindowFits) {
  // 1920 x 1040 beside a 1366-pixel monitor: (1920 - 600) / 2 = 660, (1040 - 500) / 2 = 270.
  EXPECT_EQ(Centred(600, 500, {1366, 0, 1920, 1040}), (Rect{1366 + 660, 270, 600, 500}));
  // A work area that does not start at the top (a taskbar above it).
  EXPECT_EQ(Centred(600, 500, {0, 40, 1366, 728}), (Rect{383, 40 + 114, 600, 500}));
}

TEST(Placement, ATallWindowKeepsItsCaptionOnTheScreen) {
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

}  // namespace
}  // namespace qrv3::layout
