// The update run: what the start button does, from the guard on its caption to the outcome in
// the status label. The window and the console updater plug into the same code through
// RunControls.
#pragma once

#include <string>

#include "engine/env.h"
#include "engine/pieces.h"

namespace qrv3 {

// The parts of the window the run reads and writes. The button caption doubles as the state of
// the utility: ready, working or finished.
class RunControls {
 public:
  virtual ~RunControls() = default;
  virtual std::string ButtonCaption() = 0;
  virtual void SetButtonCaption(const std::string& caption) = 0;
  // Shows `text` at once: the run does not return to the event loop until it is over, so a
  // window repaints here.
  virtual void SetStatus(const std::string& text) = 0;
  // The path box's text, read each time a file name is formed.
  virtual std::string InstallPath() = 0;
};

enum class RunOutcome {
  kIgnored,              // the button read "更新中" or "更新終了": nothing was done
  kInstallationInvalid,  // a verification check failed; nothing was changed
  kRebuildFailed,        // every check passed but the database could not be replaced
  kFinished,             // the new database is in place
};

// What a run did, for its caller: the window shows only its status text and caption, the
// console updater turns this into its exit status.
struct RunResult {
  RunOutcome outcome = RunOutcome::kIgnored;
  int step_counter = 0;  // the checks that passed: kAllChecks once the rebuild was reached
  Status rebuild;        // why the rebuild failed, for a log (kBusy: another run holds the
                         // installation); ok on every other outcome
};

// Runs one update to its end with the data pieces of `pieces`. On every outcome but kFinished
// the installed files are as they were. The user is told the same for every rebuild failure.
// Nothing escapes it: a failure anywhere in the rebuild, lack of memory included, is the rebuild
// failure.
RunResult RunUpdate(RunControls& controls, Env& env, DataPieces& pieces) noexcept;

}  // namespace qrv3
