// The console updater end to end: the real program, copied beside the data pieces as it is
// shipped, run on a generated installation.
#include <gtest/gtest.h>

#include <filesystem>

#include "engine/texts.h"
#include "tests/test_util.h"
#include "tools/demo_install.h"

namespace qrv3::testing {
namespace {
namespace fs = std::filesystem;

class CliTest : public ::testing::Test {
 protected:
  void SetUp() override {
    ASSERT_TRUE(demo::WriteInstallation(install.str()).ok());
    ASSERT_TRUE(demo::WritePieces(updater.str()).ok());
    const fs::path exe = demo::FsPath(BuildPath(QRV3_CLI_EXE));
    cli = demo::Utf8Path(updater.path() / exe.filename());
    fs::copy_file(exe, demo::FsPath(cli));
  }
  ProcessResult Cli(const std::vector<std::string>& args) {
    ProcessResult r = RunProcess(cli, args);
#ifdef _WIN32
    // A Windows console program ends its lines the Windows way.
    for (size_t at; (at = r.out.find("\r\n")) != std::string::npos;) r.out.erase(at, 1);
#endif
    return r;
  }

  TempDir install, updater;
  std::string cli;
};

TEST_F(CliTest, UpdatesAnInstallationAndReportsEachStatus) {
  ProcessResult r = Cli({install.install_path()});
  EXPECT_EQ(r.exit_code, 0);
  EXPECT_EQ(r.out, "更新中\n更新が終了しました。この更新ソフトをパソコンから削除して下さい。\n");
  EXPECT_EQ(fs::file_size(demo::FsPath(install / "Database\\p03.PAC")), 12121535u);

  // Run again on the updated installation: the database's size no longer matches.
  r = Cli({install.install_path()});
  EXPECT_EQ(r.exit_code, 1);
  std::string expected = texts::InstallationMessage(10);
  expected.replace(expected.find('\r'), 1, "\n");
  EXPECT_EQ(r.out, "更新中\n" + expected + "\n");
}

TEST_F(CliTest, ExitStatusTellsTheOutcome) {
  EXPECT_EQ(Cli({install.str()}).exit_code, 1);  // no trailing separator
  EXPECT_EQ(Cli({}).exit_code, 64);
  EXPECT_EQ(Cli({"a", "b"}).exit_code, 64);
  fs::remove(demo::FsPath(updater / "data1.cab"));
  ProcessResult r = Cli({install.install_path()});
  EXPECT_EQ(r.exit_code, 2);
  EXPECT_TRUE(r.out.ends_with("Error=15\n")) << r.out;
}

}  // namespace
}  // namespace qrv3::testing
