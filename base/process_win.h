// Start-up of a Windows program that runs as administrator from a folder anyone may have put a
// file into (Downloads): what it does before it touches a drive or loads a library.
#pragma once

#include <windows.h>

namespace qrv3 {

// No system error boxes (a drive without a medium, a crash), and libraries only from System32,
// never from the program's own folder or the current one. Call first thing in main.
void HardenProcess();

// Loads a system library by its full System32 path, never found through a search: for the
// libraries a program must not import at load time, since only the KnownDLLs are safe from a
// DLL planted beside the exe. Returns nullptr when it is not there. The library stays loaded.
HMODULE LoadSystemLibrary(const wchar_t* name);

// A function of a system library loaded that way, as a pointer of type Fn, or nullptr.
template <class Fn>
Fn SystemFunction(const wchar_t* library, const char* function) {
  HMODULE module = LoadSystemLibrary(library);
  if (module == nullptr) return nullptr;
  return reinterpret_cast<Fn>(reinterpret_cast<void*>(GetProcAddress(module, function)));
}

}  // namespace qrv3
