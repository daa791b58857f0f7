#include "engine/update_run.h"

#include "engine/rebuild.h"
#include "engine/texts.h"
#include "engine/verify.h"

namespace qrv3 {

namespace {

RunOutcome Run(RunControls& controls, Env& env, const std::string& updater_folder,
               Status* rebuild_error) {
  // The caption is the only guard against a second start.
  const std::string caption = controls.ButtonCaption();
  if (caption == texts::kFinishedButton || caption == texts::kWorking) return RunOutcome::kIgnored;

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
  Status rebuilt = RebuildDatabase(env, install_path, updater_folder);
  if (rebuild_error != nullptr) *rebuild_error = rebuilt;
  if (!rebuilt.ok()) {
    controls.SetStatus(texts::InstallationMessage(step_counter));
    controls.SetButtonCaption(std::string(texts::kReadyButton));
    return RunOutcome::kRebuildFailed;
  }
  controls.SetStatus(std::string(texts::kFinishedStatus));
  controls.SetButtonCaption(std::string(texts::kFinishedButton));
  return RunOutcome::kFinished;
}

}  // namespace

RunOutcome RunUpdate(RunControls& controls, Env& env, const std::string& updater_folder,
                     Status* rebuild_error) noexcept {
  // The rebuild and the verification report their own failures; what still arrives here comes
  // from the controls themselves (no memory for a text). The run must not end with the button
  // stuck at "working", so it tries once to make it ready again.
  try {
    return Run(controls, env, updater_folder, rebuild_error);
  } catch (...) {
    if (rebuild_error != nullptr) {
      *rebuild_error = Status::Error(Status::Code::kNoMemory, "the run could not show its outcome");
    }
    try {
      if (controls.ButtonCaption() == texts::kWorking) {
        controls.SetButtonCaption(std::string(texts::kReadyButton));
      }
    } catch (...) {
    }
    return RunOutcome::kRebuildFailed;
  }
}

}  // namespace qrv3
