// The update run: what the start button does, from the guard on its caption to the outcome in
// the status label. The window and the console updater plug into the same code through
// RunControls.
#pragma once

#include <string>

#include "engine/env.h"

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

// Runs one update to its end. The data pieces are looked up in `updater_folder`. On every
// outcome but kFinished the installed files are as they were. The user is told the same for
// every rebuild failure; `rebuild_error`, when given, receives the reason for a log (kBusy when
// another run holds the installation). Nothing escapes it: a failure anywhere in the rebuild,
// lack of memory included, is the rebuild failure.
RunOutcome RunUpdate(RunControls& controls, Env& env, const std::string& updater_folder,
                     Status* rebuild_error = nullptr) noexcept;

}  // namespace qrv3
