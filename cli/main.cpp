// qrv3-updater-cli: the update run for administrators, deployment tools and scripts (see
// cli/console.h and --help). This file is the platform's part: the streams, which are UTF-16 on
// a Windows console and UTF-8 anywhere else, and the holding off of Ctrl+C, Ctrl+Break, a
// closed console and termination signals while the update run writes.
#include <atomic>
#include <cstdio>
#include <string>
#include <string_view>
#include <vector>

#include "cli/console.h"
#include "engine/env.h"

#ifdef _WIN32
#include <windows.h>

#include "engine/env_win.h"
#include "engine/process_win.h"
#include "engine/utf.h"
#else
#include <signal.h>
#endif

namespace {

#ifdef _WIN32
// A Windows console gets UTF-16, which shows the Japanese texts whatever its code page; a pipe
// or a file gets the UTF-8 bytes.
void WriteLine(DWORD which, FILE* stream, const std::string& text) {
  HANDLE h = GetStdHandle(which);
  DWORD mode;
  if (h != INVALID_HANDLE_VALUE && h != nullptr && GetConsoleMode(h, &mode)) {
    const std::wstring w = qrv3::Widen(text + "\n");
    DWORD written;
    WriteConsoleW(h, w.data(), static_cast<DWORD>(w.size()), &written, nullptr);
    return;
  }
  std::fwrite(text.data(), 1, text.size(), stream);
  std::fputc('\n', stream);
  std::fflush(stream);
}

std::atomic<bool> interrupted{false};
qrv3::UniqueHandle run_over;  // a manual-reset event, set when the update run has ended

// Runs on a thread of its own. Ctrl+C and Ctrl+Break are only noted: the run goes on and the
// program ends after it. For a closed console, a log-off or a shut-down the system ends the
// process as soon as this returns, so it waits for the run first (the system grants some
// seconds; the run takes about one).
BOOL WINAPI HoldOffDuringRun(DWORD event) {
  interrupted = true;
  if (event != CTRL_C_EVENT && event != CTRL_BREAK_EVENT) {
    WaitForSingleObject(run_over.get(), INFINITE);
  }
  return TRUE;
}

class Win32Console final : public qrv3::cli::Console {
 public:
  void Out(const std::string& line) override { WriteLine(STD_OUTPUT_HANDLE, stdout, line); }
  void Err(const std::string& line) override { WriteLine(STD_ERROR_HANDLE, stderr, line); }
  void RunStarts() override {
    run_over.reset(CreateEventW(nullptr, TRUE, FALSE, nullptr));
    SetConsoleCtrlHandler(HoldOffDuringRun, TRUE);
  }
  void RunEnds() override { SetEvent(run_over.get()); }
};

// What a program ended by Ctrl+C returns on Windows.
constexpr int kInterruptedExit = static_cast<int>(0xC000013A);  // STATUS_CONTROL_C_EXIT

bool Interrupted() { return interrupted; }
void ExitAsInterrupted() {}

// Everything the process sets up for itself before it reads its arguments.
void StartUp() {
  // Before anything touches a drive or loads a library: an administrator runs this too.
  qrv3::HardenProcess();
}
#else
void WriteLine(FILE* stream, const std::string& text) {
  std::fwrite(text.data(), 1, text.size(), stream);
  std::fputc('\n', stream);
  std::fflush(stream);
}

constexpr int kStopSignals[] = {SIGINT, SIGTERM, SIGHUP};
sigset_t held;  // those of them that would end the program: not ignored (as nohup does)

// The signals stay blocked from the start of the run to the end of the program: one that
// arrives meanwhile is only pending, and is looked at once the outcome is known.
class PosixConsole final : public qrv3::cli::Console {
 public:
  void Out(const std::string& line) override { WriteLine(stdout, line); }
  void Err(const std::string& line) override { WriteLine(stderr, line); }
  void RunStarts() override {
    sigemptyset(&held);
    for (int sig : kStopSignals) {
      struct sigaction now;
      if (sigaction(sig, nullptr, &now) == 0 && now.sa_handler != SIG_IGN) sigaddset(&held, sig);
    }
    pthread_sigmask(SIG_BLOCK, &held, nullptr);
  }
};

// As a shell counts a program killed by SIGINT.
constexpr int kInterruptedExit = 128 + SIGINT;

bool Interrupted() {
  sigset_t pending;
  sigpending(&pending);
  for (int sig : kStopSignals) {
    if (sigismember(&held, sig) && sigismember(&pending, sig)) return true;
  }
  return false;
}

// Ends the process by the pending signal itself, so that a calling shell sees the program
// interrupted and stops its loop or script, as it would for any program.
void ExitAsInterrupted() { pthread_sigmask(SIG_UNBLOCK, &held, nullptr); }

void StartUp() {
  // A reader that goes away (`| head`) makes writes fail instead of killing the run.
  signal(SIGPIPE, SIG_IGN);
}
#endif

template <class ConsoleType>
int Run(const std::vector<std::string>& args) {
  ConsoleType console;
  int status;
  try {
    status = qrv3::cli::Main(args, *qrv3::Env::Default(), qrv3::UpdaterFolder(), console);
  } catch (...) {
    // The run itself lets nothing escape and has put everything back; what is left (no memory
    // for an argument or a line) still deserves a status, not an abort.
    std::fputs("qrv3-updater-cli: out of memory\n", stderr);
    return qrv3::cli::kExitRebuildFailed;
  }
  if (!Interrupted()) return status;
  // Interruptions are held only during an update run; 0 then means the new database is in place.
  // One that came too late to matter is dropped: on POSIX it stays blocked until the program ends.
  if (status == qrv3::cli::kExitFinished) {
    console.Err("qrv3-updater-cli: interrupted after the update had been applied; it is complete");
    return status;
  }
  console.Err("qrv3-updater-cli: interrupted; nothing was changed");
  ExitAsInterrupted();
  return kInterruptedExit;
}

}  // namespace

#ifdef _WIN32
int wmain(int argc, wchar_t** argv) {
  StartUp();
  std::vector<std::string> args;
  for (int i = 1; i < argc; ++i) {
    // Windows programs answer "/?" with their help.
    args.push_back(std::wstring_view(argv[i]) == L"/?" ? "--help" : qrv3::Narrow(argv[i]));
  }
  return Run<Win32Console>(args);
}
#else
int main(int argc, char** argv) {
  StartUp();
  return Run<PosixConsole>(std::vector<std::string>(argv + 1, argv + argc));
}
#endif
