#include "app/win32/paint_win.h"

#include <algorithm>
#include <string>

#include "app/text_wrap.h"
#include "app/win32/hwnd_win.h"
#include "base/utf.h"

namespace qrv3::win {
namespace {

// A folder drawn with the program's own strokes (the stock shell icons are not everywhere): its
// outline, its back and its front.
struct FolderInk {
  COLORREF line, back, front;
};
constexpr FolderInk kFolderInk = {RGB(128, 96, 0), RGB(224, 176, 48), RGB(255, 216, 96)};

void DrawFolderIcon(HDC dc, RECT r, bool open, const FolderInk& ink) {
  const int w = r.right - r.left, h = r.bottom - r.top;
  auto X = [&](int v) { return r.left + v * w / 16; };
  auto Y = [&](int v) { return r.top + v * h / 16; };
  Gdi<HPEN> pen(CreatePen(PS_SOLID, 1, ink.line));
  Gdi<HBRUSH> back(CreateSolidBrush(ink.back));
  Gdi<HBRUSH> front(CreateSolidBrush(ink.front));
  Selected p(dc, pen.get());
  {
    Selected b(dc, back.get());
    const POINT body[] = {{X(1), Y(3)}, {X(6), Y(3)}, {X(7), Y(5)}, {X(15), Y(5)},
                          {X(15), Y(14)}, {X(1), Y(14)}};
    Polygon(dc, body, static_cast<int>(std::size(body)));
  }
  Selected b(dc, front.get());
  if (open) {
    const POINT flap[] = {{X(3), Y(8)}, {X(16), Y(8)}, {X(14), Y(14)}, {X(1), Y(14)}};
    Polygon(dc, flap, static_cast<int>(std::size(flap)));
  } else {
    Rectangle(dc, X(1), Y(7), X(15) + 1, Y(14) + 1);
  }
}

}  // namespace

void PaintWindow(HDC dc, const PaintStyle& style) {
  // The frame lies above the labels it holds, which are transparent, so it is drawn here and
  // hides none of them.
  const int dpi = style.dpi;
  const layout::Rect f = layout::ToPixels(layout::Of(layout::Id::Label6), dpi);
  RECT frame = {f.left, f.top, f.left + f.width, f.top + f.height};
  DrawEdge(dc, &frame, EDGE_SUNKEN, BF_RECT);

  const layout::Control& line = layout::Of(layout::Id::Line1);
  const int thick = MulDiv(layout::kLineThickness, dpi, 96);
  const int x0 = layout::ToPixels(line.left, dpi), x1 = layout::ToPixels(line.left + line.width, dpi);
  const int y = layout::ToPixels(line.top, dpi);
  RECT bar = {x0, y - thick / 2, x1, y - thick / 2 + thick};
  // In high contrast, the ink the theme puts on the face it lies on.
  FillRect(dc, &bar, GetSysColorBrush(style.high_contrast ? COLOR_BTNTEXT : COLOR_WINDOWTEXT));
}

void PaintBehind(HWND window, HWND child, HDC dc, const PaintStyle& style) {
  RECT r;
  GetWindowRect(child, &r);
  MapWindowPoints(nullptr, window, reinterpret_cast<POINT*>(&r), 2);
  POINT old;
  OffsetViewportOrgEx(dc, -r.left, -r.top, &old);
  FillRect(dc, &r, GetSysColorBrush(COLOR_BTNFACE));
  PaintWindow(dc, style);
  SetViewportOrgEx(dc, old.x, old.y, nullptr);
}

void DrawLabel(const DRAWITEMSTRUCT& d, const layout::Control& c, const PaintStyle& style) {
  HDC dc = d.hDC;
  RECT r = d.rcItem;
  const bool hc = style.high_contrast;
  if (c.kind == layout::Kind::kStatusLabel) {
    // Green on black, unless the user needs the theme's own colours.
    FillRect(dc, &r, hc ? GetSysColorBrush(COLOR_WINDOW) : static_cast<HBRUSH>(GetStockObject(BLACK_BRUSH)));
    SetTextColor(dc, hc ? GetSysColor(COLOR_WINDOWTEXT) : RGB(0, 255, 0));
  } else {
    // A label repaints by itself (a new text, the keyboard cues shown after Alt): without what
    // lies under it restored first, the old text would stay, and anti-aliased text drawn over
    // itself turns bold.
    if (c.look & layout::kTransparent) PaintBehind(GetParent(d.hwndItem), d.hwndItem, dc, style);
    else FillRect(dc, &r, GetSysColorBrush(COLOR_BTNFACE));
    SetTextColor(dc, GetSysColor(COLOR_BTNTEXT));
  }
  SetBkMode(dc, TRANSPARENT);
  Selected font(dc, style.fonts.Get(c.font));
  const int width = r.right - r.left;
  const std::wstring text = GetText(d.hwndItem);
  const std::u16string text16(text.begin(), text.end());
  const auto lines = WrapText(text16, [&](std::u16string_view s) -> size_t {
    int fit = 0;
    SIZE size;
    GetTextExtentExPointW(dc, reinterpret_cast<LPCWSTR>(s.data()), static_cast<int>(s.size()),
                          width, &fit, nullptr, &size);
    return static_cast<size_t>(fit);
  });
  TEXTMETRICW tm;
  GetTextMetricsW(dc, &tm);
  int y = r.top;
  for (const std::u16string& line : lines) {
    const auto* w = reinterpret_cast<LPCWSTR>(line.data());
    const int n = static_cast<int>(line.size());
    SIZE size = {0, 0};
    GetTextExtentPoint32W(dc, w, n, &size);
    const int x = (c.look & layout::kCentred) ? r.left + (width - size.cx) / 2 : r.left;
    ExtTextOutW(dc, x, y, ETO_CLIPPED, &r, w, static_cast<UINT>(n), nullptr);
    y += tm.tmHeight;
  }
}

void DrawFolderRow(const DRAWITEMSTRUCT& d, const FolderRow& row, const PaintStyle& style) {
  HDC dc = d.hDC;
  const bool selected = (d.itemState & ODS_SELECTED) != 0;
  const int ground = selected ? COLOR_HIGHLIGHT : COLOR_WINDOW;
  const int ink = selected ? COLOR_HIGHLIGHTTEXT : COLOR_WINDOWTEXT;
  FillRect(dc, &d.rcItem, GetSysColorBrush(ground));
  const int h = d.rcItem.bottom - d.rcItem.top;
  const int indent = MulDiv(10, style.dpi, 96);
  const int icon = std::max(8, h - 2);
  RECT ir = {d.rcItem.left + 2 + row.depth * indent, d.rcItem.top + (h - icon) / 2, 0, 0};
  ir.right = ir.left + icon;
  ir.bottom = ir.top + icon;
  // In high contrast, a folder outlined in the row's ink on the row's own ground.
  const COLORREF on = GetSysColor(ground);
  DrawFolderIcon(dc, ir, row.open,
                 style.high_contrast ? FolderInk{GetSysColor(ink), on, on} : kFolderInk);
  SetBkMode(dc, TRANSPARENT);
  SetTextColor(dc, GetSysColor(ink));
  Selected font(dc, style.fonts.Get(layout::Font::kNormal));
  const std::wstring text = Widen(row.text);
  RECT tr = d.rcItem;
  tr.left = ir.right + MulDiv(4, style.dpi, 96);
  DrawTextW(dc, text.c_str(), static_cast<int>(text.size()), &tr,
            DT_SINGLELINE | DT_VCENTER | DT_NOPREFIX | DT_END_ELLIPSIS);
  if (d.itemState & ODS_FOCUS) DrawFocusRect(dc, &d.rcItem);
}

}  // namespace qrv3::win
