// Tiny wrappers over window handles that keep the Win32 API's quirks in one place: UTF-8 text
// in and out, list and combo box contents, and owning GDI objects.
#pragma once

#include <windows.h>

#include <string>
#include <string_view>
#include <vector>

namespace qrv3::win {

std::wstring GetText(HWND hwnd);
std::string GetTextUtf8(HWND hwnd);
void SetText(HWND hwnd, std::string_view utf8);

// A list box or a combo box's list, filled from UTF-8 strings without repainting in between.
void FillListBox(HWND list, const std::vector<std::string>& items);
void FillComboBox(HWND combo, const std::vector<std::string>& items, int selected);

// An owning GDI object (font, brush, pen); deleted on destruction.
template <typename T>
class Gdi {
 public:
  Gdi() = default;
  explicit Gdi(T h) : h_(h) {}
  Gdi(const Gdi&) = delete;
  Gdi& operator=(const Gdi&) = delete;
  Gdi(Gdi&& o) noexcept : h_(o.h_) { o.h_ = nullptr; }
  Gdi& operator=(Gdi&& o) noexcept {
    reset(o.h_);
    o.h_ = nullptr;
    return *this;
  }
  ~Gdi() { reset(); }
  T get() const { return h_; }
  void reset(T h = nullptr) {
    if (h_) DeleteObject(h_);
    h_ = h;
  }

 private:
  T h_ = nullptr;
};

// Selects an object into a DC for a scope.
class Selected {
 public:
  Selected(HDC dc, HGDIOBJ obj) : dc_(dc), old_(SelectObject(dc, obj)) {}
  ~Selected() { SelectObject(dc_, old_); }
  Selected(const Selected&) = delete;
  Selected& operator=(const Selected&) = delete;

 private:
  HDC dc_;
  HGDIOBJ old_;
};

}  // namespace qrv3::win
