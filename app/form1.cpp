#include "app/form1.h"

#include "base/names.h"

namespace qrv3 {

std::string PathRule(const std::string& folder) {
  // The folder's trailing "\" (the folder list gives one only for a drive's root, "c:\") goes
  // before the one added; all of them: cut to its first two characters, as a root may be, "c:\a\"
  // would become its drive's root and "\" a doubled separator.
  const size_t end = folder.find_last_not_of('\\');
  return folder.substr(0, end == std::string::npos ? 0 : end + 1) + "\\";
}

Form1::Form1(FolderSource& source) : dr(source), di(source), fi(source), source_(source) {
  dr.on_change = [this] { dr_Change(); };
  di.on_change = [this] { di_Change(); };
  fi.SetPath(di.Path(), di.listing());
}

void Form1::Form_Load() {
  // Each step may fail (no drive C, no installation yet); the next one runs regardless.
  (void)dr.SetDrive(std::string(kDefaultDrive));
  const std::string default_folder(kDefaultInstallFolder);
  if (!di.SetPath(default_folder).ok()) {
    // Compared with the default install folder rather than with the program-files folder the
    // system reports: for a 32-bit build on 64-bit Windows both known folders name the 32-bit
    // one, and on 32-bit Windows the 32-bit folder is the default's own.
    const std::string x86 = source_.ProgramFilesX86();
    if (!x86.empty()) {
      const std::string folder = x86 + (x86.back() == '\\' ? "" : "\\") + std::string(kProductFolder);
      std::string found;
      if (CompareIgnoringCase(folder, default_folder) != 0 && source_.OpenFolder(folder, &found).ok()) {
        // On another drive, the drive list goes there first, so that it shows the folder's drive
        // (its own drive, or a share's name, which names no drive, changes nothing).
        (void)dr.SetDrive(std::string(1, folder[0]));
        (void)di.SetPath(folder);
      }
    }
  }
  te.SetText(PathRule(di.Path()));
}

void Form1::dr_Change() { (void)di.SetPath(dr.Drive()); }

void Form1::di_Change() {
  te.SetText(PathRule(di.Path()));
  // The folder list has just read this folder: one read of a large or remote folder, not two.
  fi.SetPath(di.Path(), di.listing());
}

}  // namespace qrv3
