#include "app/win32/hwnd_win.h"

#include "engine/utf.h"

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

}  // namespace qrv3::win
