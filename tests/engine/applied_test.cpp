#include "engine/applied.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <functional>

#include "tests/engine/faulty_env.h"
#include "tests/engine/fixture.h"

namespace qrv3::testing {
namespace {
namespace fs = std::filesystem;

class AppliedTest : public InstallationTest {
 protected:
  UpdateCheck Check() {
    DataPieces data(*Env::Default(), pieces.str());
    return CheckUpdate(*Env::Default(), [this] { return install.install_path(); }, data);
  }
  void Update() { ASSERT_EQ(Run().outcome, RunOutcome::kFinished); }
  void Stamp(const std::string& name, const char* stamp) {
    ASSERT_TRUE(demo::SetFileStamp(install / name, demo::ParseStamp(stamp)).ok());
  }
};

// What an updated installation turned into, and what a check then finds: only the new
// database's bytes, not its time, say it is updated, and the other files must still pass every
// check. What each state prints, and that checking writes nothing, the console updater's tests show.
TEST_F(AppliedTest, OnlyTheUpdatedInstallationIsTakenForUpdated) {
  EXPECT_EQ(Check().step_counter, 15);
  TempDir elsewhere;
  struct Case {
    const char* what;
    std::function<void()> change;
    UpdateState state;
    int counter;
  };
  const Case cases[] = {
      {"the database's time changed", [&] { Stamp("Database\\p03.PAC", "2031/01/02 03:04:05"); },
       UpdateState::kAlreadyApplied, 10},
      {"the first byte of the last piece changed",
       [&] {
         std::fstream db(demo::FsPath(Database()), std::ios::binary | std::ios::in | std::ios::out);
         db.seekp(9183200);
         db.put(static_cast<char>(new_bytes[9183200] ^ 0x5a));
       },
       UpdateState::kNotExpected, 10},
      {"the old database grown to the new one's size",
       [&] {
         ASSERT_TRUE(demo::WriteInstallation(install.str()).ok());
         fs::resize_file(demo::FsPath(Database()), 12121535);
       },
       UpdateState::kNotExpected, 10},
      {"the help file touched", [&] { Stamp("QRV_3.CHM", "2002/09/09 11:02:57"); }, UpdateState::kNotExpected, 8},
      // After the database: the run never gets there.
      {"the fifth file touched", [&] { Stamp("qrv_D3.EXE", "2002/09/09 15:44:19"); }, UpdateState::kNotExpected, 10},
      {"no database", [&] { fs::remove(demo::FsPath(Database())); }, UpdateState::kNotExpected, 9},
#ifndef _WIN32
      // Not read, and so not the installation's.
      {"the database reached through a link",
       [&] {
         fs::rename(demo::FsPath(Database()), elsewhere.path() / "p03.PAC");
         fs::create_symlink(elsewhere.path() / "p03.PAC", demo::FsPath(Database()));
       },
       UpdateState::kNotExpected, 10},
#endif
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    ASSERT_TRUE(demo::WriteInstallation(install.str()).ok());
    Update();
    c.change();
    const UpdateCheck check = Check();
    EXPECT_EQ(check.state, c.state);
    EXPECT_EQ(check.step_counter, c.counter);
  }
}

TEST_F(AppliedTest, MissingOrShortPiecesAreReportedWhenTheyMatter) {
  // Each piece file needs its header and the bytes read from it; one byte less is short.
  const std::pair<const char*, uint64_t> needed[] = {{"data3.cab", 27 + 4167105},
                                                     {"data1.cab", 26 + 2639265},
                                                     {"data4.cab", 30 + 2376832},
                                                     {"data2.cab", 29 + 2938335}};
  for (const auto& [name, size] : needed) {
    fs::resize_file(demo::FsPath(pieces / name), size);
    EXPECT_TRUE(DataPieces(*Env::Default(), pieces.str()).Open().ok()) << name;
    fs::resize_file(demo::FsPath(pieces / name), size - 1);
    const Status s = DataPieces(*Env::Default(), pieces.str()).Open();
    EXPECT_EQ(s.code(), Status::Code::kShortFile) << name;
    EXPECT_NE(s.message().find(name), std::string::npos) << s.message();
    ASSERT_TRUE(demo::WritePieces(pieces.str()).ok());
  }

  // Updated, but neither piece nor database can be read: no telling, and the reason says why.
  Update();
  FaultyEnv env(Env::Default());
  env.fail_if = [](const std::string& call) { return call == "ReadAt"; };
  DataPieces data(env, pieces.str());
  const UpdateCheck unread = CheckUpdate(env, [this] { return install.install_path(); }, data);
  EXPECT_EQ(unread.state, UpdateState::kNotExpected);
  EXPECT_EQ(unread.reason.code(), Status::Code::kIoError);
}

}  // namespace
}  // namespace qrv3::testing
