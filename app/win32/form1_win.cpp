#include "app/win32/form1_win.h"

#include <commctrl.h>
#include <windowsx.h>

#include <algorithm>
#include <vector>

#include "app/text_wrap.h"
#include "app/win32/hwnd_win.h"
#include "engine/process_win.h"
#include "engine/utf.h"

namespace qrv3::win {
namespace {

using layout::Control;
using layout::Kind;

const wchar_t* ClassOf(Kind kind) {
  switch (kind) {
    case Kind::kStatusLabel:
    case Kind::kLabel: return L"STATIC";
    case Kind::kPathBox: return L"EDIT";
    case Kind::kDriveList: return L"COMBOBOX";
    case Kind::kFolderList:
    case Kind::kFileList: return L"LISTBOX";
    case Kind::kButton: return L"BUTTON";
    case Kind::kFrame:
    case Kind::kLine: return nullptr;  // drawn by the window itself
  }
  return nullptr;
}

DWORD StyleOf(const Control& c) {
  DWORD style = WS_CHILD | WS_VISIBLE | ((c.look & layout::kTabStop) ? WS_TABSTOP : 0);
  switch (c.kind) {
    case Kind::kStatusLabel:
    case Kind::kLabel: return style | SS_OWNERDRAW;
    case Kind::kPathBox: return style | ES_AUTOHSCROLL;
    case Kind::kDriveList: return style | CBS_DROPDOWNLIST | CBS_HASSTRINGS | WS_VSCROLL;
    case Kind::kFolderList:
      return style | LBS_OWNERDRAWFIXED | LBS_HASSTRINGS | LBS_NOTIFY | LBS_NOINTEGRALHEIGHT |
             WS_VSCROLL;
    case Kind::kFileList: return style | LBS_NOTIFY | LBS_NOINTEGRALHEIGHT | WS_VSCROLL;
    case Kind::kButton: return style | BS_PUSHBUTTON;
    default: return style;
  }
}

DWORD ExStyleOf(const Control& c) {
  switch (c.kind) {
    case Kind::kStatusLabel:
    case Kind::kPathBox:
    case Kind::kFolderList:
    case Kind::kFileList: return WS_EX_CLIENTEDGE;
    default: return 0;
  }
}

// Per-monitor DPI functions of user32 exist from Windows 10 on.
template <typename F>
F User32(const char* name) {
  return reinterpret_cast<F>(
      reinterpret_cast<void*>(GetProcAddress(GetModuleHandleW(L"user32.dll"), name)));
}

// The DPI of the window's monitor. Windows 8.1 and 10 before 1607 know it only by the monitor
// (shcore.dll, which is no KnownDLL: loaded from System32); Windows 7 and 8 have one DPI for
// every monitor, the system's.
int DpiOf(HWND hwnd) {
  using GetDpiForWindowFn = UINT(WINAPI*)(HWND);
  using GetDpiForMonitorFn = HRESULT(WINAPI*)(HMONITOR, int, UINT*, UINT*);
  constexpr int kEffectiveDpi = 0;  // MDT_EFFECTIVE_DPI
  static const auto get_dpi = User32<GetDpiForWindowFn>("GetDpiForWindow");
  if (get_dpi && hwnd) {
    if (UINT dpi = get_dpi(hwnd)) return static_cast<int>(dpi);
  }
  static const auto monitor_dpi =
      get_dpi ? nullptr : SystemFunction<GetDpiForMonitorFn>(L"shcore.dll", "GetDpiForMonitor");
  UINT x = 0, y = 0;
  if (monitor_dpi && hwnd &&
      SUCCEEDED(monitor_dpi(MonitorFromWindow(hwnd, MONITOR_DEFAULTTONEAREST), kEffectiveDpi, &x,
                            &y)) &&
      y != 0) {
    return static_cast<int>(y);
  }
  HDC dc = GetDC(nullptr);
  const int dpi = GetDeviceCaps(dc, LOGPIXELSY);
  ReleaseDC(nullptr, dc);
  return dpi;
}

RECT WindowRectForClient(int width, int height, DWORD style, DWORD ex_style, int dpi) {
  RECT r = {0, 0, width, height};
  using AdjustForDpiFn = BOOL(WINAPI*)(LPRECT, DWORD, BOOL, DWORD, UINT);
  static const auto adjust = User32<AdjustForDpiFn>("AdjustWindowRectExForDpi");
  if (!adjust || !adjust(&r, style, FALSE, ex_style, static_cast<UINT>(dpi))) {
    AdjustWindowRectEx(&r, style, FALSE, ex_style);
  }
  return r;
}

constexpr DWORD kWindowStyle = WS_OVERLAPPED | WS_CAPTION | WS_SYSMENU | WS_MINIMIZEBOX;
constexpr DWORD kWindowExStyle = 0;

// Sizes the window so that its client area is the designed one at `dpi`. The frame's metrics
// at a DPI are not always what the system's own sums say, so the result is measured and
// corrected once.
void SizeClientArea(HWND hwnd, int dpi) {
  const int want_w = layout::ToPixels(layout::kClientWidth, dpi);
  const int want_h = layout::ToPixels(layout::kClientHeight, dpi);
  RECT r = WindowRectForClient(want_w, want_h, kWindowStyle, kWindowExStyle, dpi);
  int w = r.right - r.left, h = r.bottom - r.top;
  for (int attempt = 0; attempt < 2; ++attempt) {
    SetWindowPos(hwnd, nullptr, 0, 0, w, h, SWP_NOMOVE | SWP_NOZORDER | SWP_NOACTIVATE);
    RECT client;
    GetClientRect(hwnd, &client);
    if (client.right == want_w && client.bottom == want_h) return;
    w += want_w - client.right;
    h += want_h - client.bottom;
  }
}

SIZE TextExtent(HDC dc, HFONT font, const std::wstring& text) {
  Selected sel(dc, font);
  SIZE size = {0, 0};
  GetTextExtentPoint32W(dc, text.c_str(), static_cast<int>(text.size()), &size);
  return size;
}

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

bool SystemHighContrast() {
  HIGHCONTRASTW hc = {sizeof hc};
  return SystemParametersInfoW(SPI_GETHIGHCONTRAST, sizeof hc, &hc, 0) &&
         (hc.dwFlags & HCF_HIGHCONTRASTON) != 0;
}

}  // namespace

bool (*high_contrast_on)() = SystemHighContrast;

Form1Window::Form1Window(FolderSource& source, Env& env, std::string updater_folder)
    : form_(source), env_(env), updater_folder_(std::move(updater_folder)) {}

Form1Window::~Form1Window() {
  if (hwnd_) {
    SetWindowLongPtrW(hwnd_, GWLP_USERDATA, 0);
    DestroyWindow(hwnd_);
  }
}

std::unique_ptr<Form1Window> Form1Window::Create(HINSTANCE instance, FolderSource& source,
                                                 Env& env, std::string updater_folder) {
  static bool registered = [instance] {
    WNDCLASSEXW wc = {sizeof wc};
    wc.style = CS_HREDRAW | CS_VREDRAW;
    wc.lpfnWndProc = WndProc;
    wc.hInstance = instance;
    wc.hIcon = static_cast<HICON>(LoadImageW(instance, MAKEINTRESOURCEW(1), IMAGE_ICON, 32, 32, 0));
    wc.hIconSm = static_cast<HICON>(LoadImageW(instance, MAKEINTRESOURCEW(1), IMAGE_ICON,
                                               GetSystemMetrics(SM_CXSMICON),
                                               GetSystemMetrics(SM_CYSMICON), 0));
    wc.hCursor = LoadCursorW(nullptr, IDC_ARROW);
    wc.hbrBackground = reinterpret_cast<HBRUSH>(COLOR_BTNFACE + 1);
    wc.lpszClassName = kForm1Class;
    return RegisterClassExW(&wc) != 0;
  }();
  if (!registered) return nullptr;

  std::unique_ptr<Form1Window> w(new Form1Window(source, env, std::move(updater_folder)));
  const int dpi = DpiOf(nullptr);
  const RECT r = WindowRectForClient(layout::ToPixels(layout::kClientWidth, dpi),
                                     layout::ToPixels(layout::kClientHeight, dpi), kWindowStyle,
                                     kWindowExStyle, dpi);
  HWND hwnd = CreateWindowExW(kWindowExStyle, kForm1Class, Widen(layout::kCaption).c_str(),
                              kWindowStyle, CW_USEDEFAULT, CW_USEDEFAULT, r.right - r.left,
                              r.bottom - r.top, nullptr, nullptr, instance, w.get());
  if (!hwnd) return nullptr;

  // The window may have landed on a monitor with another DPI than the system's.
  SizeClientArea(hwnd, DpiOf(hwnd));
  w->ApplyDpi(DpiOf(hwnd));
  w->form_.Form_Load();
  w->ShowDrives();
  w->ShowFolderAndFiles();
  w->ShowPathBox();
  return w;
}

void Form1Window::Show(int show_command) {
  RECT wr;
  GetWindowRect(hwnd_, &wr);
  Place(wr, true);
  ShowWindow(hwnd_, show_command);
  UpdateWindow(hwnd_);
  SetFocus(Child("te"));
}

void Form1Window::Place(const RECT& wanted, bool centre) {
  MONITORINFO mi = {sizeof mi};
  if (!GetMonitorInfoW(MonitorFromRect(&wanted, MONITOR_DEFAULTTONEAREST), &mi)) return;
  const RECT& a = mi.rcWork;
  const layout::Rect area = {a.left, a.top, a.right - a.left, a.bottom - a.top};
  RECT wr;
  GetWindowRect(hwnd_, &wr);  // the size it has now, which may differ from `wanted`'s
  const int w = wr.right - wr.left, h = wr.bottom - wr.top;
  const layout::Rect at = centre ? layout::Centred(w, h, area)
                                 : layout::KeptInside({wanted.left, wanted.top, w, h}, area);
  SetWindowPos(hwnd_, nullptr, at.left, at.top, 0, 0, SWP_NOSIZE | SWP_NOZORDER | SWP_NOACTIVATE);
}

HWND Form1Window::Child(std::string_view name) const {
  for (size_t i = 0; i < std::size(layout::kControls); ++i) {
    if (layout::kControls[i].name == name) return children_[i];
  }
  return nullptr;
}

void Form1Window::CreateChildren() {
  HINSTANCE instance = reinterpret_cast<HINSTANCE>(GetWindowLongPtrW(hwnd_, GWLP_HINSTANCE));
  for (size_t i = 0; i < std::size(layout::kControls); ++i) {
    const Control& c = layout::kControls[i];
    const wchar_t* cls = ClassOf(c.kind);
    if (!cls) continue;
    for (const layout::SpokenName& n : layout::kSpokenNames) {
      // Made right before its control, which puts it right before it in z-order. Hidden, it
      // still names the control but is no item of its own for a screen reader to land on.
      // The window destroys it with the others.
      if (n.control == c.name) {
        CreateWindowExW(0, L"STATIC", Widen(layout::SpokenText(n)).c_str(), WS_CHILD | SS_NOPREFIX,
                        0, 0, 0, 0, hwnd_, nullptr, instance, nullptr);
      }
    }
    children_[i] = CreateWindowExW(ExStyleOf(c), cls, Widen(layout::InitialText(c)).c_str(),
                                   StyleOf(c), 0, 0, 0, 0, hwnd_,
                                   reinterpret_cast<HMENU>(static_cast<INT_PTR>(c.id)), instance,
                                   nullptr);
  }
  announcer_ = std::make_unique<Announcer>(Child("Lab1"));
}

void Form1Window::ApplyDpi(int dpi) {
  dpi_ = dpi;
  fonts_.Make(dpi);
  Layout();
}

int Form1Window::RowHeight() const {
  return std::max(layout::ToPixels(240, dpi_), layout::FontPixelHeight(layout::Font::kNormal, dpi_) + 4);
}

void Form1Window::Layout() {
  HDC dc = GetDC(hwnd_);
  for (size_t i = 0; i < std::size(layout::kControls); ++i) {
    HWND child = children_[i];
    if (!child) continue;
    const Control& c = layout::kControls[i];
    HFONT font = fonts_.Get(c.font);
    SendMessageW(child, WM_SETFONT, reinterpret_cast<WPARAM>(font), FALSE);
    layout::Rect r = layout::ToPixels(c, dpi_);
    if (c.look & layout::kSizedToText) {
      const SIZE s = TextExtent(dc, font, GetText(child));
      r.width = s.cx;
      r.height = s.cy;
    }
    if (c.kind == Kind::kDriveList) {
      // A combo box's own height covers its drop-down list; the closed box is set through the
      // height of its selection field, corrected by what the box adds around it.
      SetWindowPos(child, nullptr, r.left, r.top, r.width, r.height * 8, SWP_NOZORDER | SWP_NOACTIVATE);
      const int field = static_cast<int>(SendMessageW(child, CB_GETITEMHEIGHT, static_cast<WPARAM>(-1), 0));
      RECT now;
      GetWindowRect(child, &now);
      int set = std::max(1, r.height - static_cast<int>((now.bottom - now.top) - field));
      // Some systems add to the height asked for; correct until the closed box is right.
      for (int attempt = 0; attempt < 3; ++attempt) {
        SendMessageW(child, CB_SETITEMHEIGHT, static_cast<WPARAM>(-1), set);
        GetWindowRect(child, &now);
        const int off = static_cast<int>(now.bottom - now.top) - r.height;
        if (off == 0 || set - off < 1) break;
        set -= off;
      }
      SendMessageW(child, CB_SETITEMHEIGHT, 0, RowHeight());
      continue;
    }
    if (c.kind == Kind::kFolderList || c.kind == Kind::kFileList) {
      SendMessageW(child, LB_SETITEMHEIGHT, 0, RowHeight());
    }
    SetWindowPos(child, nullptr, r.left, r.top, r.width, r.height, SWP_NOZORDER | SWP_NOACTIVATE);
  }
  ReleaseDC(hwnd_, dc);
  InvalidateRect(hwnd_, nullptr, TRUE);
}

void Form1Window::ShowDrives() {
  DriveList& dr = form_.dr;
  std::vector<std::string> items;
  for (size_t i = 0; i < dr.letters().size(); ++i) {
    // Only the chosen drive is asked for its label now; the others when the list drops down.
    items.push_back(static_cast<int>(i) == dr.selected() ? dr.ItemText(static_cast<int>(i))
                                                         : std::string{dr.letters()[i], ':'});
  }
  FillComboBox(Child("dr"), items, dr.selected());
}

void Form1Window::ShowFolderAndFiles() {
  HWND di = Child("di");
  std::vector<std::string> rows;
  for (const FolderRow& row : form_.di.rows()) rows.push_back(row.text);
  FillListBox(di, rows);
  SendMessageW(di, LB_SETCURSEL, form_.di.current_row(), 0);
  SendMessageW(di, LB_SETTOPINDEX, std::max(0, form_.di.current_row() - 2), 0);
  FillListBox(Child("fi"), form_.fi.items());
}

void Form1Window::ShowPathBox() {
  if (form_.te.assignments() == te_assignments_shown_) return;  // keep what the user typed
  te_assignments_shown_ = form_.te.assignments();
  setting_path_box_ = true;
  SetText(Child("te"), form_.te.Text());
  setting_path_box_ = false;
}

void Form1Window::OnCommand(int id, int code) {
  const int dr = layout::ByName("dr").id, di = layout::ByName("di").id;
  if (id == dr && code == CBN_DROPDOWN) {
    std::vector<std::string> items;
    for (size_t i = 0; i < form_.dr.letters().size(); ++i) {
      items.push_back(form_.dr.ItemText(static_cast<int>(i)));
    }
    FillComboBox(Child("dr"), items, form_.dr.selected());
  } else if (id == dr && code == CBN_SELCHANGE) {
    const int index = static_cast<int>(SendMessageW(Child("dr"), CB_GETCURSEL, 0, 0));
    if (index >= 0 && index < static_cast<int>(form_.dr.letters().size())) {
      (void)form_.dr.SetDrive(std::string{form_.dr.letters()[index]});
    }
    ShowDrives();
    ShowFolderAndFiles();
    ShowPathBox();
  } else if (id == di && code == LBN_DBLCLK) {
    const int index = static_cast<int>(SendMessageW(Child("di"), LB_GETCURSEL, 0, 0));
    // A folder that vanished or cannot be read since it was listed simply does not open.
    if (index >= 0) (void)form_.di.Open(index);
    ShowFolderAndFiles();
    ShowPathBox();
  } else if (id == layout::ByName("te").id && code == EN_CHANGE && !setting_path_box_) {
    form_.te.Type(GetTextUtf8(Child("te")));
  } else if (id == layout::ByName("Command1").id && code == BN_CLICKED) {
    RunUpdate(*this, env_, updater_folder_);
  }
}

void Form1Window::Paint(HDC dc) {
  // The frame lies above the labels it holds, which are transparent, so it is drawn here and
  // hides none of them.
  const layout::Rect f = layout::ToPixels(layout::ByName("Label6"), dpi_);
  RECT frame = {f.left, f.top, f.left + f.width, f.top + f.height};
  DrawEdge(dc, &frame, EDGE_SUNKEN, BF_RECT);

  const Control& line = layout::ByName("Line1");
  const int thick = MulDiv(layout::kLineThickness, dpi_, 96);
  const int x0 = layout::ToPixels(line.left, dpi_), x1 = layout::ToPixels(line.left + line.width, dpi_);
  const int y = layout::ToPixels(line.top, dpi_);
  RECT bar = {x0, y - thick / 2, x1, y - thick / 2 + thick};
  // In high contrast, the ink the theme puts on the face it lies on.
  FillRect(dc, &bar, GetSysColorBrush(high_contrast_ ? COLOR_BTNTEXT : COLOR_WINDOWTEXT));
}

void Form1Window::PaintBehind(HWND child, HDC dc) {
  RECT r;
  GetWindowRect(child, &r);
  MapWindowPoints(nullptr, hwnd_, reinterpret_cast<POINT*>(&r), 2);
  POINT old;
  OffsetViewportOrgEx(dc, -r.left, -r.top, &old);
  FillRect(dc, &r, GetSysColorBrush(COLOR_BTNFACE));
  Paint(dc);
  SetViewportOrgEx(dc, old.x, old.y, nullptr);
}

void Form1Window::DrawLabel(const DRAWITEMSTRUCT& d, const Control& c) {
  HDC dc = d.hDC;
  RECT r = d.rcItem;
  const bool status = c.kind == Kind::kStatusLabel;
  if (status) {
    // Green on black, unless the user needs the theme's own colours.
    FillRect(dc, &r, high_contrast_ ? GetSysColorBrush(COLOR_WINDOW)
                                    : static_cast<HBRUSH>(GetStockObject(BLACK_BRUSH)));
    SetTextColor(dc, high_contrast_ ? GetSysColor(COLOR_WINDOWTEXT) : RGB(0, 255, 0));
  } else {
    // A label repaints by itself (a new text, the keyboard cues shown after Alt): without what
    // lies under it restored first, the old text would stay, and anti-aliased text drawn over
    // itself turns bold.
    if (c.look & layout::kTransparent) PaintBehind(d.hwndItem, dc);
    else FillRect(dc, &r, GetSysColorBrush(COLOR_BTNFACE));
    SetTextColor(dc, GetSysColor(COLOR_BTNTEXT));
  }
  SetBkMode(dc, TRANSPARENT);
  Selected font(dc, fonts_.Get(c.font));
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

void Form1Window::DrawFolderRow(const DRAWITEMSTRUCT& d) {
  if (d.itemID == static_cast<UINT>(-1) || d.itemID >= form_.di.rows().size()) return;
  const FolderRow& row = form_.di.rows()[d.itemID];
  HDC dc = d.hDC;
  const bool selected = (d.itemState & ODS_SELECTED) != 0;
  const int ground = selected ? COLOR_HIGHLIGHT : COLOR_WINDOW;
  const int ink = selected ? COLOR_HIGHLIGHTTEXT : COLOR_WINDOWTEXT;
  FillRect(dc, &d.rcItem, GetSysColorBrush(ground));
  const int h = d.rcItem.bottom - d.rcItem.top;
  const int indent = MulDiv(10, dpi_, 96);
  const int icon = std::max(8, h - 2);
  RECT ir = {d.rcItem.left + 2 + row.depth * indent, d.rcItem.top + (h - icon) / 2, 0, 0};
  ir.right = ir.left + icon;
  ir.bottom = ir.top + icon;
  // In high contrast, a folder outlined in the row's ink on the row's own ground.
  const COLORREF on = GetSysColor(ground);
  DrawFolderIcon(dc, ir, row.open,
                 high_contrast_ ? FolderInk{GetSysColor(ink), on, on} : kFolderInk);
  SetBkMode(dc, TRANSPARENT);
  SetTextColor(dc, GetSysColor(ink));
  Selected font(dc, fonts_.Get(layout::Font::kNormal));
  const std::wstring text = Widen(row.text);
  RECT tr = d.rcItem;
  tr.left = ir.right + MulDiv(4, dpi_, 96);
  DrawTextW(dc, text.c_str(), static_cast<int>(text.size()), &tr,
            DT_SINGLELINE | DT_VCENTER | DT_NOPREFIX | DT_END_ELLIPSIS);
  if (d.itemState & ODS_FOCUS) DrawFocusRect(dc, &d.rcItem);
}

void Form1Window::DrawItem(const DRAWITEMSTRUCT& d) {
  for (size_t i = 0; i < std::size(layout::kControls); ++i) {
    if (children_[i] != d.hwndItem) continue;
    const Control& c = layout::kControls[i];
    if (c.kind == Kind::kFolderList) DrawFolderRow(d);
    else DrawLabel(d, c);
    return;
  }
}

std::string Form1Window::ButtonCaption() { return GetTextUtf8(Child("Command1")); }

void Form1Window::SetButtonCaption(const std::string& caption) {
  HWND button = Child("Command1");
  SetText(button, caption);
  UpdateWindow(button);
}

void Form1Window::SetStatus(const std::string& text) {
  // The run does not return to the message loop until it is over: paint now.
  HWND label = Child("Lab1");
  SetText(label, text);
  InvalidateRect(label, nullptr, TRUE);
  UpdateWindow(label);
  if (announcer_) announcer_->Announce();
}

std::string Form1Window::InstallPath() { return GetTextUtf8(Child("te")); }

bool Form1Window::PreTranslate(MSG* msg) {
  if (msg->message == WM_KEYDOWN && msg->wParam == VK_RETURN && msg->hwnd == Child("di")) {
    OnCommand(layout::ByName("di").id, LBN_DBLCLK);
    return true;
  }
  return IsDialogMessageW(hwnd_, msg) != 0;
}

LRESULT CALLBACK Form1Window::WndProc(HWND hwnd, UINT msg, WPARAM wp, LPARAM lp) {
  if (msg == WM_NCCREATE) {
    auto* self = static_cast<Form1Window*>(reinterpret_cast<CREATESTRUCTW*>(lp)->lpCreateParams);
    self->hwnd_ = hwnd;
    SetWindowLongPtrW(hwnd, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(self));
  }
  auto* self = reinterpret_cast<Form1Window*>(GetWindowLongPtrW(hwnd, GWLP_USERDATA));
  if (!self) return DefWindowProcW(hwnd, msg, wp, lp);
  // Nothing may unwind through the system's code; a failure here leaves the window as it was.
  try {
    return self->Handle(msg, wp, lp);
  } catch (...) {
    return DefWindowProcW(hwnd, msg, wp, lp);
  }
}

LRESULT Form1Window::Handle(UINT msg, WPARAM wp, LPARAM lp) {
  switch (msg) {
    case WM_CREATE:
      dpi_ = DpiOf(hwnd_);
      high_contrast_ = high_contrast_on();
      CreateChildren();
      ApplyDpi(dpi_);
      return 0;
    case WM_COMMAND:
      OnCommand(LOWORD(wp), HIWORD(wp));
      return 0;
    case WM_DRAWITEM:
      DrawItem(*reinterpret_cast<const DRAWITEMSTRUCT*>(lp));
      return TRUE;
    case WM_MEASUREITEM:
      reinterpret_cast<MEASUREITEMSTRUCT*>(lp)->itemHeight = static_cast<UINT>(RowHeight());
      return TRUE;
    case WM_PAINT: {
      PAINTSTRUCT ps;
      HDC dc = BeginPaint(hwnd_, &ps);
      Paint(dc);
      EndPaint(hwnd_, &ps);
      return 0;
    }
    case WM_DPICHANGED: {
      // The suggested place, with the size worked out here so that the client area is exactly
      // the designed one at the new DPI, whatever the frame's metrics do.
      // A window grown by the change is kept on its new monitor's work area, caption first.
      const RECT suggested = *reinterpret_cast<const RECT*>(lp);
      const int dpi = HIWORD(wp);
      SetWindowPos(hwnd_, nullptr, suggested.left, suggested.top, 0, 0,
                   SWP_NOSIZE | SWP_NOZORDER | SWP_NOACTIVATE);
      SizeClientArea(hwnd_, dpi);
      ApplyDpi(dpi);
      Place(suggested, false);
      return 0;
    }
    case WM_SYSCOLORCHANGE:
    case WM_SETTINGCHANGE:
      // A theme turned on or off, or colours changed: the controls are told, and everything is
      // painted again in the colours now in force.
      high_contrast_ = high_contrast_on();
      for (HWND child : children_) {
        if (child) SendMessageW(child, msg, wp, lp);
      }
      RedrawWindow(hwnd_, nullptr, nullptr, RDW_INVALIDATE | RDW_ERASE | RDW_ALLCHILDREN);
      return 0;
    case WM_ACTIVATE:
      if (LOWORD(wp) == WA_INACTIVE) {
        focus_ = GetFocus();
      } else if (focus_ && IsChild(hwnd_, focus_)) {
        SetFocus(focus_);
        return 0;
      }
      break;
    case WM_CLOSE:
      DestroyWindow(hwnd_);
      return 0;
    case WM_DESTROY:
      announcer_.reset();
      PostQuitMessage(0);
      return 0;
    case WM_NCDESTROY: {
      HWND hwnd = hwnd_;
      hwnd_ = nullptr;
      return DefWindowProcW(hwnd, msg, wp, lp);
    }
  }
  return DefWindowProcW(hwnd_, msg, wp, lp);
}

}  // namespace qrv3::win
