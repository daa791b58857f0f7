// qrv3-updater.exe: the one window of the update utility.
#include <windows.h>
#include <commctrl.h>

#include "app/folder_source.h"
#include "app/win32/form1_win.h"
#include "base/process_win.h"
#include "engine/env.h"

int WINAPI wWinMain(HINSTANCE instance, HINSTANCE, PWSTR, int show_command) {
  // Before anything touches a drive or loads a library.
  qrv3::HardenProcess();
  INITCOMMONCONTROLSEX icc = {sizeof icc, ICC_STANDARD_CLASSES};
  InitCommonControlsEx(&icc);

  auto source = qrv3::NewWindowsFolderSource();
  auto window = qrv3::win::Form1Window::Create(instance, *source, *qrv3::Env::Default(),
                                               qrv3::UpdaterFolder());
  if (!window) return 1;
  window->Show(show_command);

  MSG msg;
  while (GetMessageW(&msg, nullptr, 0, 0) > 0) {
    if (window->PreTranslate(&msg)) continue;
    TranslateMessage(&msg);
    DispatchMessageW(&msg);
  }
  return static_cast<int>(msg.wParam);
}
