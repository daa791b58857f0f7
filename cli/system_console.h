// The console updater's platform part, behind one seam: the streams, which are UTF-16 on a
// Windows console and UTF-8 anywhere else, and the holding off of Ctrl+C, Ctrl+Break, a closed
// console and termination signals while the update run writes. system_console_win.cpp and
// system_console_posix.cpp implement it, each with the program's entry point, which calls
// RunProgram.
#pragma once

#include <cstdio>
#include <string>
#include <vector>

#include "cli/console.h"

namespace qrv3::cli {

// The process's own standard streams. An interruption that comes between RunStarts and the end
// of the program is held off and noted, not acted on.
class SystemConsole final : public Console {
 public:
  void Out(const std::string& line) override;
  void Err(const std::string& line) override;
  void RunStarts() override;
  void RunEnds() override;
};

// Whether an interruption came while it was held off.
bool Interrupted();
// Ends the process by the interruption that was held off, where the platform can (POSIX: by the
// pending signal); returns where it cannot.
void ExitAsInterrupted();
// What a program ended by an interruption returns.
int InterruptedExit();

// Writes one line of UTF-8 text and its newline to `stream` and flushes it.
void WriteLine(FILE* stream, const std::string& text);

// The console updater on the system's console with `args` (without the program's name): its
// exit status.
int RunProgram(const std::vector<std::string>& args);

}  // namespace qrv3::cli
