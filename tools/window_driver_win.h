// Driving the updater's window from another process, as a user would: find it, read its
// texts, choose a drive, open folders, type, press the button, take a picture, close it. Used
// by the end-to-end tests and by the demo.
#pragma once

#include <windows.h>

#include <functional>
#include <string>
#include <vector>

#include "app/layout.h"
#include "base/win32_util_win.h"

namespace qrv3::driver {

// The screen's pixels in a rectangle of the screen, row by row from the top, read at once.
std::vector<COLORREF> ScreenPixels(const RECT& on_screen);

// Saves a whole window, title bar included, as the screen shows it once it has painted itself
// again, as a 24-bit BMP file.
bool CaptureWindow(HWND hwnd, const std::string& bmp_path);

class UpdaterWindow {
 public:
  // Starts `exe` and waits up to `timeout_ms` for its window to appear. With `desktop`, the
  // program starts on that desktop of the window station (under Wine, a virtual desktop whose
  // size HKCU\Software\Wine\Explorer\Desktops names) rather than on the caller's.
  bool Launch(const std::string& exe, int timeout_ms = 30000, const wchar_t* desktop = nullptr);
  HWND hwnd() const { return hwnd_; }
  // The child window of a control of the layout table, found by its control ID.
  HWND Child(layout::Id control) const;

  std::string Text(layout::Id control) const;
  std::string Caption() const;
  // The rows of a list box, or of the drive list `dr`.
  std::vector<std::string> Items(layout::Id list) const;

  // Chooses the drive with `letter` in the drive list; false when the list has none.
  bool PickDrive(char letter);
  // Double-clicks the folder-list row that reads `name` (ignoring letter case).
  bool OpenFolder(const std::string& name);
  // Opens a full path row by row from its drive's root, e.g. "C:\users\me".
  bool OpenPath(const std::string& path);
  // Replaces the path box's text by typing it.
  void Type(const std::string& text);
  void PressStart();
  // Saves the whole window, title bar included, as the screen shows it (CaptureWindow).
  bool Capture(const std::string& bmp_path) const;
  // Closes the window and waits for the program to end; its exit code, or -1.
  int Close(int timeout_ms = 30000);

 private:
  // Selects the first item of a list that `wanted` accepts and tells the window, as a click does.
  bool Choose(layout::Id list, UINT select, WORD notification,
              const std::function<bool(const std::string&)>& wanted);

  UniqueHandle process_;
  DWORD pid_ = 0;
  HWND hwnd_ = nullptr;
};

}  // namespace qrv3::driver
