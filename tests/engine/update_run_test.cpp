#include "engine/update_run.h"

#include <gtest/gtest.h>

#include <filesystem>

#include "tests/engine/fixture.h"

namespace qrv3::testing {
namespace {
namespace fs = std::filesystem;

using UpdateRunTest = InstallationTest;

TEST(Texts, InstallationMessageIsExact) {
  // A lone carriage return, two ideographic spaces.
  EXPECT_EQ(texts::InstallationMessage(0),
            "「Morvanthアーカイヴ Vol.3」が正しくインストールされていないか、\r"
            "インストールした場所が指定されていません。\u3000\u3000Error=0");
  EXPECT_TRUE(texts::InstallationMessage(14).ends_with("\u3000\u3000Error=14"));
}

// A failed check leaves the button ready for another folder; a finished run leaves it finished,
// and then, as while a run works, a press does nothing at all, though the files would now fail
// the checks.
TEST_F(UpdateRunTest, ARunShowsWorkingThenItsOutcomeAndOnlyTheFinishedOneStops) {
  RecordingControls controls(install.str());  // the separator forgotten
  RunResult run = Run(controls);
  EXPECT_TRUE(run.outcome == RunOutcome::kInstallationInvalid && run.step_counter == 0);
  EXPECT_EQ(controls.shown, (std::vector<std::string>{"status:更新中", "button:更新中",
                                                       "status:" + texts::InstallationMessage(0),
                                                       "button:更新開始"}));
  controls.install_path = install.install_path();
  controls.shown.clear();
  run = Run(controls);
  EXPECT_TRUE(run.outcome == RunOutcome::kFinished && run.step_counter == 15 && run.rebuild.ok());
  EXPECT_EQ(controls.shown, (std::vector<std::string>{
                                "status:更新中", "button:更新中",
                                "status:更新が終了しました。この更新ソフトをパソコンから削除して下さい。",
                                "button:更新終了"}));
  for (const char* caption : {"更新終了", "更新中"}) {
    controls.caption = caption;
    controls.shown.clear();
    EXPECT_EQ(Run(controls).outcome, RunOutcome::kIgnored);
    EXPECT_TRUE(controls.shown.empty());
    EXPECT_EQ(controls.caption, caption);
  }
}

// Controls that run out of memory: the state could not even be read, and all stays as it was;
// before anything was done, ready again with nothing changed; after the database was replaced,
// finished, whatever the label could show.
TEST_F(UpdateRunTest, NoExceptionLeavesTheRunAndTheButtonTellsTheTruth) {
  using Code = Status::Code;
  const struct {
    std::string fail_on;
    RunOutcome outcome;
    Code why;
    const char* caption;
    uintmax_t size;
  } cases[] = {{"caption", RunOutcome::kIgnored, Code::kOk, "更新開始", 12081855},
               {"更新中", RunOutcome::kRebuildFailed, Code::kNoMemory, "更新開始", 12081855},
               {std::string(texts::kFinishedStatus), RunOutcome::kFinished, Code::kOk, "更新終了", 12121535}};
  for (const auto& c : cases) {
    SCOPED_TRACE(c.fail_on);
    RecordingControls controls(install.install_path());
    controls.fail_on = c.fail_on;
    const RunResult run = Run(controls);
    EXPECT_EQ(run.outcome, c.outcome);
    EXPECT_EQ(run.rebuild.code(), c.why) << run.rebuild.ToString();
    EXPECT_EQ(controls.caption, c.caption);
    EXPECT_EQ(controls.shown.empty(), c.outcome == RunOutcome::kIgnored);
    EXPECT_EQ(fs::file_size(demo::FsPath(Database())), c.size);
  }
}

}  // namespace
}  // namespace qrv3::testing
