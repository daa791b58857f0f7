// The console updater apart from its platform: the arguments, the help, the check or the update
// run, and the exit status. cli/main.cpp runs it on the system's console (cli/system_console.h).
#pragma once

#include <string>
#include <vector>

#include "engine/env.h"

namespace qrv3::cli {

// The program's name, as its messages begin.
inline constexpr const char* kName = "qrv3-updater-cli";

// What a deployment tool or a script gets back.
enum ExitStatus : int {
  kExitFinished = 0,       // the update was applied (--check: it can be applied)
  kExitCheckFailed = 1,    // the installation is not the expected release
  kExitRebuildFailed = 2,  // the data pieces are missing or short, or the database could not be
                           // replaced; nothing was changed
  kExitUpToDate = 3,       // the update is already applied; nothing was changed
  kExitBusy = 4,           // another update is running on this installation; nothing was changed
  kExitUsage = 64,         // wrong usage; nothing was done
};

class Console {
 public:
  virtual ~Console() = default;
  // One line of UTF-8 text on standard output or standard error.
  virtual void Out(const std::string& line) = 0;
  virtual void Err(const std::string& line) = 0;
  // Bracket the update run, the only part that writes, so that an interruption can be held off
  // until the database is either replaced or untouched.
  virtual void RunStarts() {}
  virtual void RunEnds() {}
};

// Runs the console updater on `args` (without the program's name) with the data pieces in
// `updater_folder`, and returns its exit status.
int Main(const std::vector<std::string>& args, Env& env, const std::string& updater_folder,
         Console& console);

}  // namespace qrv3::cli
