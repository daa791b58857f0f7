// The window in this process, on the system's real controls: layout, focus and lists at 96, 120 and
// 144 dpi, texts, fonts, names, and what it draws, in its own colours and a high-contrast theme's.
#include <windows.h>
#include <oleacc.h>

#include <gtest/gtest.h>

#include <algorithm>
#include <map>
#include <optional>
#include <utility>
#include <vector>

#include "app/folder_source.h"
#include "app/layout.h"
#include "app/win32/fonts_win.h"
#include "app/win32/form1_win.h"
#include "app/win32/hwnd_win.h"
#include "base/utf.h"
#include "engine/texts.h"
#include "tests/test_util.h"
#include "tools/window_driver_win.h"

namespace qrv3::layout {
void PrintTo(const Rect& r, std::ostream* os) {
  *os << r.left << ',' << r.top << ' ' << r.width << 'x' << r.height;
}
}  // namespace qrv3::layout

namespace qrv3::win {
namespace {
using layout::Control;
using layout::Id;
using layout::Kind;

void Pump() {
  MSG msg;
  while (PeekMessageW(&msg, nullptr, 0, 0, PM_REMOVE)) {
    TranslateMessage(&msg);
    DispatchMessageW(&msg);
  }
}

// Where a child window is in its parent's client area.
layout::Rect PlaceOf(HWND child) {
  RECT r;
  GetWindowRect(child, &r);
  MapWindowPoints(nullptr, GetParent(child), reinterpret_cast<POINT*>(&r), 2);
  return {r.left, r.top, r.right - r.left, r.bottom - r.top};
}

class WindowTest : public ::testing::Test {
 protected:
  void SetUp() override {
    // Wine refuses to turn a high-contrast theme on: the window asks the test instead.
    window = Form1Window::Create(GetModuleHandleW(nullptr), *source, *Env::Default(), updater.str(),
                                 [] { return high_contrast; });
    ASSERT_NE(window, nullptr);
    window->Show(SW_SHOWNORMAL);
    Pump();
  }
  // As Windows tells it, suggesting the window's place scaled to `dpi`, at `at` if given.
  void ChangeDpi(int dpi, std::optional<POINT> at = {}) {
    RECT r;
    GetWindowRect(window->hwnd(), &r);
    const POINT p = at.value_or(POINT{r.left, r.top});
    RECT suggested = {p.x, p.y, p.x + MulDiv(r.right - r.left, dpi, window->dpi()),
                      p.y + MulDiv(r.bottom - r.top, dpi, window->dpi())};
    SendMessageW(window->hwnd(), WM_DPICHANGED, MAKEWPARAM(dpi, dpi), reinterpret_cast<LPARAM>(&suggested));
    Pump();
  }
  // Every control where the table puts it, in its font, at the window's DPI.
  void ExpectLayout() {
    const int dpi = window->dpi();
    const WindowDc window_dc(window->hwnd());
    HDC dc = window_dc.get();
    for (const Control& c : layout::kControls) {
      HWND h = window->Child(c.name);
      if (c.kind == Kind::kFrame || c.kind == Kind::kLine) continue;
      SCOPED_TRACE("control " + std::to_string(c.id) + " at " + std::to_string(dpi) + " dpi");
      ASSERT_NE(h, nullptr);
      HFONT font = reinterpret_cast<HFONT>(SendMessageW(h, WM_GETFONT, 0, 0));
      LOGFONTW lf;
      ASSERT_TRUE(GetObjectW(font, sizeof lf, &lf));
      EXPECT_EQ(lf.lfHeight, -layout::FontPixelHeight(c.font, dpi));
      EXPECT_EQ(lf.lfCharSet, SHIFTJIS_CHARSET);
      EXPECT_EQ(lf.lfWeight, std::find_if(std::begin(layout::kFonts), std::end(layout::kFonts),
                                          [&](const auto& f) { return f.id == c.font; })->weight);
      // The face drawn with is the one chosen (or its substitute), not one the mapper preferred
      // for the pitch asked for: Windows's mapper, unlike Wine's, trades a face for a pitch, so no
      // font may ask for a pitch its face lacks (TMPF_FIXED_PITCH set: a variable pitch).
      HGDIOBJ old = SelectObject(dc, font);
      wchar_t face[LF_FACESIZE] = {};
      GetTextFaceW(dc, LF_FACESIZE, face);
      EXPECT_EQ(std::wstring(face), FontFace());
      TEXTMETRICW tm;
      GetTextMetricsW(dc, &tm);
      EXPECT_FALSE((lf.lfPitchAndFamily & 3) == FIXED_PITCH && (tm.tmPitchAndFamily & TMPF_FIXED_PITCH));
      const std::wstring text = GetText(h);
      SIZE s;
      GetTextExtentPoint32W(dc, text.c_str(), static_cast<int>(text.size()), &s);
      SelectObject(dc, old);
      layout::Rect want = layout::ToPixels(c, dpi);  // the drive list: its closed box
      if (c.look & layout::kSizedToText) want = {want.left, want.top, s.cx, s.cy};
      EXPECT_EQ(PlaceOf(h), want);
    }
    RECT client;
    GetClientRect(window->hwnd(), &client);
    EXPECT_EQ(client.right, layout::ToPixels(8940, dpi));
    EXPECT_EQ(client.bottom, layout::ToPixels(8400, dpi));
  }

  static inline bool high_contrast = false;
  testing::TempDir updater;
  std::unique_ptr<FolderSource> source = NewWindowsFolderSource();
  std::unique_ptr<Form1Window> window;
};

// The screen's pixels in a rectangle of the window's client area, row by row.
std::vector<COLORREF> Pixels(HWND hwnd, const layout::Rect& r) {
  POINT origin = {r.left, r.top};
  ClientToScreen(hwnd, &origin);
  return driver::ScreenPixels({origin.x, origin.y, origin.x + r.width, origin.y + r.height});
}

std::vector<std::pair<HWND, LONG>> name_changes;
void CALLBACK OnNameChange(HWINEVENTHOOK, DWORD, HWND hwnd, LONG object, LONG child, DWORD, DWORD) {
  if (child == CHILDID_SELF) name_changes.emplace_back(hwnd, object);
}

// The same window after a change to each DPI.
class WindowAtDpi : public WindowTest, public ::testing::WithParamInterface<int> {
 protected:
  void SetUp() override {
    WindowTest::SetUp();
    ChangeDpi(GetParam());
  }
};
INSTANTIATE_TEST_SUITE_P(Dpi, WindowAtDpi, ::testing::Values(96, 120, 144));

TEST_P(WindowAtDpi, LayoutFocusPlacementFolderListAndAFailedRun) {
  ExpectLayout();
  // The status label's right edge by hand: 120 twips are 8 pixels at 96 dpi and 8685 are 579;
  // 10 and 723.75 at 120; 12 and 868.5 at 144.
  const std::map<int, int> right = {{96, 8 + 579}, {120, 10 + 724}, {144, 12 + 869}};
  const layout::Rect lab1 = PlaceOf(window->Child(Id::Lab1));
  EXPECT_EQ(lab1.left + lab1.width, right.at(GetParam()));

  // Focus starts in the path box; Tab follows the designed order, through the window's own
  // message handling too.
  EXPECT_EQ(GetFocus(), window->Child(Id::te));
  const Id order[] = {Id::te, Id::dr, Id::di, Id::Command1, Id::fi, Id::te};
  for (size_t i = 0; i + 1 < std::size(order); ++i) {
    HWND from = window->Child(order[i]), to = window->Child(order[i + 1]);
    EXPECT_EQ(GetNextDlgTabItem(window->hwnd(), from, FALSE), to) << "after step " << i;
    EXPECT_EQ(GetNextDlgTabItem(window->hwnd(), to, TRUE), from) << "before step " << i + 1;
  }
  MSG tab = {window->Child(Id::te), WM_KEYDOWN, VK_TAB, 0};
  EXPECT_TRUE(window->PreTranslate(&tab));
  EXPECT_EQ(GetFocus(), window->Child(Id::dr));

  // A suggested place that puts the caption above the screen (or the left edge off it) is pulled
  // back onto the work area; one on the work area is left alone.
  MONITORINFO mi = {sizeof mi};
  ASSERT_TRUE(GetMonitorInfoW(MonitorFromWindow(window->hwnd(), MONITOR_DEFAULTTONEAREST), &mi));
  const std::pair<POINT, POINT> places[] = {{{-300, -200}, {mi.rcWork.left, mi.rcWork.top}},
                                            {{100, 50}, {100, 50}}};
  for (const auto& [suggested, want] : places) {
    ChangeDpi(GetParam(), suggested);
    RECT wr;
    GetWindowRect(window->hwnd(), &wr);
    EXPECT_TRUE(wr.left == want.x && wr.top == want.y) << wr.left << "," << wr.top;
  }

  // Enter in the folder list opens the chosen folder.
  HWND di = window->Child(Id::di);
  const int rows = static_cast<int>(SendMessageW(di, LB_GETCOUNT, 0, 0));
  ASSERT_GT(rows, 1);
  const std::string last = window->form().di.rows().back().path;  // a subfolder
  SendMessageW(di, LB_SETCURSEL, rows - 1, 0);
  SetFocus(di);
  MSG enter = {di, WM_KEYDOWN, VK_RETURN, 0};
  EXPECT_TRUE(window->PreTranslate(&enter));
  EXPECT_EQ(window->form().di.Path(), last);
  EXPECT_EQ(GetTextUtf8(window->Child(Id::te)), last + "\\");

  // A failed run: each text it writes into the status label is announced as the label's new
  // name, and the failure's carriage return starts a second line, both inside the label.
  HWINEVENTHOOK hook = SetWinEventHook(EVENT_OBJECT_NAMECHANGE, EVENT_OBJECT_NAMECHANGE, nullptr,
                                       OnNameChange, GetCurrentProcessId(), 0, WINEVENT_OUTOFCONTEXT);
  ASSERT_NE(hook, nullptr);
  name_changes.clear();
  SetWindowTextW(window->Child(Id::te), L"c:\\no such folder\\");
  SendMessageW(window->Child(Id::Command1), BM_CLICK, 0, 0);
  EXPECT_EQ(GetTextUtf8(window->Child(Id::Lab1)), texts::InstallationMessage(0));
  EXPECT_EQ(GetTextUtf8(window->Child(Id::Command1)), "更新開始");
  for (int i = 0; i < 20; ++i) {
    Pump();
    Sleep(10);
  }
  UnhookWinEvent(hook);
  const std::pair<HWND, LONG> status = {window->Child(Id::Lab1), OBJID_CLIENT};
  EXPECT_EQ(std::count(name_changes.begin(), name_changes.end(), status), 2);  // 「更新中」, the outcome
  const std::vector<COLORREF> shot = Pixels(window->hwnd(), lab1);
  int bands = 0, last_green = -2;  // runs of rows holding some green text; the last such row
  for (int y = 0; y < lab1.height; ++y) {
    const auto row = shot.begin() + y * lab1.width;
    if (std::find(row, row + lab1.width, RGB(0, 255, 0)) == row + lab1.width) continue;
    bands += y != last_green + 1 ? 1 : 0;
    last_green = y;
  }
  EXPECT_EQ(bands, 2);
  EXPECT_LT(last_green, lab1.height - 1);
}

// The screen in the design's colours, then in a high-contrast theme's switched on while open: the
// status label green on black or in the theme's window colours; the title block's frame hiding
// none of its texts; texts, rule and folders in the theme's ink. A transparent label repainting
// alone (keyboard cues shown, its text changed) first restores what lies under it. Pictures too.
TEST_F(WindowTest, WhatTheScreenShowsInTheDesignsColoursAndAHighContrastTheme) {
  ChangeDpi(96);
  // A theme unlike the design and the system's defaults, so that a pixel tells where it came from.
  static constexpr int kThemed[] = {COLOR_WINDOW, COLOR_WINDOWTEXT, COLOR_BTNFACE, COLOR_BTNTEXT};
  const COLORREF theme[] = {RGB(0, 0, 96), RGB(255, 255, 0), RGB(64, 0, 64), RGB(0, 255, 255)};
  struct Restore {
    COLORREF colours[4] = {GetSysColor(kThemed[0]), GetSysColor(kThemed[1]),
                           GetSysColor(kThemed[2]), GetSysColor(kThemed[3])};
    ~Restore() {
      high_contrast = false;
      SetSysColors(4, kThemed, colours);
    }
  } restore;
  RedrawWindow(window->hwnd(), nullptr, nullptr, RDW_INVALIDATE | RDW_ERASE | RDW_ALLCHILDREN | RDW_UPDATENOW);
  for (const bool hc : {false, true}) {
    SCOPED_TRACE(hc ? "high contrast" : "design");
    if (hc) {
      high_contrast = true;
      ASSERT_TRUE(SetSysColors(4, kThemed, theme));  // the window hears of it as of a new theme
    }
    Pump();
    Sleep(200);
    RECT client;
    GetClientRect(window->hwnd(), &client);
    const std::vector<COLORREF> shot = Pixels(window->hwnd(), {0, 0, client.right, client.bottom});
    auto pixel = [&](int x, int y) { return shot[static_cast<size_t>(y * client.right + x)]; };
    auto count = [&](const layout::Rect& r, auto pred) {
      int n = 0;
      for (int y = r.top + 2; y < r.top + r.height - 2; ++y) {
        for (int x = r.left + 2; x < r.left + r.width - 2; ++x) n += pred(pixel(x, y)) ? 1 : 0;
      }
      return n;
    };
    const COLORREF back = hc ? theme[0] : RGB(0, 0, 0), text = hc ? theme[1] : RGB(0, 255, 0);
    const layout::Rect lab1 = layout::ToPixels(layout::Of(Id::Lab1), 96);
    const int area = (lab1.width - 4) * (lab1.height - 4);
    EXPECT_GT(count(lab1, [&](COLORREF c) { return c == back; }), area / 2);
    EXPECT_GT(count(lab1, [&](COLORREF c) { return c == text; }), 50);
    EXPECT_EQ(pixel(2, 2), hc ? theme[2] : GetSysColor(COLOR_BTNFACE));

    const layout::Rect frame = layout::ToPixels(layout::Of(Id::Label6), 96);
    EXPECT_EQ(pixel(frame.left, frame.top + frame.height / 2), GetSysColor(COLOR_BTNSHADOW));
    EXPECT_EQ(pixel(frame.left + frame.width - 1, frame.top + frame.height / 2),
              GetSysColor(COLOR_BTNHIGHLIGHT));
    const COLORREF ink = hc ? theme[3] : GetSysColor(COLOR_BTNTEXT);
    for (const Id id : {Id::Label9, Id::Label5, Id::Label7, Id::Label8, Id::Line1}) {
      layout::Rect r = layout::ToPixels(layout::Of(id), 96);
      if (r.height == 0) r = {r.left, r.top - 2, r.width, 5};
      EXPECT_GT(count(r, [&](COLORREF c) { return c == ink; }), 20) << "control " << layout::Of(id).id;
    }
    // The folders' own yellows only in the design's colours.
    const int folder = count(layout::ToPixels(layout::Of(Id::di), 96), [](COLORREF c) {
      return c == RGB(128, 96, 0) || c == RGB(224, 176, 48) || c == RGB(255, 216, 96);
    });
    EXPECT_EQ(folder > 0, !hc) << folder;
    const layout::Rect label7 = layout::ToPixels(layout::Of(Id::Label7), 96);
    const std::vector<COLORREF> before = Pixels(window->hwnd(), label7);
    HWND h7 = window->Child(Id::Label7);
    for (int i = 0; i < 3; ++i) {
      SendMessageW(h7, WM_UPDATEUISTATE, MAKEWPARAM(UIS_CLEAR, UISF_HIDEACCEL | UISF_HIDEFOCUS), 0);
      RedrawWindow(h7, nullptr, nullptr, RDW_INVALIDATE | RDW_UPDATENOW);
      Pump();
    }
    EXPECT_TRUE(Pixels(window->hwnd(), label7) == before);
    EXPECT_TRUE(
        driver::CaptureWindow(window->hwnd(), hc ? "window-high-contrast.bmp" : "window.bmp"));
  }
  // A shorter text, in the theme: where the old one was, only the window's background.
  HWND h5 = window->Child(Id::Label5);
  SetWindowTextW(h5, L"");
  RedrawWindow(h5, nullptr, nullptr, RDW_INVALIDATE | RDW_UPDATENOW);
  Pump();
  EXPECT_TRUE(std::ranges::all_of(Pixels(window->hwnd(), layout::ToPixels(layout::Of(Id::Label5), 96)),
                                  [&](COLORREF c) { return c == theme[2]; }));
}

// The name Windows gives a control for screen readers when it has none of its own: a button's
// caption; else the text of the static right before it in z-order, unless a focusable one is first.
std::string NameByZOrder(HWND control) {
  wchar_t cls[32] = {};
  GetClassNameW(control, cls, 32);
  if (_wcsicmp(cls, L"Button") == 0) return GetTextUtf8(control);
  for (HWND h = GetWindow(control, GW_HWNDPREV); h; h = GetWindow(h, GW_HWNDPREV)) {
    GetClassNameW(h, cls, 32);
    if (_wcsicmp(cls, L"Static") == 0) return GetTextUtf8(h);
    if (GetWindowLongW(h, GWL_STYLE) & WS_TABSTOP) return "";
  }
  return "";
}

// The name a screen reader gets through the accessibility interface Windows gives every window.
// Wine 8 names only edit boxes after their label (lists and combo boxes not at all).
std::string AccessibleName(HWND control) {
  IAccessible* acc = nullptr;
  if (FAILED(AccessibleObjectFromWindow(control, static_cast<DWORD>(OBJID_CLIENT),
                                        __uuidof(IAccessible), reinterpret_cast<void**>(&acc)))) {
    return "";
  }
  VARIANT self = {};
  self.vt = VT_I4;
  self.lVal = CHILDID_SELF;
  BSTR name = nullptr;
  std::string text = acc->get_accName(self, &name) == S_OK && name ? Narrow(name) : "";
  SysFreeString(name);
  acc->Release();
  return text;
}

// The texts themselves are worked out, and checked, in the portable layout.
TEST_F(WindowTest, TheTitleAndTheNameOfEveryControlThatTakesTheFocus) {
  EXPECT_EQ(GetTextUtf8(window->hwnd()), "『Morvanth「Quelline」アーカイヴ\u3000Vol.3』専用\u3000更新ソフト");
  EXPECT_EQ(GetTextUtf8(window->Child(Id::Label5)), "『Morvanth「Quelline」アーカイヴ Vol.3』");
  const std::pair<Id, const char*> names[] = {
      {Id::te, "１：『Morvanth「Quelline」アーカイヴ Vol.3』をインストールした場所"
               "（「Qrv_3.exe」がある場所）を選択して下さい。"},
      {Id::dr, "ドライブ"},
      {Id::di, "※下部に実行ファイルである「Qrv_3.exe」が表示されるフォルダを選択して下さい。"},
      {Id::Command1, "更新開始"},
      {Id::fi, "実行ファイル"},
  };
  for (const auto& [control, name] : names) {
    EXPECT_EQ(NameByZOrder(window->Child(control)), name) << "control " << layout::Of(control).id;
  }
  EXPECT_EQ(AccessibleName(window->Child(Id::te)), names[0].second);
  // The names shown nowhere are hidden: no room on the window, no item of their own.
  for (HWND h = GetWindow(window->hwnd(), GW_CHILD); h; h = GetWindow(h, GW_HWNDNEXT)) {
    const bool in_table =
        std::ranges::any_of(layout::kControls, [&](const Control& c) { return window->Child(c.name) == h; });
    EXPECT_TRUE(in_table || !(GetWindowLongW(h, GWL_STYLE) & WS_VISIBLE)) << GetTextUtf8(h);
  }
}

}  // namespace
}  // namespace qrv3::win
