// What the window draws itself: the title block's frame and rule, the owner-drawn labels and
// the folder list's rows, in the design's colours or, in high contrast, the theme's.
#pragma once

#include <windows.h>

#include "app/controls.h"
#include "app/layout.h"
#include "app/win32/fonts_win.h"

namespace qrv3::win {

// What painting needs to know of the window now.
struct PaintStyle {
  int dpi;
  bool high_contrast;  // then every colour painted is one of the theme's
  const FontSet& fonts;
};

// The window's own strokes on its client area: the frame and the rule of the title block.
void PaintWindow(HDC dc, const PaintStyle& style);
// What lies under a transparent child of `window`: its background, the frame and the rule.
void PaintBehind(HWND window, HWND child, HDC dc, const PaintStyle& style);
// An owner-drawn label `c` (WM_DRAWITEM): its text wrapped into its width.
void DrawLabel(const DRAWITEMSTRUCT& d, const layout::Control& c, const PaintStyle& style);
// A row of the folder list (WM_DRAWITEM): a folder, open or shut, indented by depth, and its name.
void DrawFolderRow(const DRAWITEMSTRUCT& d, const FolderRow& row, const PaintStyle& style);

}  // namespace qrv3::win
