#include "app/win32/form1_win.h"

#include <algorithm>
#include <vector>

#include "app/win32/dpi_win.h"
#include "app/win32/hwnd_win.h"
#include "app/win32/paint_win.h"
#include "base/utf.h"

namespace qrv3::win {
namespace {

using layout::Control;
using layout::Id;
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

SIZE TextExtent(HDC dc, HFONT font, const std::wstring& text) {
  Selected sel(dc, font);
  SIZE size = {0, 0};
  GetTextExtentPoint32W(dc, text.c_str(), static_cast<int>(text.size()), &size);
  return size;
}

}  // namespace

bool SystemHighContrast() {
  HIGHCONTRASTW hc = {sizeof hc};
  return SystemParametersInfoW(SPI_GETHIGHCONTRAST, sizeof hc, &hc, 0) &&
         (hc.dwFlags & HCF_HIGHCONTRASTON) != 0;
}

Form1Window::Form1Window(FolderSource& source, Env& env, std::string updater_folder,
                         bool (*high_contrast)())
    : form_(source), env_(env), updater_folder_(std::move(updater_folder)),
      high_contrast_on_(high_contrast) {}

Form1Window::~Form1Window() {
  if (hwnd_) {
    SetWindowLongPtrW(hwnd_, GWLP_USERDATA, 0);
    DestroyWindow(hwnd_);
  }
}

std::unique_ptr<Form1Window> Form1Window::Create(HINSTANCE instance, FolderSource& source,
                                                 Env& env, std::string updater_folder,
                                                 bool (*high_contrast)()) {
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

  std::unique_ptr<Form1Window> w(
      new Form1Window(source, env, std::move(updater_folder), high_contrast));
  const RECT r = WindowRectForClient(DpiOf(nullptr));
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
  Place(hwnd_, wr, true);
  ShowWindow(hwnd_, show_command);
  UpdateWindow(hwnd_);
  SetFocus(Child(Id::te));
}

HWND Form1Window::Child(Id id) const { return children_[static_cast<size_t>(id)]; }

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
  announcer_ = std::make_unique<Announcer>(Child(Id::Lab1));
}

void Form1Window::ApplyDpi(int dpi) {
  dpi_ = dpi;
  fonts_.Make(dpi);
  Layout();
}

PaintStyle Form1Window::Style() const { return {dpi_, high_contrast_, fonts_}; }

int Form1Window::RowHeight() const {
  return std::max(layout::ToPixels(240, dpi_), layout::FontPixelHeight(layout::Font::kNormal, dpi_) + 4);
}

void Form1Window::Layout() {
  const WindowDc dc(hwnd_);
  for (size_t i = 0; i < std::size(layout::kControls); ++i) {
    HWND child = children_[i];
    if (!child) continue;
    const Control& c = layout::kControls[i];
    HFONT font = fonts_.Get(c.font);
    SendMessageW(child, WM_SETFONT, reinterpret_cast<WPARAM>(font), FALSE);
    layout::Rect r = layout::ToPixels(c, dpi_);
    if (c.look & layout::kSizedToText) {
      const SIZE s = TextExtent(dc.get(), font, GetText(child));
      r.width = s.cx;
      r.height = s.cy;
    }
    if (c.kind == Kind::kDriveList) {
      PlaceComboBox(child, r, RowHeight());
      continue;
    }
    if (c.kind == Kind::kFolderList || c.kind == Kind::kFileList) {
      SendMessageW(child, LB_SETITEMHEIGHT, 0, RowHeight());
    }
    SetWindowPos(child, nullptr, r.left, r.top, r.width, r.height, SWP_NOZORDER | SWP_NOACTIVATE);
  }
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
  FillComboBox(Child(Id::dr), items, dr.selected());
}

void Form1Window::ShowFolderAndFiles() {
  HWND di = Child(Id::di);
  std::vector<std::string> rows;
  for (const FolderRow& row : form_.di.rows()) rows.push_back(row.text);
  FillListBox(di, rows);
  SendMessageW(di, LB_SETCURSEL, form_.di.current_row(), 0);
  SendMessageW(di, LB_SETTOPINDEX, std::max(0, form_.di.current_row() - 2), 0);
  FillListBox(Child(Id::fi), form_.fi.items());
}

void Form1Window::ShowPathBox() {
  if (form_.te.assignments() == te_assignments_shown_) return;  // keep what the user typed
  te_assignments_shown_ = form_.te.assignments();
  setting_path_box_ = true;
  SetText(Child(Id::te), form_.te.Text());
  setting_path_box_ = false;
}

void Form1Window::OnCommand(int id, int code) {
  const int dr = layout::Of(Id::dr).id, di = layout::Of(Id::di).id;
  if (id == dr && code == CBN_DROPDOWN) {
    std::vector<std::string> items;
    for (size_t i = 0; i < form_.dr.letters().size(); ++i) {
      items.push_back(form_.dr.ItemText(static_cast<int>(i)));
    }
    FillComboBox(Child(Id::dr), items, form_.dr.selected());
  } else if (id == dr && code == CBN_SELCHANGE) {
    const int index = static_cast<int>(SendMessageW(Child(Id::dr), CB_GETCURSEL, 0, 0));
    if (index >= 0 && index < static_cast<int>(form_.dr.letters().size())) {
      (void)form_.dr.SetDrive(std::string{form_.dr.letters()[index]});
    }
    ShowDrives();
    ShowFolderAndFiles();
    ShowPathBox();
  } else if (id == di && code == LBN_DBLCLK) {
    const int index = static_cast<int>(SendMessageW(Child(Id::di), LB_GETCURSEL, 0, 0));
    // A folder that vanished or cannot be read since it was listed simply does not open.
    if (index >= 0) (void)form_.di.Open(index);
    ShowFolderAndFiles();
    ShowPathBox();
  } else if (id == layout::Of(Id::te).id && code == EN_CHANGE && !setting_path_box_) {
    form_.te.Type(GetTextUtf8(Child(Id::te)));
  } else if (id == layout::Of(Id::Command1).id && code == BN_CLICKED) {
    DataPieces pieces(env_, updater_folder_);  // the run's own, for as long as it lasts
    RunUpdate(*this, env_, pieces);
  }
}

void Form1Window::DrawItem(const DRAWITEMSTRUCT& d) {
  const PaintStyle style = Style();
  for (size_t i = 0; i < std::size(layout::kControls); ++i) {
    if (children_[i] != d.hwndItem) continue;
    const Control& c = layout::kControls[i];
    if (c.kind != Kind::kFolderList) {
      DrawLabel(d, c, style);
    } else if (d.itemID != static_cast<UINT>(-1) && d.itemID < form_.di.rows().size()) {
      DrawFolderRow(d, form_.di.rows()[d.itemID], style);
    }
    return;
  }
}

std::string Form1Window::ButtonCaption() { return GetTextUtf8(Child(Id::Command1)); }

void Form1Window::SetButtonCaption(const std::string& caption) {
  HWND button = Child(Id::Command1);
  SetText(button, caption);
  UpdateWindow(button);
}

void Form1Window::SetStatus(const std::string& text) {
  // The run does not return to the message loop until it is over: paint now.
  HWND label = Child(Id::Lab1);
  SetText(label, text);
  InvalidateRect(label, nullptr, TRUE);
  UpdateWindow(label);
  if (announcer_) announcer_->Announce();
}

std::string Form1Window::InstallPath() { return GetTextUtf8(Child(Id::te)); }

bool Form1Window::PreTranslate(MSG* msg) {
  if (msg->message == WM_KEYDOWN && msg->wParam == VK_RETURN && msg->hwnd == Child(Id::di)) {
    OnCommand(layout::Of(Id::di).id, LBN_DBLCLK);
    return true;
  }
  return IsDialogMessageW(hwnd_, msg) != 0;
}

void Form1Window::OnDpiChanged(const RECT& suggested, int dpi) {
  // The suggested place, with the size worked out here so that the client area is exactly the
  // designed one at the new DPI, whatever the frame's metrics do. A window grown by the change
  // is kept on its new monitor's work area, caption first.
  SetWindowPos(hwnd_, nullptr, suggested.left, suggested.top, 0, 0,
               SWP_NOSIZE | SWP_NOZORDER | SWP_NOACTIVATE);
  SizeClientArea(hwnd_, dpi);
  ApplyDpi(dpi);
  Place(hwnd_, suggested, false);
}

void Form1Window::OnThemeChange(UINT msg, WPARAM wp, LPARAM lp) {
  // A theme turned on or off, or colours changed: the controls are told, and everything is
  // painted again in the colours now in force.
  high_contrast_ = high_contrast_on_();
  for (HWND child : children_) {
    if (child) SendMessageW(child, msg, wp, lp);
  }
  RedrawWindow(hwnd_, nullptr, nullptr, RDW_INVALIDATE | RDW_ERASE | RDW_ALLCHILDREN);
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
      high_contrast_ = high_contrast_on_();
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
      const PaintDc dc(hwnd_);
      PaintWindow(dc.get(), Style());
      return 0;
    }
    case WM_DPICHANGED:
      OnDpiChanged(*reinterpret_cast<const RECT*>(lp), HIWORD(wp));
      return 0;
    case WM_SYSCOLORCHANGE:
    case WM_SETTINGCHANGE:
      OnThemeChange(msg, wp, lp);
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
