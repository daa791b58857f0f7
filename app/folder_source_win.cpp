#include <windows.h>
#include <knownfolders.h>
#include <shlobj.h>
#include <winnetwk.h>

#include <algorithm>
#include <cwchar>
#include <memory>

#include "app/folder_source.h"
#include "base/process_win.h"
#include "base/utf.h"
#include "base/win32_util_win.h"

namespace qrv3 {
namespace {

std::wstring Root(char letter) { return {static_cast<wchar_t>(letter), L':', L'\\'}; }

// No trailing separator, except for a drive's root; a share's root is "\\server\share".
std::wstring WithoutTrailingSeparator(std::wstring p) {
  while (p.size() > 3 && p.back() == L'\\') p.pop_back();
  if (p.size() == 3 && p[1] == L':') return p;
  if (p.size() == 2 && p[1] == L':') return p + L"\\";
  return p;
}

class WindowsFolderSource final : public FolderSource {
 public:
  std::vector<char> Drives() override {
    std::vector<char> letters;
    wchar_t buf[26 * 4 + 1];
    const DWORD n = GetLogicalDriveStringsW(static_cast<DWORD>(std::size(buf)), buf);
    if (n == 0 || n > std::size(buf)) return letters;
    for (const wchar_t* p = buf; *p; p += wcslen(p) + 1) {
      const wchar_t c = *p;
      if (c >= L'A' && c <= L'Z') letters.push_back(static_cast<char>(c - L'A' + 'a'));
      if (c >= L'a' && c <= L'z') letters.push_back(static_cast<char>(c));
    }
    std::sort(letters.begin(), letters.end());
    return letters;
  }

  std::string DriveNote(char letter) override {
    const std::wstring root = Root(letter);
    const UINT type = GetDriveTypeW(root.c_str());
    if (type == DRIVE_REMOTE) {
      // Answered by the local redirector from what it remembers: no trip over the network.
      const wchar_t local[] = {static_cast<wchar_t>(letter), L':', 0};
      wchar_t remote[1024];
      DWORD len = static_cast<DWORD>(std::size(remote));
      // MPR is no KnownDLL: imported at load time it would be looked for beside the exe first.
      using GetConnectionFn = DWORD(WINAPI*)(LPCWSTR, LPWSTR, LPDWORD);
      static const auto get_connection =
          SystemFunction<GetConnectionFn>(L"mpr.dll", "WNetGetConnectionW");
      if (get_connection != nullptr && get_connection(local, remote, &len) == NO_ERROR) {
        return "[" + Narrow(remote) + "]";
      }
      return "";
    }
    if (type == DRIVE_NO_ROOT_DIR || type == DRIVE_UNKNOWN) return "";
    // A drive without a medium answers at once (critical-error boxes are off).
    wchar_t label[MAX_PATH + 1] = {};
    if (!GetVolumeInformationW(root.c_str(), label, static_cast<DWORD>(std::size(label)), nullptr,
                               nullptr, nullptr, nullptr, 0) ||
        label[0] == 0) {
      return "";
    }
    return "[" + Narrow(label) + "]";
  }

  Status DriveCurrentFolder(char letter, std::string* folder) override {
    const std::wstring root = Root(letter);
    if (GetFileAttributesW(root.c_str()) == INVALID_FILE_ATTRIBUTES) {
      return StatusFromWin32(GetLastError(), "drive " + std::string{letter, ':'});
    }
    const wchar_t drive[] = {static_cast<wchar_t>(letter), L':', 0};
    std::wstring current = FullPathName(drive);
    if (current.empty()) return StatusFromWin32(GetLastError(), "current folder of drive");
    *folder = Narrow(WithoutTrailingSeparator(current));
    return Status::Ok();
  }

  std::string CurrentFolder() override {
    DWORD n = GetCurrentDirectoryW(0, nullptr);
    std::wstring cwd(n, L'\0');
    n = GetCurrentDirectoryW(n, cwd.data());
    cwd.resize(n);
    return Narrow(WithoutTrailingSeparator(cwd));
  }

  std::string ProgramFilesX86() override {
    // Shell32 is a KnownDLL, but its own imports need not be (Wine's pulls shcore): imported
    // at load time, it would bring a DLL from beside the exe before the process is hardened.
    using GetKnownFolderPathFn = HRESULT(WINAPI*)(REFKNOWNFOLDERID, DWORD, HANDLE, PWSTR*);
    static const auto get_known_folder_path =
        SystemFunction<GetKnownFolderPathFn>(L"shell32.dll", "SHGetKnownFolderPath");
    PWSTR path = nullptr;
    std::string folder;
    if (get_known_folder_path != nullptr &&
        SUCCEEDED(get_known_folder_path(FOLDERID_ProgramFilesX86, 0, nullptr, &path))) {
      folder = Narrow(path);
    }
    CoTaskMemFree(path);
    return folder;
  }

  Status OpenFolder(const std::string& path, std::string* folder) override {
    std::wstring full = FullPathName(Widen(path));
    if (full.empty()) return StatusFromWin32(GetLastError(), "full path of " + path);
    const DWORD a = GetFileAttributesW(Win32Path(Narrow(full)).c_str());
    if (a == INVALID_FILE_ATTRIBUTES) return StatusFromWin32(GetLastError(), "open " + path);
    if (!(a & FILE_ATTRIBUTE_DIRECTORY)) return StatusFromWin32(ERROR_DIRECTORY, path);
    *folder = Narrow(WithoutTrailingSeparator(full));
    return Status::Ok();
  }

  Status ListFolder(const std::string& folder, std::vector<FolderEntry>* entries) override {
    const std::string pattern = folder + (!folder.empty() && folder.back() == '\\' ? "*" : "\\*");
    WIN32_FIND_DATAW fd;
    UniqueFindHandle find(FindFirstFileExW(Win32Path(pattern).c_str(), FindExInfoBasic, &fd,
                                           FindExSearchNameMatch, nullptr, FIND_FIRST_EX_LARGE_FETCH));
    entries->clear();
    if (!find.valid()) {
      const DWORD err = GetLastError();
      if (err == ERROR_FILE_NOT_FOUND) return Status::Ok();  // an empty root folder
      return StatusFromWin32(err, "list " + folder);
    }
    do {
      const std::wstring_view name = fd.cFileName;
      if (name == L"." || name == L"..") continue;
      FolderEntry e;
      e.name = Narrow(name);
      e.folder = (fd.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) != 0;
      e.hidden = (fd.dwFileAttributes & (FILE_ATTRIBUTE_HIDDEN | FILE_ATTRIBUTE_SYSTEM)) != 0;
      entries->push_back(std::move(e));
    } while (FindNextFileW(find.get(), &fd));
    const DWORD err = GetLastError();
    if (err != ERROR_NO_MORE_FILES) return StatusFromWin32(err, "list " + folder);
    return Status::Ok();
  }
};

}  // namespace

std::unique_ptr<FolderSource> NewWindowsFolderSource() {
  return std::make_unique<WindowsFolderSource>();
}

}  // namespace qrv3
