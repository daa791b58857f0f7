// The window Form1 on Win32: child windows made from the layout table, bound to the
// folder-selection models and to the update run.
#pragma once

#include <windows.h>

#include <array>
#include <memory>
#include <string>

#include "app/folder_source.h"
#include "app/form1.h"
#include "app/layout.h"
#include "app/win32/announcer_win.h"
#include "app/win32/fonts_win.h"
#include "app/win32/paint_win.h"
#include "engine/env.h"
#include "engine/update_run.h"

namespace qrv3::win {

inline constexpr wchar_t kForm1Class[] = L"Qrv3UpdaterForm1";

// Whether a high-contrast theme is on, as the system says (SPI_GETHIGHCONTRAST).
bool SystemHighContrast();

class Form1Window final : private RunControls {
 public:
  // Makes the window, hidden, and runs its load event. `high_contrast` says whether a
  // high-contrast theme is on, asked when the window is made and whenever the system's colours
  // or settings change. Returns null when the system refuses to make a window at all.
  static std::unique_ptr<Form1Window> Create(HINSTANCE instance, FolderSource& source, Env& env,
                                             std::string updater_folder,
                                             bool (*high_contrast)() = SystemHighContrast);
  ~Form1Window() override;

  // Shows the window with the focus in the path box.
  void Show(int show_command);
  // Handles the keys the window gives a meaning of its own (Enter in the folder list) and
  // the dialog navigation keys; true when `msg` was used up.
  bool PreTranslate(MSG* msg);

  HWND hwnd() const { return hwnd_; }
  // The child window of a control in the layout table; null for those the window draws itself.
  HWND Child(layout::Id id) const;
  int dpi() const { return dpi_; }
  const Form1& form() const { return form_; }

 private:
  Form1Window(FolderSource& source, Env& env, std::string updater_folder, bool (*high_contrast)());
  static LRESULT CALLBACK WndProc(HWND hwnd, UINT msg, WPARAM wp, LPARAM lp);
  LRESULT Handle(UINT msg, WPARAM wp, LPARAM lp);

  void CreateChildren();
  void ApplyDpi(int dpi);
  void Layout();
  void ShowDrives();
  void ShowFolderAndFiles();
  void ShowPathBox();
  void OnCommand(int id, int code);
  void OnDpiChanged(const RECT& suggested, int dpi);
  void OnThemeChange(UINT msg, WPARAM wp, LPARAM lp);
  void DrawItem(const DRAWITEMSTRUCT& di);
  PaintStyle Style() const;
  int RowHeight() const;

  // RunControls, over the window's own controls.
  std::string ButtonCaption() override;
  void SetButtonCaption(const std::string& caption) override;
  void SetStatus(const std::string& text) override;
  std::string InstallPath() override;

  Form1 form_;
  Env& env_;
  std::string updater_folder_;
  HWND hwnd_ = nullptr;
  std::array<HWND, layout::kControlCount> children_{};
  HWND focus_ = nullptr;  // restored when the window is activated again
  int dpi_ = 96;
  bool (*const high_contrast_on_)();
  bool high_contrast_ = false;  // then every colour painted is one of the theme's
  FontSet fonts_;
  std::unique_ptr<Announcer> announcer_;
  int te_assignments_shown_ = -1;
  bool setting_path_box_ = false;
};

}  // namespace qrv3::win
