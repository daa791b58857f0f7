// qrv3-demo-driver EXE BEFORE.bmp AFTER.bmp [INSTALL]: starts the updater, types INSTALL into its
// path box if given, takes a picture of its window, presses the start button, takes another, and
// closes it. Prints the status texts it saw.
#include <cstdio>

#include "base/utf.h"
#include "tools/window_driver_win.h"

int wmain(int argc, wchar_t** argv) {
  using qrv3::layout::Id;
  if (argc != 4 && argc != 5) {
    std::fputs("usage: qrv3-demo-driver EXE BEFORE.bmp AFTER.bmp [INSTALL]\n", stderr);
    return 64;
  }
  qrv3::driver::UpdaterWindow w;
  if (!w.Launch(qrv3::Narrow(argv[1]))) {
    std::fputs("qrv3-demo-driver: the updater's window did not appear\n", stderr);
    return 1;
  }
  if (argc == 5) w.Type(qrv3::Narrow(argv[4]));
  std::printf("path box: %s\nbefore: %s\n", w.Text(Id::te).c_str(), w.Text(Id::Lab1).c_str());
  bool ok = w.Capture(qrv3::Narrow(argv[2]));
  w.PressStart();
  std::printf("after: %s\nbutton: %s\n", w.Text(Id::Lab1).c_str(), w.Text(Id::Command1).c_str());
  ok = w.Capture(qrv3::Narrow(argv[3])) && ok;
  const int code = w.Close();
  return ok && code == 0 ? 0 : 1;
}
