// qrv3-updater.exe: the one window of the update utility.
#include <windows.h>
#include <commctrl.h>

#include "app/folder_source.h"
#include "app/win32/form1_win.h"
#include "engine/env.h"

namespace {

// Before anything touches a drive or loads a library: no system error boxes (a drive without
// a medium, a crash), and libraries only from System32, never from the folder the utility was
// downloaded to.
void Harden() {
  SetErrorMode(SEM_FAILCRITICALERRORS | SEM_NOGPFAULTERRORBOX | SEM_NOOPENFILEERRORBOX);
  using SetDllDirsFn = BOOL(WINAPI*)(DWORD);
  // Present from Windows 8 on, and on Windows 7 with update KB2533623.
  if (auto set_dirs = reinterpret_cast<SetDllDirsFn>(reinterpret_cast<void*>(
          GetProcAddress(GetModuleHandleW(L"kernel32.dll"), "SetDefaultDllDirectories")))) {
    set_dirs(LOAD_LIBRARY_SEARCH_SYSTEM32);
  } else {
    SetDllDirectoryW(L"");
  }
}

}  // namespace

int WINAPI wWinMain(HINSTANCE instance, HINSTANCE, PWSTR, int show_command) {
  Harden();
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
