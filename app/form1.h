// The window Form1's logic for choosing the installation folder: its folder-selection controls
// and the handlers that keep the path box in step with the folder list.
#pragma once

#include <string>
#include <string_view>

#include "app/controls.h"

namespace qrv3 {

inline constexpr std::string_view kDefaultDrive = "c";
inline constexpr std::string_view kDefaultInstallFolder =
    "c:\\Program Files\\Brackwell\\Morvanth「Quelline」アーカイヴ";
// The product's own folder inside a program-files folder.
inline constexpr std::string_view kProductFolder = "Brackwell\\Morvanth「Quelline」アーカイヴ";

// The install path for a folder: the folder followed by one "\"; a drive's root "c:\" gives
// "c:\" itself, never a doubled separator. It ends in exactly one "\", and applied to its own
// result it changes nothing.
std::string PathRule(const std::string& folder);

class Form1 {
 public:
  explicit Form1(FolderSource& source);
  Form1(const Form1&) = delete;
  Form1& operator=(const Form1&) = delete;

  // Start-up defaults: drive C, the default install folder, and its install path. Every step
  // that fails is skipped without a message. Where the default install folder is missing, the
  // product's folder under the 32-bit program-files folder is opened instead, if it exists:
  // on 64-bit Windows the product's 32-bit installer put it there.
  void Form_Load();
  // The drive list moved: the folder list follows it to that drive's current folder. A drive
  // that is not ready changes nothing else.
  void dr_Change();
  // The folder list moved: the path box and the file list follow it.
  void di_Change();

  DriveList dr;
  FolderList di;
  FileList fi;
  PathBox te;

 private:
  FolderSource& source_;
};

}  // namespace qrv3
