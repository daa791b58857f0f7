// qrv3-updater-cli INSTALL_PATH: the update run for administrators and scripts. The argument is
// used unchanged, as if typed into the window's path box; the data pieces are looked up beside
// the program. Each status text is printed as the run sets it, one per line, in UTF-8.
//
// Exit status: 0 finished, 1 an installation check failed, 2 the rebuild failed, 64 wrong usage.
#include <cstdio>
#include <string>

#include "engine/env.h"
#include "engine/texts.h"
#include "engine/update_run.h"

#ifdef _WIN32
#include <windows.h>

#include "engine/process_win.h"
#include "engine/utf.h"
#endif

namespace {

// Writes one line of UTF-8 text to standard output. A Windows console gets it as UTF-16, which
// shows the Japanese texts whatever its code page; a pipe or a file gets the UTF-8 bytes.
void PrintLine(const std::string& text) {
#ifdef _WIN32
  HANDLE out = GetStdHandle(STD_OUTPUT_HANDLE);
  DWORD mode;
  if (out != INVALID_HANDLE_VALUE && out != nullptr && GetConsoleMode(out, &mode)) {
    const std::wstring w = qrv3::Widen(text + "\n");
    DWORD written;
    WriteConsoleW(out, w.data(), static_cast<DWORD>(w.size()), &written, nullptr);
    return;
  }
#endif
  std::fwrite(text.data(), 1, text.size(), stdout);
  std::fputc('\n', stdout);
  std::fflush(stdout);
}

class ConsoleControls final : public qrv3::RunControls {
 public:
  explicit ConsoleControls(std::string install_path) : install_path_(std::move(install_path)) {}
  std::string ButtonCaption() override { return caption_; }
  void SetButtonCaption(const std::string& caption) override { caption_ = caption; }
  void SetStatus(const std::string& text) override {
    // The window breaks the line at the lone carriage return; a terminal would overwrite it.
    std::string line = text;
    for (char& c : line) {
      if (c == '\r') c = '\n';
    }
    PrintLine(line);
  }
  std::string InstallPath() override { return install_path_; }

 private:
  std::string install_path_;
  std::string caption_{qrv3::texts::kReadyButton};
};

int Run(int argc, const std::string& install_path) {
  if (argc != 2) {
    std::fputs("usage: qrv3-updater-cli INSTALL_PATH\n", stderr);
    return 64;
  }
  ConsoleControls controls(install_path);
  qrv3::Status why;
  switch (qrv3::RunUpdate(controls, *qrv3::Env::Default(), qrv3::UpdaterFolder(), &why)) {
    case qrv3::RunOutcome::kFinished: return 0;
    case qrv3::RunOutcome::kInstallationInvalid: return 1;
    case qrv3::RunOutcome::kRebuildFailed:
      std::fprintf(stderr, "qrv3-updater-cli: %s\n", why.ToString().c_str());
      return 2;
    case qrv3::RunOutcome::kIgnored: break;
  }
  return 2;
}

}  // namespace

#ifdef _WIN32
int wmain(int argc, wchar_t** argv) {
  // Before anything touches a drive or loads a library: an administrator runs this too.
  qrv3::HardenProcess();
  return Run(argc, argc == 2 ? qrv3::Narrow(argv[1]) : std::string());
}
#else
int main(int argc, char** argv) { return Run(argc, argc == 2 ? argv[1] : std::string()); }
#endif
