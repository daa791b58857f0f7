// A folder's entries opened as themselves on Windows: never what a link or reparse point there
// leads to, and told apart from a link under Wine too (see IsEntryOf).
#pragma once

#include <windows.h>

#include <string>

#include "base/status.h"
#include "base/win32_util_win.h"

namespace qrv3 {

// Opens an entry itself, never what a link or reparse point there points to (but see
// IsEntryOf: Wine opens what a Unix link points to all the same). A named pipe in its place
// cannot act as the one who opened it.
UniqueHandle OpenEntry(const std::wstring& path, DWORD access, DWORD share);

// What the file open as `h` is: its attributes, size, times, links and identity.
Status Identity(HANDLE h, const std::string& what, BY_HANDLE_FILE_INFORMATION* info);
// Whether two descriptions are of one file, whatever its names.
bool SameFile(const BY_HANDLE_FILE_INFORMATION& a, const BY_HANDLE_FILE_INFORMATION& b);
// Neither a folder nor a link or other reparse point.
bool PlainFile(const BY_HANDLE_FILE_INFORMATION& info);

// Deletes the file open as `h` (opened with DELETE access) through its handle.
Status DeleteByHandle(HANDLE h, const std::string& what);

// The entries of a folder, named the way the wide API takes them and opened only as themselves.
struct FolderEntries {
  std::string utf8;    // the folder's path
  std::wstring final;  // where it really is, for IsEntryOf

  std::string What(const std::string& name) const { return utf8 + "\\" + name; }
  std::wstring Path(const std::string& name) const { return Win32Path(What(name)); }

  // Opens the entry `name` itself: what a link there points to is refused (kAccessDenied). With
  // `fallback`, a file others hold without sharing `access`, or that we may not open so, is
  // opened for that instead.
  Status Open(const std::string& name, DWORD access, DWORD share, UniqueHandle* out,
              DWORD fallback = 0) const;
  // Removes the entry `name` when it is a file or a link (the link itself), never a folder. A
  // link that Wine would follow cannot be removed as a link from Windows code: it stays.
  Status Remove(const std::string& name) const;
  // Whether the entry `name` is the file open as `h`; a missing entry, or a link, is not.
  Status IsFileAt(HANDLE h, const std::string& name, bool* same) const;
};

// Opens the entry at `path` itself, as FolderEntries::Open does, for a path given whole: its
// folder is opened too, links on the way to it followed, for its final path.
Status OpenOwnEntry(const std::wstring& path, const std::string& what, DWORD access, DWORD share,
                    UniqueHandle* out);

}  // namespace qrv3
