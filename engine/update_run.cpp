#include "engine/update_run.h"

#include "engine/rebuild.h"
#include "engine/texts.h"
#include "engine/verify.h"

namespace qrv3 {

namespace {

RunOutcome Run(RunControls& controls, Env& env, const std::string& updater_folder,
               Status* rebuild_error, bool& started, bool& replaced) {
  // The caption is the only guard against a second start.
  const std::string caption = controls.ButtonCaption();
  if (caption == texts::kFinishedButton || caption == texts::kWorking) return RunOutcome::kIgnored;
  started = true;

  controls.SetStatus(std::string(texts::kWorking));
  controls.SetButtonCaption(std::string(texts::kWorking));

  auto install_path = [&controls] { return controls.InstallPath(); };
  const int step_counter = VerifyInstallation(env, install_path);
  if (step_counter != kAllChecks) {
    controls.SetStatus(texts::InstallationMessage(step_counter));
    controls.SetButtonCaption(std::string(texts::kReadyButton));
    return RunOutcome::kInstallationInvalid;
  }

  // Completion is shown only once the new database is in place and on the disk.
  DataPieces pieces(env, updater_folder);
  Status rebuilt = RebuildDatabase(env, install_path, pieces);
  if (rebuild_error != nullptr) *rebuild_error = rebuilt;
  if (!rebuilt.ok()) {
    controls.SetStatus(texts::InstallationMessage(step_counter));
    controls.SetButtonCaption(std::string(texts::kReadyButton));
    return RunOutcome::kRebuildFailed;
  }
  replaced = true;
  controls.SetStatus(std::string(texts::kFinishedStatus));
  controls.SetButtonCaption(std::string(texts::kFinishedButton));
  return RunOutcome::kFinished;
}

}  // namespace

RunOutcome RunUpdate(RunControls& controls, Env& env, const std::string& updater_folder,
                     Status* rebuild_error) noexcept {
  // The rebuild and the verification report their own failures; what still arrives here comes
  // from the controls themselves (no memory for a text). The run must not end with the button
  // stuck at "working", nor report a failure over a database already replaced, so it tries once
  // more to leave the button as the outcome wants it.
  bool started = false, replaced = false;
  try {
    return Run(controls, env, updater_folder, rebuild_error, started, replaced);
  } catch (...) {
    if (!started) return RunOutcome::kIgnored;  // the state could not even be read: leave it
    if (!replaced && rebuild_error != nullptr) {
      *rebuild_error = Status::Error(Status::Code::kNoMemory, "the run could not show its outcome");
    }
    try {
      controls.SetButtonCaption(std::string(replaced ? texts::kFinishedButton : texts::kReadyButton));
    } catch (...) {
    }
    return replaced ? RunOutcome::kFinished : RunOutcome::kRebuildFailed;
  }
}

}  // namespace qrv3
