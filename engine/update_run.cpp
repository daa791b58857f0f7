#include "engine/update_run.h"

#include "engine/rebuild.h"
#include "engine/texts.h"
#include "engine/verify.h"

namespace qrv3 {
namespace {

void Show(RunControls& controls, const std::string& status, std::string_view caption) {
  controls.SetStatus(status);
  controls.SetButtonCaption(std::string(caption));
}

// Fills `result` as it goes, so that an exception finds there how far the run got.
void Run(RunControls& controls, Env& env, DataPieces& pieces, RunResult& result, bool& started) {
  // The caption is the only guard against a second start.
  const std::string caption = controls.ButtonCaption();
  if (caption == texts::kFinishedButton || caption == texts::kWorking) return;
  started = true;
  Show(controls, std::string(texts::kWorking), texts::kWorking);

  auto install_path = [&controls] { return controls.InstallPath(); };
  result.step_counter = VerifyInstallation(env, install_path);
  if (result.step_counter != kAllChecks) {
    result.outcome = RunOutcome::kInstallationInvalid;
    Show(controls, texts::InstallationMessage(result.step_counter), texts::kReadyButton);
    return;
  }

  // Completion is shown only once the new database is in place and on the disk.
  result.rebuild = RebuildDatabase(env, install_path, pieces);
  if (!result.rebuild.ok()) {
    result.outcome = RunOutcome::kRebuildFailed;
    Show(controls, texts::InstallationMessage(result.step_counter), texts::kReadyButton);
    return;
  }
  result.outcome = RunOutcome::kFinished;
  Show(controls, std::string(texts::kFinishedStatus), texts::kFinishedButton);
}

}  // namespace

RunResult RunUpdate(RunControls& controls, Env& env, DataPieces& pieces) noexcept {
  // The rebuild and the verification report their own failures; what still arrives here comes
  // from the controls themselves (no memory for a text). The run must not end with the button
  // stuck at "working", nor report a failure over a database already replaced, so it tries once
  // more to leave the button as the outcome wants it.
  RunResult result;
  bool started = false;
  try {
    Run(controls, env, pieces, result, started);
    return result;
  } catch (...) {
    if (!started) return result;  // the state could not even be read: leave it
    const bool replaced = result.outcome == RunOutcome::kFinished;
    if (!replaced) {
      result.outcome = RunOutcome::kRebuildFailed;
      result.rebuild = Status::Error(Status::Code::kNoMemory, "the run could not show its outcome");
    }
    try {
      controls.SetButtonCaption(std::string(replaced ? texts::kFinishedButton : texts::kReadyButton));
    } catch (...) {
    }
    return result;
  }
}

}  // namespace qrv3
