#include "base/process_win.h"

#include <string>

namespace qrv3 {

void HardenProcess() {
  SetErrorMode(SEM_FAILCRITICALERRORS | SEM_NOGPFAULTERRORBOX | SEM_NOOPENFILEERRORBOX);
  using SetDllDirsFn = BOOL(WINAPI*)(DWORD);
  // Present from Windows 8 on, and on Windows 7 with update KB2533623.
  if (auto set_dirs = reinterpret_cast<SetDllDirsFn>(reinterpret_cast<void*>(
          GetProcAddress(GetModuleHandleW(L"kernel32.dll"), "SetDefaultDllDirectories")))) {
    set_dirs(LOAD_LIBRARY_SEARCH_SYSTEM32);
  } else {
    // At least the current folder leaves the search.
    SetDllDirectoryW(L"");
  }
}

HMODULE LoadSystemLibrary(const wchar_t* name) {
  wchar_t dir[MAX_PATH];
  const UINT n = GetSystemDirectoryW(dir, MAX_PATH);
  if (n == 0 || n >= MAX_PATH) return nullptr;
  const std::wstring path = std::wstring(dir, n) + L"\\" + name;
  // With a full path, the library's own imports are looked for beside it, in System32.
  return LoadLibraryExW(path.c_str(), nullptr, LOAD_WITH_ALTERED_SEARCH_PATH);
}

}  // namespace qrv3
