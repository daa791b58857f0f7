// Tiny wrappers over window handles that keep the Win32 API's quirks in one place: UTF-8 text
// in and out, list and combo box contents, and every scoped handle of the window (GDI objects,
// device contexts, objects selected into them).
#pragma once

#include <windows.h>

#include <string>
#include <string_view>
#include <vector>

#include "app/layout.h"

namespace qrv3::win {

std::wstring GetText(HWND hwnd);
std::string GetTextUtf8(HWND hwnd);
void SetText(HWND hwnd, std::string_view utf8);

// A list box or a combo box's list, filled from UTF-8 strings without repainting in between.
void FillListBox(HWND list, const std::vector<std::string>& items);
void FillComboBox(HWND combo, const std::vector<std::string>& items, int selected);
// Puts a drop-down combo box's closed box at `r` (pixels in its parent) and gives its list's
// rows `row_height`. The box's own height covers its drop-down list; the closed box is set
// through the height of its selection field, corrected by what the box adds around it.
void PlaceComboBox(HWND combo, const layout::Rect& r, int row_height);

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

// A window's device context, or the screen's for a null window (GetDC); released on destruction.
class WindowDc {
 public:
  explicit WindowDc(HWND hwnd) : hwnd_(hwnd), dc_(GetDC(hwnd)) {}
  ~WindowDc() {
    if (dc_) ReleaseDC(hwnd_, dc_);
  }
  WindowDc(const WindowDc&) = delete;
  WindowDc& operator=(const WindowDc&) = delete;
  HDC get() const { return dc_; }

 private:
  HWND hwnd_;
  HDC dc_;
};

// A memory device context like `dc` (CreateCompatibleDC); deleted on destruction.
class MemoryDc {
 public:
  explicit MemoryDc(HDC dc) : dc_(CreateCompatibleDC(dc)) {}
  ~MemoryDc() {
    if (dc_) DeleteDC(dc_);
  }
  MemoryDc(const MemoryDc&) = delete;
  MemoryDc& operator=(const MemoryDc&) = delete;
  HDC get() const { return dc_; }

 private:
  HDC dc_;
};

// The device context of a window's WM_PAINT (BeginPaint); the painting ends on destruction.
class PaintDc {
 public:
  explicit PaintDc(HWND hwnd) : hwnd_(hwnd), dc_(BeginPaint(hwnd, &ps_)) {}
  ~PaintDc() { EndPaint(hwnd_, &ps_); }
  PaintDc(const PaintDc&) = delete;
  PaintDc& operator=(const PaintDc&) = delete;
  HDC get() const { return dc_; }

 private:
  HWND hwnd_;
  PAINTSTRUCT ps_;
  HDC dc_;
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
