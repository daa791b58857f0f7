#include "app/form1.h"

namespace qrv3 {

std::string PathRule(const std::string& folder) {
  std::string f = folder;
  if (!f.empty() && f.back() == '\\') f = f.substr(0, 2);
  return f + "\\";
}

Form1::Form1(FolderSource& source) : dr(source), di(source), fi(source) {
  dr.on_change = [this] { dr_Change(); };
  di.on_change = [this] { di_Change(); };
  fi.SetPath(di.Path(), di.listing());
}

void Form1::Form_Load() {
  // Each step may fail (no drive C, no installation yet); the next one runs regardless.
  (void)dr.SetDrive(std::string(kDefaultDrive));
  (void)di.SetPath(std::string(kDefaultInstallFolder));
  te.SetText(PathRule(di.Path()));
}

void Form1::dr_Change() { (void)di.SetPath(dr.Drive()); }

void Form1::di_Change() {
  te.SetText(PathRule(di.Path()));
  // The folder list has just read this folder: one read of a large or remote folder, not two.
  fi.SetPath(di.Path(), di.listing());
}

}  // namespace qrv3
