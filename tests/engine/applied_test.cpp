#include "engine/applied.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>

#include "tests/engine/fixture.h"

namespace qrv3::testing {
namespace {
namespace fs = std::filesystem;

class AppliedTest : public InstallationTest {
 protected:
  UpdateCheck Check() {
    return CheckUpdate(*Env::Default(), [this] { return install.install_path(); }, pieces.str());
  }
  void Update() { ASSERT_EQ(Run(), RunOutcome::kFinished); }
  void Stamp(const std::string& name, const char* stamp) {
    ASSERT_TRUE(demo::SetFileStamp(install / name, demo::ParseStamp(stamp)).ok());
  }
};

// What each state prints, and that checking writes nothing, the console updater's tests show.
TEST_F(AppliedTest, ExpectedReleaseCanBeUpdatedAndAnUpdatedOneIsRecognised) {
  EXPECT_EQ(Check().step_counter, 15);
  Update();
  // The new database's own time does not matter: only its bytes say it is the updated one.
  Stamp("Database\\p03.PAC", "2031/01/02 03:04:05");
  const UpdateCheck c = Check();
  EXPECT_EQ(c.state, UpdateState::kAlreadyApplied);
  EXPECT_EQ(c.step_counter, 10);  // what the window's run says of it: the database's size
}

TEST_F(AppliedTest, UpdatedLookalikesAreNotTakenForUpdated) {
  Update();
  const char flipped = static_cast<char>(ReadAll(Database())[9183200] ^ 0x5a);
  {
    // One byte of the database differs: the first of the last piece.
    std::fstream db(demo::FsPath(Database()), std::ios::binary | std::ios::in | std::ios::out);
    db.seekp(9183200);
    db.put(flipped);
  }
  UpdateCheck c = Check();
  EXPECT_EQ(c.state, UpdateState::kNotExpected);
  EXPECT_EQ(c.step_counter, 10);

  // The old database grown to the new one's size.
  fs::resize_file(demo::FsPath(Database()), 12121535);
  c = Check();
  EXPECT_EQ(c.state, UpdateState::kNotExpected);
  EXPECT_EQ(c.step_counter, 10);
#ifndef _WIN32
  // The updated database, but reached through a link: not read, and so not the installation's.
  TempDir elsewhere;
  ASSERT_TRUE(demo::WriteInstallation(install.str()).ok());
  Update();
  fs::rename(demo::FsPath(Database()), elsewhere.path() / "p03.PAC");
  fs::create_symlink(elsewhere.path() / "p03.PAC", demo::FsPath(Database()));
  c = Check();
  EXPECT_EQ(c.state, UpdateState::kNotExpected);
  EXPECT_EQ(c.reason.code(), Status::Code::kAccessDenied);
#endif
}

TEST_F(AppliedTest, OtherFilesMustStillPassEveryCheck) {
  Update();
  Stamp("QRV_3.CHM", "2002/09/09 11:02:57");
  UpdateCheck c = Check();
  EXPECT_EQ(c.state, UpdateState::kNotExpected);
  EXPECT_EQ(c.step_counter, 8);

  Stamp("QRV_3.CHM", "2002/09/09 11:02:56");
  Stamp("qrv_D3.EXE", "2002/09/09 15:44:19");  // after the database: the run never gets there
  c = Check();
  EXPECT_EQ(c.state, UpdateState::kNotExpected);
  EXPECT_EQ(c.step_counter, 10);

  Stamp("qrv_D3.EXE", "2002/09/09 15:44:18");
  fs::remove(demo::FsPath(Database()));
  c = Check();
  EXPECT_EQ(c.state, UpdateState::kNotExpected);
  EXPECT_EQ(c.step_counter, 9);
}

TEST_F(AppliedTest, MissingOrShortPiecesAreReportedWhenTheyMatter) {
  // Each piece file needs its header and the bytes read from it; one byte less is short.
  const std::pair<const char*, uint64_t> needed[] = {{"data3.cab", 27 + 4167105},
                                                     {"data1.cab", 26 + 2639265},
                                                     {"data4.cab", 30 + 2376832},
                                                     {"data2.cab", 29 + 2938335}};
  for (const auto& [name, size] : needed) {
    fs::resize_file(demo::FsPath(pieces / name), size);
    EXPECT_TRUE(CheckPieces(*Env::Default(), pieces.str()).ok()) << name;
    fs::resize_file(demo::FsPath(pieces / name), size - 1);
    const Status s = CheckPieces(*Env::Default(), pieces.str());
    EXPECT_EQ(s.code(), Status::Code::kShortFile) << name;
    EXPECT_NE(s.message().find(name), std::string::npos) << s.message();
    ASSERT_TRUE(demo::WritePieces(pieces.str()).ok());
  }

  fs::remove(demo::FsPath(pieces / "data4.cab"));
  const UpdateCheck c = Check();
  EXPECT_EQ(c.reason.code(), Status::Code::kNotFound);
  EXPECT_EQ(c.step_counter, 15);
}

}  // namespace
}  // namespace qrv3::testing
