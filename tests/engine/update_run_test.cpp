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

TEST_F(UpdateRunTest, SuccessfulRunShowsWorkingThenFinishedAndThenIgnoresPresses) {
  RecordingControls controls(install.install_path());
  EXPECT_EQ(Run(controls).outcome, RunOutcome::kFinished);
  EXPECT_EQ(controls.shown, (std::vector<std::string>{
                                "status:更新中", "button:更新中",
                                "status:更新が終了しました。この更新ソフトをパソコンから削除して下さい。",
                                "button:更新終了"}));

  // A second press does nothing at all, even though the files would now fail the checks.
  controls.shown.clear();
  EXPECT_EQ(Run(controls).outcome, RunOutcome::kIgnored);
  EXPECT_TRUE(controls.shown.empty());
  EXPECT_EQ(controls.caption, "更新終了");
  // So does a press while it works.
  controls.caption = "更新中";
  EXPECT_EQ(Run(controls).outcome, RunOutcome::kIgnored);
  EXPECT_TRUE(controls.shown.empty());
}

TEST_F(UpdateRunTest, FailedCheckReturnsToReadySoTheUserCanTryAgain) {
  RecordingControls controls(install.str());  // the separator forgotten
  EXPECT_EQ(Run(controls).outcome, RunOutcome::kInstallationInvalid);
  EXPECT_EQ(controls.shown, (std::vector<std::string>{"status:更新中", "button:更新中",
                                                       "status:" + texts::InstallationMessage(0),
                                                       "button:更新開始"}));
  controls.install_path = install.install_path();
  EXPECT_EQ(Run(controls).outcome, RunOutcome::kFinished);
}

TEST_F(UpdateRunTest, NoExceptionLeavesTheRunAndTheButtonTellsTheTruth) {
  {
    // The state could not even be read: everything left as it was.
    RecordingControls controls(install.install_path());
    controls.fail_on = "caption";
    EXPECT_EQ(Run(controls).outcome, RunOutcome::kIgnored);
    EXPECT_TRUE(controls.shown.empty());
  }
  {
    // Before anything was done: ready again, nothing changed.
    RecordingControls controls(install.install_path());
    controls.fail_on = texts::kWorking;
    const RunResult run = Run(controls);
    EXPECT_NE(run.outcome, RunOutcome::kFinished);
    EXPECT_EQ(run.rebuild.code(), Status::Code::kNoMemory);
    EXPECT_EQ(controls.caption, texts::kReadyButton);
    EXPECT_EQ(fs::file_size(demo::FsPath(Database())), 12081855u);
  }
  {
    // After the database was replaced: finished, whatever the label could show.
    RecordingControls controls(install.install_path());
    controls.fail_on = texts::kFinishedStatus;
    const RunResult run = Run(controls);
    EXPECT_EQ(run.outcome, RunOutcome::kFinished);
    EXPECT_TRUE(run.rebuild.ok()) << run.rebuild.ToString();
    EXPECT_EQ(controls.caption, texts::kFinishedButton);
    EXPECT_EQ(fs::file_size(demo::FsPath(Database())), 12121535u);
  }
}

}  // namespace
}  // namespace qrv3::testing
