// qrv3-make-demo INSTALL_DIR [PIECES_DIR]: writes a demo installation, and the data pieces when
// a folder for them is given.
#include <cstdio>
#include <string>

#include "tools/demo_install.h"

#ifdef _WIN32
#include "base/utf.h"
int wmain(int argc, wchar_t** wargv) {
  auto arg = [&](int i) { return qrv3::Narrow(wargv[i]); };
#else
int main(int argc, char** argv) {
  auto arg = [&](int i) { return std::string(argv[i]); };
#endif
  if (argc < 2 || argc > 3) {
    std::fprintf(stderr, "usage: qrv3-make-demo INSTALL_DIR [PIECES_DIR]\n");
    return 64;
  }
  qrv3::Status s = qrv3::demo::WriteInstallation(arg(1));
  if (s.ok() && argc == 3) s = qrv3::demo::WritePieces(arg(2));
  if (!s.ok()) {
    std::fprintf(stderr, "qrv3-make-demo: %s\n", s.ToString().c_str());
    return 1;
  }
  return 0;
}
