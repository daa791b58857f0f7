#include "tools/window_driver_win.h"

#include <cwchar>
#include <fstream>

#include "app/layout.h"
#include "app/win32/form1_win.h"
#include "app/win32/hwnd_win.h"
#include "base/names.h"
#include "base/utf.h"
#include "base/utf_fs.h"

namespace qrv3::driver {
namespace {

struct Search {
  DWORD pid;
  HWND found;
};

BOOL CALLBACK FindTop(HWND hwnd, LPARAM lp) {
  auto* s = reinterpret_cast<Search*>(lp);
  DWORD pid = 0;
  GetWindowThreadProcessId(hwnd, &pid);
  wchar_t cls[64] = {};
  GetClassNameW(hwnd, cls, 64);
  // Shown, by its own style: seen from another desktop, no window there is "visible".
  if (pid == s->pid && wcscmp(cls, win::kForm1Class) == 0 &&
      (GetWindowLongW(hwnd, GWL_STYLE) & WS_VISIBLE)) {
    s->found = hwnd;
    return FALSE;
  }
  return TRUE;
}

}  // namespace

bool UpdaterWindow::Launch(const std::string& exe, int timeout_ms, const wchar_t* desktop) {
  std::wstring app = Widen(exe);
  std::wstring cmd = L"\"" + app + L"\"";
  std::wstring desktop_name = desktop ? desktop : L"";
  STARTUPINFOW si = {sizeof si};
  if (desktop) si.lpDesktop = desktop_name.data();
  // Wine's CreateProcessW resolves the program's name in MAX_PATH buffers: by a full name any
  // deeper, given as lpApplicationName or not, with \\?\ or not, it finds nothing (error 2).
  // Named relative to a current folder, both shorter, it starts; it gets our current folder.
  std::wstring here(GetCurrentDirectoryW(0, nullptr), L'\0');
  here.resize(GetCurrentDirectoryW(static_cast<DWORD>(here.size()), here.data()));
  const size_t cut = app.size() < MAX_PATH ? std::wstring::npos : app.rfind(L'\\', MAX_PATH - 2);
  if (cut != std::wstring::npos) {
    SetCurrentDirectoryW(app.substr(0, cut + 1).c_str());
    app.erase(0, cut + 1);
  }
  PROCESS_INFORMATION pi;
  const BOOL started = CreateProcessW(cut == std::wstring::npos ? nullptr : app.c_str(), cmd.data(),
                                      nullptr, nullptr, FALSE, 0, nullptr, here.c_str(), &si, &pi);
  SetCurrentDirectoryW(here.c_str());
  if (!started) return false;
  CloseHandle(pi.hThread);
  process_.reset(pi.hProcess);
  pid_ = pi.dwProcessId;
  WaitForInputIdle(process_.get(), static_cast<DWORD>(timeout_ms));
  for (int waited = 0; waited < timeout_ms; waited += 50) {
    Search s = {pid_, nullptr};
    if (desktop) {
      if (HDESK d = OpenDesktopW(desktop, 0, FALSE, DESKTOP_READOBJECTS | DESKTOP_ENUMERATE)) {
        EnumDesktopWindows(d, FindTop, reinterpret_cast<LPARAM>(&s));
        CloseDesktop(d);
      }
    } else {
      EnumWindows(FindTop, reinterpret_cast<LPARAM>(&s));
    }
    if (s.found) {
      hwnd_ = s.found;
      return true;
    }
    if (WaitForSingleObject(process_.get(), 50) == WAIT_OBJECT_0) return false;
  }
  return false;
}

HWND UpdaterWindow::Child(layout::Id control) const {
  return GetDlgItem(hwnd_, layout::Of(control).id);
}

std::string UpdaterWindow::Text(layout::Id control) const {
  HWND h = Child(control);
  wchar_t buf[4096] = {};
  SendMessageW(h, WM_GETTEXT, std::size(buf), reinterpret_cast<LPARAM>(buf));
  return Narrow(buf);
}

std::string UpdaterWindow::Caption() const {
  wchar_t buf[512] = {};
  SendMessageW(hwnd_, WM_GETTEXT, std::size(buf), reinterpret_cast<LPARAM>(buf));
  return Narrow(buf);
}

std::vector<std::string> UpdaterWindow::Items(layout::Id list) const {
  HWND h = Child(list);
  const bool combo = list == layout::Id::dr;
  const int n = static_cast<int>(SendMessageW(h, combo ? CB_GETCOUNT : LB_GETCOUNT, 0, 0));
  std::vector<std::string> items;
  for (int i = 0; i < n; ++i) {
    wchar_t buf[1024] = {};
    SendMessageW(h, combo ? CB_GETLBTEXT : LB_GETTEXT, i, reinterpret_cast<LPARAM>(buf));
    items.push_back(Narrow(buf));
  }
  return items;
}

bool UpdaterWindow::Choose(layout::Id list, UINT select, WORD notification,
                           const std::function<bool(const std::string&)>& wanted) {
  const std::vector<std::string> items = Items(list);
  for (size_t i = 0; i < items.size(); ++i) {
    if (!wanted(items[i])) continue;
    // Selecting by message notifies nobody; the window learns of it as from a user's click.
    HWND h = Child(list);
    SendMessageW(h, select, i, 0);
    SendMessageW(hwnd_, WM_COMMAND, MAKEWPARAM(layout::Of(list).id, notification),
                 reinterpret_cast<LPARAM>(h));
    return true;
  }
  return false;
}

bool UpdaterWindow::PickDrive(char letter) {
  return Choose(layout::Id::dr, CB_SETCURSEL, CBN_SELCHANGE, [&](const std::string& drive) {
    return !drive.empty() && FoldAscii(drive[0]) == FoldAscii(letter);
  });
}

bool UpdaterWindow::OpenFolder(const std::string& name) {
  return Choose(layout::Id::di, LB_SETCURSEL, LBN_DBLCLK,
                [&](const std::string& row) { return CompareIgnoringCase(row, name) == 0; });
}

bool UpdaterWindow::OpenPath(const std::string& path) {
  if (path.size() < 3 || path[1] != ':' || !PickDrive(path[0])) return false;
  if (!OpenFolder(path.substr(0, 3))) return false;  // the root row, "c:\"
  size_t i = 3;
  while (i < path.size()) {
    size_t end = path.find('\\', i);
    if (end == std::string::npos) end = path.size();
    if (end > i && !OpenFolder(path.substr(i, end - i))) return false;
    i = end + 1;
  }
  return true;
}

void UpdaterWindow::Type(const std::string& text) {
  HWND edit = Child(layout::Id::te);
  SendMessageW(edit, EM_SETSEL, 0, -1);
  SendMessageW(edit, WM_CHAR, VK_BACK, 0);
  for (wchar_t c : Widen(text)) SendMessageW(edit, WM_CHAR, c, 0);
}

void UpdaterWindow::PressStart() { SendMessageW(Child(layout::Id::Command1), BM_CLICK, 0, 0); }

bool UpdaterWindow::Capture(const std::string& bmp_path) const {
  return CaptureWindow(hwnd_, bmp_path);
}

std::vector<COLORREF> ScreenPixels(const RECT& r) {
  const int w = r.right - r.left, h = r.bottom - r.top;
  const win::WindowDc screen(nullptr);
  const win::MemoryDc mem(screen.get());
  BITMAPINFO bi = {};
  bi.bmiHeader = {sizeof(BITMAPINFOHEADER), w, -h, 1, 32, BI_RGB};  // top row first
  void* bits = nullptr;
  const win::Gdi<HBITMAP> bmp(CreateDIBSection(screen.get(), &bi, DIB_RGB_COLORS, &bits, nullptr, 0));
  if (!bmp.get()) return {};
  const win::Selected selected(mem.get(), bmp.get());
  BitBlt(mem.get(), 0, 0, w, h, screen.get(), r.left, r.top, SRCCOPY);
  GdiFlush();
  std::vector<COLORREF> pixels;
  for (int i = 0; i < w * h; ++i) {
    const DWORD p = static_cast<const DWORD*>(bits)[i];  // 0x00RRGGBB, where COLORREF is BGR
    pixels.push_back(RGB(GetBValue(p), GetGValue(p), GetRValue(p)));
  }
  return pixels;
}

bool CaptureWindow(HWND hwnd, const std::string& bmp_path) {
  SetForegroundWindow(hwnd);
  RedrawWindow(hwnd, nullptr, nullptr, RDW_INVALIDATE | RDW_ERASE | RDW_ALLCHILDREN | RDW_UPDATENOW);
  Sleep(300);
  // The whole window, title bar and frame included: the caption is part of what the user sees.
  RECT wr;
  GetWindowRect(hwnd, &wr);
  const int w = wr.right - wr.left, h = wr.bottom - wr.top;
  const std::vector<COLORREF> pixels = ScreenPixels(wr);
  if (pixels.empty()) return false;
  // A 24-bit BMP: rows from the bottom up, each blue, green, red, padded to four bytes.
  const DWORD stride = ((static_cast<DWORD>(w) * 3 + 3) & ~3u);
  std::string rows(stride * static_cast<DWORD>(h), '\0');
  for (int y = 0; y < h; ++y) {
    for (int x = 0; x < w; ++x) {
      const COLORREF c = pixels[static_cast<size_t>(y * w + x)];
      char* at = &rows[(h - 1 - y) * stride + static_cast<DWORD>(x) * 3];
      at[0] = static_cast<char>(GetBValue(c));
      at[1] = static_cast<char>(GetGValue(c));
      at[2] = static_cast<char>(GetRValue(c));
    }
  }
  const BITMAPINFOHEADER ih = {sizeof ih, w, h, 1, 24, BI_RGB};
  const BITMAPFILEHEADER fh = {0x4D42, static_cast<DWORD>(sizeof fh + sizeof ih + rows.size()), 0, 0,
                               static_cast<DWORD>(sizeof fh + sizeof ih)};
  std::ofstream out(FsPath(bmp_path), std::ios::binary);
  out.write(reinterpret_cast<const char*>(&fh), sizeof fh);
  out.write(reinterpret_cast<const char*>(&ih), sizeof ih);
  out.write(rows.data(), static_cast<std::streamsize>(rows.size()));
  return static_cast<bool>(out);
}

int UpdaterWindow::Close(int timeout_ms) {
  if (!process_.valid()) return -1;
  PostMessageW(hwnd_, WM_CLOSE, 0, 0);
  if (WaitForSingleObject(process_.get(), static_cast<DWORD>(timeout_ms)) != WAIT_OBJECT_0) {
    TerminateProcess(process_.get(), 255);
    return -1;
  }
  DWORD code = 0;
  GetExitCodeProcess(process_.get(), &code);
  process_.reset();
  hwnd_ = nullptr;
  return static_cast<int>(code);
}

}  // namespace qrv3::driver
