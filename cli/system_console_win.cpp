// The console updater's platform part on Windows: UTF-16 on a console, and Ctrl+C, Ctrl+Break, a
// closed console, a log-off or a shut-down held off while the update run writes.
#include <windows.h>

#include <atomic>
#include <string_view>

#include "base/process_win.h"
#include "base/utf.h"
#include "base/win32_util_win.h"
#include "cli/system_console.h"

namespace qrv3::cli {
namespace {

// A Windows console gets UTF-16, which shows the Japanese texts whatever its code page; a pipe
// or a file gets the UTF-8 bytes.
void WriteStdLine(DWORD which, FILE* stream, const std::string& text) {
  HANDLE h = GetStdHandle(which);
  DWORD mode;
  if (h != INVALID_HANDLE_VALUE && h != nullptr && GetConsoleMode(h, &mode)) {
    const std::wstring w = Widen(text + "\n");
    DWORD written;
    WriteConsoleW(h, w.data(), static_cast<DWORD>(w.size()), &written, nullptr);
    return;
  }
  WriteLine(stream, text);
}

std::atomic<bool> interrupted{false};
UniqueHandle run_over;  // a manual-reset event, set when the update run has ended

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

}  // namespace

void SystemConsole::Out(const std::string& line) { WriteStdLine(STD_OUTPUT_HANDLE, stdout, line); }
void SystemConsole::Err(const std::string& line) { WriteStdLine(STD_ERROR_HANDLE, stderr, line); }

void SystemConsole::RunStarts() {
  run_over.reset(CreateEventW(nullptr, TRUE, FALSE, nullptr));
  SetConsoleCtrlHandler(HoldOffDuringRun, TRUE);
}

void SystemConsole::RunEnds() { SetEvent(run_over.get()); }

bool Interrupted() { return interrupted; }

void ExitAsInterrupted() {}

// What a program ended by Ctrl+C returns on Windows.
int InterruptedExit() { return static_cast<int>(0xC000013A); }  // STATUS_CONTROL_C_EXIT

}  // namespace qrv3::cli

int wmain(int argc, wchar_t** argv) {
  // Before anything touches a drive or loads a library: an administrator runs this too.
  qrv3::HardenProcess();
  std::vector<std::string> args;
  for (int i = 1; i < argc; ++i) {
    // Windows programs answer "/?" with their help.
    args.push_back(std::wstring_view(argv[i]) == L"/?" ? "--help" : qrv3::Narrow(argv[i]));
  }
  return qrv3::cli::RunProgram(args);
}
