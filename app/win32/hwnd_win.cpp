#include "app/win32/hwnd_win.h"

#include <algorithm>

#include "base/utf.h"

namespace qrv3::win {

std::wstring GetText(HWND hwnd) {
  const int n = GetWindowTextLengthW(hwnd);
  std::wstring text(static_cast<size_t>(n) + 1, L'\0');
  const int got = GetWindowTextW(hwnd, text.data(), n + 1);
  text.resize(got > 0 ? static_cast<size_t>(got) : 0);
  return text;
}

std::string GetTextUtf8(HWND hwnd) { return Narrow(GetText(hwnd)); }

void SetText(HWND hwnd, std::string_view utf8) { SetWindowTextW(hwnd, Widen(utf8).c_str()); }

void FillListBox(HWND list, const std::vector<std::string>& items) {
  SendMessageW(list, WM_SETREDRAW, FALSE, 0);
  SendMessageW(list, LB_RESETCONTENT, 0, 0);
  SendMessageW(list, LB_INITSTORAGE, items.size(), items.size() * 32);
  for (const std::string& item : items) {
    SendMessageW(list, LB_ADDSTRING, 0, reinterpret_cast<LPARAM>(Widen(item).c_str()));
  }
  SendMessageW(list, WM_SETREDRAW, TRUE, 0);
  InvalidateRect(list, nullptr, TRUE);
}

void FillComboBox(HWND combo, const std::vector<std::string>& items, int selected) {
  SendMessageW(combo, WM_SETREDRAW, FALSE, 0);
  SendMessageW(combo, CB_RESETCONTENT, 0, 0);
  for (const std::string& item : items) {
    SendMessageW(combo, CB_ADDSTRING, 0, reinterpret_cast<LPARAM>(Widen(item).c_str()));
  }
  SendMessageW(combo, CB_SETCURSEL, selected, 0);
  SendMessageW(combo, WM_SETREDRAW, TRUE, 0);
  InvalidateRect(combo, nullptr, TRUE);
}

void PlaceComboBox(HWND combo, const layout::Rect& r, int row_height) {
  SetWindowPos(combo, nullptr, r.left, r.top, r.width, r.height * 8, SWP_NOZORDER | SWP_NOACTIVATE);
  const int field = static_cast<int>(SendMessageW(combo, CB_GETITEMHEIGHT, static_cast<WPARAM>(-1), 0));
  RECT now;
  GetWindowRect(combo, &now);
  int set = std::max(1, r.height - static_cast<int>((now.bottom - now.top) - field));
  // Some systems add to the height asked for; correct until the closed box is right.
  for (int attempt = 0; attempt < 3; ++attempt) {
    SendMessageW(combo, CB_SETITEMHEIGHT, static_cast<WPARAM>(-1), set);
    GetWindowRect(combo, &now);
    const int off = static_cast<int>(now.bottom - now.top) - r.height;
    if (off == 0 || set - off < 1) break;
    set -= off;
  }
  SendMessageW(combo, CB_SETITEMHEIGHT, 0, row_height);
}

}  // namespace qrv3::win
