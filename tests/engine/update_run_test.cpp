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
  EXPECT_EQ(RunUpdate(controls, *Env::Default(), pieces.str()), RunOutcome::kFinished);
  EXPECT_EQ(controls.shown, (std::vector<std::string>{
                                "status:更新中", "button:更新中",
                                "status:更新が終了しました。この更新ソフトをパソコンから削除して下さい。",
                                "button:更新終了"}));

  // A second press does nothing at all, even though the files would now fail the checks.
  controls.shown.clear();
  EXPECT_EQ(RunUpdate(controls, *Env::Default(), pieces.str()), RunOutcome::kIgnored);
  EXPECT_TRUE(controls.shown.empty());
  EXPECT_EQ(controls.caption, "更新終了");
  // So does a press while it works.
  controls.caption = "更新中";
  EXPECT_EQ(RunUpdate(controls, *Env::Default(), pieces.str()), RunOutcome::kIgnored);
  EXPECT_TRUE(controls.shown.empty());
}

TEST_F(UpdateRunTest, FailedCheckReturnsToReadySoTheUserCanTryAgain) {
  RecordingControls controls(install.str());  // the separator forgotten
  EXPECT_EQ(RunUpdate(controls, *Env::Default(), pieces.str()), RunOutcome::kInstallationInvalid);
  EXPECT_EQ(controls.shown, (std::vector<std::string>{"status:更新中", "button:更新中",
                                                       "status:" + texts::InstallationMessage(0),
                                                       "button:更新開始"}));
  controls.install_path = install.install_path();
  EXPECT_EQ(RunUpdate(controls, *Env::Default(), pieces.str()), RunOutcome::kFinished);
}

// Controls that run out of memory showing one chosen text, the way a window can.
class FailingControls final : public RunControls {
 public:
  FailingControls(std::string install_path, std::string fail_on)
      : inner(std::move(install_path)), fail_on(std::move(fail_on)) {}
  std::string ButtonCaption() override {
    if (fail_on == "caption") throw std::bad_alloc();
    return inner.ButtonCaption();
  }
  void SetButtonCaption(const std::string& c) override { inner.SetButtonCaption(c); }
  void SetStatus(const std::string& t) override {
    if (t == fail_on) throw std::bad_alloc();
    inner.SetStatus(t);
  }
  std::string InstallPath() override { return inner.InstallPath(); }

  RecordingControls inner;
  std::string fail_on;
};

TEST_F(UpdateRunTest, NoExceptionLeavesTheRunAndTheButtonTellsTheTruth) {
  {
    // The state could not even be read: everything left as it was.
    FailingControls controls(install.install_path(), "caption");
    EXPECT_EQ(RunUpdate(controls, *Env::Default(), pieces.str()), RunOutcome::kIgnored);
    EXPECT_TRUE(controls.inner.shown.empty());
  }
  {
    // Before anything was done: ready again, nothing changed.
    FailingControls controls(install.install_path(), std::string(texts::kWorking));
    EXPECT_NE(RunUpdate(controls, *Env::Default(), pieces.str()), RunOutcome::kFinished);
    EXPECT_EQ(controls.inner.caption, texts::kReadyButton);
    EXPECT_EQ(fs::file_size(demo::FsPath(Database())), 12081855u);
  }
  {
    // After the database was replaced: finished, whatever the label could show.
    FailingControls controls(install.install_path(), std::string(texts::kFinishedStatus));
    EXPECT_EQ(RunUpdate(controls, *Env::Default(), pieces.str()), RunOutcome::kFinished);
    EXPECT_EQ(controls.inner.caption, texts::kFinishedButton);
    EXPECT_EQ(fs::file_size(demo::FsPath(Database())), 12121535u);
  }
}

}  // namespace
}  // namespace qrv3::testing
