// The window's fonts at one DPI: "ＭＳ ゴシック" where the system has it, otherwise the first
// Japanese substitute it has, always with the Shift-JIS character set so that the Japanese
// texts draw on any system locale.
#pragma once

#include <windows.h>

#include <string>

#include "app/layout.h"
#include "app/win32/hwnd_win.h"

namespace qrv3::win {

// The face used for every font of the window, chosen once per process.
const std::wstring& FontFace();

class FontSet {
 public:
  void Make(int dpi);
  HFONT Get(layout::Font font) const { return fonts_[static_cast<int>(font)].get(); }

 private:
  Gdi<HFONT> fonts_[std::size(layout::kFonts)];
};

}  // namespace qrv3::win
