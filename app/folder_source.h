// Where the folder selection gets the computer's drives, folders and files from. The Windows
// implementation asks the system; MappedFolderSource maps drive letters onto folders of the
// host's file system, for the native build and for drive states a test machine cannot produce.
//
// Paths are UTF-8 in the Windows form: "c:\dir\sub", a drive's root "c:\", a network folder
// "\\server\share\dir".
#pragma once

#include <string>
#include <vector>

#include "base/status.h"

namespace qrv3 {

struct FolderEntry {
  std::string name;
  bool folder = false;
  bool hidden = false;  // hidden or system: not listed
};

class FolderSource {
 public:
  virtual ~FolderSource() = default;

  // The drive letters of the computer, lower case, in alphabetical order. Touches no medium.
  virtual std::vector<char> Drives() = 0;

  // What the drive list shows beside a letter: "[label]" for a local volume with a label,
  // "[\\server\share]" for a mapped network drive, otherwise "". Never waits long on a
  // removable or network drive.
  virtual std::string DriveNote(char letter) = 0;

  // The drive's current folder as the system keeps it; fails when the drive is not ready.
  virtual Status DriveCurrentFolder(char letter, std::string* folder) = 0;

  // The process's current folder.
  virtual std::string CurrentFolder() = 0;

  // The folder the system installs 32-bit programs in ("C:\Program Files (x86)" on 64-bit
  // Windows, the one program-files folder on 32-bit Windows); "" when it has none.
  virtual std::string ProgramFilesX86() = 0;

  // Checks that the absolute path `path` names a folder that exists and gives its full form,
  // without a trailing separator except for a drive's root.
  virtual Status OpenFolder(const std::string& path, std::string* folder) = 0;

  // The entries of a folder, "." and ".." left out, in no particular order.
  virtual Status ListFolder(const std::string& folder, std::vector<FolderEntry>* entries) = 0;
};

}  // namespace qrv3

#ifdef _WIN32
#include <memory>
namespace qrv3 {
// The computer's own drives, folders and files.
std::unique_ptr<FolderSource> NewWindowsFolderSource();
}  // namespace qrv3
#endif
