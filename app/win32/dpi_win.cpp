#include "app/win32/dpi_win.h"

#include "app/layout.h"
#include "app/win32/hwnd_win.h"
#include "base/process_win.h"

namespace qrv3::win {
namespace {

// Per-monitor DPI functions of user32 exist from Windows 10 on.
template <typename F>
F User32(const char* name) {
  return reinterpret_cast<F>(
      reinterpret_cast<void*>(GetProcAddress(GetModuleHandleW(L"user32.dll"), name)));
}

}  // namespace

// Windows 8.1 and 10 before 1607 know the DPI only by the monitor (shcore.dll, which is no
// KnownDLL: loaded from System32); Windows 7 and 8 have one DPI for every monitor, the system's.
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
  const WindowDc screen(nullptr);
  return GetDeviceCaps(screen.get(), LOGPIXELSY);
}

RECT WindowRectForClient(int dpi) {
  RECT r = {0, 0, layout::ToPixels(layout::kClientWidth, dpi),
            layout::ToPixels(layout::kClientHeight, dpi)};
  using AdjustForDpiFn = BOOL(WINAPI*)(LPRECT, DWORD, BOOL, DWORD, UINT);
  static const auto adjust = User32<AdjustForDpiFn>("AdjustWindowRectExForDpi");
  if (!adjust || !adjust(&r, kWindowStyle, FALSE, kWindowExStyle, static_cast<UINT>(dpi))) {
    AdjustWindowRectEx(&r, kWindowStyle, FALSE, kWindowExStyle);
  }
  return r;
}

void SizeClientArea(HWND hwnd, int dpi) {
  const int want_w = layout::ToPixels(layout::kClientWidth, dpi);
  const int want_h = layout::ToPixels(layout::kClientHeight, dpi);
  RECT r = WindowRectForClient(dpi);
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

void Place(HWND hwnd, const RECT& wanted, bool centre) {
  MONITORINFO mi = {sizeof mi};
  if (!GetMonitorInfoW(MonitorFromRect(&wanted, MONITOR_DEFAULTTONEAREST), &mi)) return;
  const RECT& a = mi.rcWork;
  const layout::Rect area = {a.left, a.top, a.right - a.left, a.bottom - a.top};
  RECT wr;
  GetWindowRect(hwnd, &wr);  // the size it has now, which may differ from `wanted`'s
  const int w = wr.right - wr.left, h = wr.bottom - wr.top;
  const layout::Rect at = centre ? layout::Centred(w, h, area)
                                 : layout::KeptInside({wanted.left, wanted.top, w, h}, area);
  SetWindowPos(hwnd, nullptr, at.left, at.top, 0, 0, SWP_NOSIZE | SWP_NOZORDER | SWP_NOACTIVATE);
}

}  // namespace qrv3::win
