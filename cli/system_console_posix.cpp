// The console updater's platform part on POSIX: SIGINT, SIGTERM and SIGHUP held off while the
// update run writes.
#include <signal.h>

#include "cli/system_console.h"

namespace qrv3::cli {
namespace {

constexpr int kStopSignals[] = {SIGINT, SIGTERM, SIGHUP};
sigset_t held;  // those of them that would end the program: not ignored (as nohup does)

}  // namespace

void SystemConsole::Out(const std::string& line) { WriteLine(stdout, line); }
void SystemConsole::Err(const std::string& line) { WriteLine(stderr, line); }

// The signals stay blocked from the start of the run to the end of the program: one that
// arrives meanwhile is only pending, and is looked at once the outcome is known.
void SystemConsole::RunStarts() {
  sigemptyset(&held);
  for (int sig : kStopSignals) {
    struct sigaction now;
    if (sigaction(sig, nullptr, &now) == 0 && now.sa_handler != SIG_IGN) sigaddset(&held, sig);
  }
  pthread_sigmask(SIG_BLOCK, &held, nullptr);
}

void SystemConsole::RunEnds() {}

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

// As a shell counts a program killed by SIGINT.
int InterruptedExit() { return 128 + SIGINT; }

}  // namespace qrv3::cli

int main(int argc, char** argv) {
  // A reader that goes away (`| head`) makes writes fail instead of killing the run.
  signal(SIGPIPE, SIG_IGN);
  return qrv3::cli::RunProgram(std::vector<std::string>(argv + 1, argv + argc));
}
