#include "base/process_win.h"

#include <string>

namespace qrv3 {
namespace {

using SetDllDirsFn = BOOL(WINAPI*)(DWORD);

// Present from Windows 8 on, and on Windows 7 with update KB2533623, which brought the
// LOAD_LIBRARY_SEARCH_* flags with it.
SetDllDirsFn SetDefaultDllDirectoriesFunction() {
  static const auto set_dirs = reinterpret_cast<SetDllDirsFn>(reinterpret_cast<void*>(
      GetProcAddress(GetModuleHandleW(L"kernel32.dll"), "SetDefaultDllDirectories")));
  return set_dirs;
}

}  // namespace

void HardenProcess() {
  SetErrorMode(SEM_FAILCRITICALERRORS | SEM_NOGPFAULTERRORBOX | SEM_NOOPENFILEERRORBOX);
  if (const SetDllDirsFn set_dirs = SetDefaultDllDirectoriesFunction()) {
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
  // What the library imports in turn is looked for in System32 only. Without the flags (Windows
  // 7 without the update), a full path has its imports looked for beside it first, in System32,
  // though the search then goes on along PATH.
  const DWORD flags = SetDefaultDllDirectoriesFunction() != nullptr ? LOAD_LIBRARY_SEARCH_SYSTEM32
                                                                    : LOAD_WITH_ALTERED_SEARCH_PATH;
  return LoadLibraryExW(path.c_str(), nullptr, flags);
}

}  // namespace qrv3
