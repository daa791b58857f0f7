#include "engine/rebuild.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <fstream>

#include "engine/temporary_name.h"
#include "engine/verify.h"
#include "tests/engine/faulty_env.h"
#include "tests/engine/fixture.h"

namespace qrv3::testing {
namespace {
namespace fs = std::filesystem;

using RebuildTest = InstallationTest;

// Worked out from the piece files with the fixture's positions, not the engine's piece table.
// Pieces without the tail the rebuild never reads suffice.
TEST_F(RebuildTest, NewDatabaseIsAssembledFromThePieceRanges) {
  for (const char* name : {"data1.cab", "data2.cab", "data3.cab", "data4.cab"}) {
    fs::resize_file(demo::FsPath(pieces / name), fs::file_size(demo::FsPath(pieces / name)) - 7);
  }
  ASSERT_EQ(Run().outcome, RunOutcome::kFinished);
  ExpectNewDatabase();
  // Byte 4,167,105 (1-based) is piece 2's byte 27: it overwrote piece 1's last byte.
  EXPECT_NE(ReadAll(pieces / "data3.cab")[27 + 4167104], new_bytes[4167104]);
  // The database keeps its place and name, and nothing else is left beside it.
  EXPECT_EQ(DatabaseFolder(), (std::vector<std::string>{"J03.PAC", "p03.PAC"}));
  // Running again on the updated installation stops at the database's size.
  EXPECT_EQ(VerifyInstallation(*Env::Default(), [&] { return install.install_path(); }), 10);
  // A fresh name for the new database: "P03.pac.", 16 lowercase hexadecimal digits, ".tmp".
  EXPECT_EQ(TemporaryName(0xfedcba9876543210), "P03.pac.fedcba9876543210.tmp");
  EXPECT_EQ(TemporaryName(42), "P03.pac.000000000000002a.tmp");
}

// A piece that cannot serve is found before anything of the installation is even opened.
TEST_F(RebuildTest, BadPiecesOrDatabaseLeaveTheOldDatabase) {
  const struct {
    const char* what;
    std::function<void(RebuildTest&)> spoil;
    bool installation_opened;
  } cases[] = {
      {"a piece is missing", [](RebuildTest& t) { fs::remove(demo::FsPath(t.pieces / "data4.cab")); }, false},
      {"the last piece is one byte short",
       [](RebuildTest& t) { fs::resize_file(demo::FsPath(t.pieces / "data2.cab"), 29 + 2938335 - 1); }, false},
      {"the database is read-only", [](RebuildTest& t) { SetReadOnly(t.Database(), true); }, true},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.what);
    TearDown();
    SetUp();
    c.spoil(*this);
    FaultyEnv env(Env::Default());
    EXPECT_EQ(Run(env).outcome, RunOutcome::kRebuildFailed);
    EXPECT_EQ(std::ranges::count(env.log(), "OpenFolder") > 0, c.installation_opened);
    EXPECT_EQ(status, texts::InstallationMessage(15));
    EXPECT_EQ(caption, texts::kReadyButton);
    SetReadOnly(Database(), false);
    ExpectOldDatabase();
  }
}

#ifdef _WIN32
// A path in the device namespace (\\.\C:\…) reaches every file, but a rename by handle cannot
// name the database through it: refused before anything is written.
TEST_F(RebuildTest, AnInstallationNoReplaceCanNameIsRefusedBeforeAnyWrite) {
  FaultyEnv env(Env::Default());
  RecordingControls controls("\\\\.\\" + install.install_path());
  const RunResult run = Run(controls, env);
  EXPECT_EQ(run.outcome, RunOutcome::kRebuildFailed);
  EXPECT_EQ(run.rebuild.code(), Status::Code::kInvalidPath) << run.rebuild.ToString();
  EXPECT_EQ(std::count(env.log().begin(), env.log().end(), "CreateNew"), 0);
  ExpectOldDatabase();
}
#endif

// Every call of the file services that a run makes is failed once, in turn, in each of the ways
// a call can fail: on a plain installation, on one where a killed run left its temporary file,
// when the first replace is refused for a moment, and when every replace fails, so that the
// run's way back fails too. Each time the run either finishes with the new database in place or
// leaves the old one byte for byte with nothing of its own beside it, and says which.
TEST_F(RebuildTest, AFailureAtAnyCallLeavesTheInstallationWholeAndTellsTheTruth) {
  struct Scenario {
    const char* what;
    const char* leftover;  // planted before each run, or null
    int refused_replaces;
    Status::Code refusal;
  };
  for (const Scenario& sc : {Scenario{"plain", nullptr, 0, Status::Code::kOk},
                             Scenario{"a killed run's leftover", "P03.pac.0123456789abcdef.tmp", 0, Status::Code::kOk},
                             Scenario{"a replace refused for a moment", nullptr, 1, Status::Code::kInUse},
                             Scenario{"every replace failing", nullptr, 1 << 30, Status::Code::kIoError}}) {
    SCOPED_TRACE(sc.what);
    planted = sc.leftover != nullptr ? sc.leftover : "";
    const auto prepare = [&](FaultyEnv& env) {
      if (sc.leftover) std::ofstream(demo::FsPath(install / "Database\\" + sc.leftover)) << "left";
      env.fail_if_code = sc.refusal;
      env.fail_if = [&sc, replaces = 0](const std::string& call) mutable {
        return call == "ReplaceInto" && ++replaces <= sc.refused_replaces;
      };
    };
    int total;
    {
      FaultyEnv counting(Env::Default());
      prepare(counting);
      ASSERT_EQ(Run(counting).outcome, sc.refused_replaces > 1 ? RunOutcome::kRebuildFailed : RunOutcome::kFinished);
      total = static_cast<int>(counting.log().size());
      if (sc.refused_replaces == 0) {
        // A success lasts: the new file gets its owner and permissions before its bytes are
        // flushed (with them), and the folder is flushed once the rename has put it in place.
        const auto& log = counting.log();
        const auto at = [&](const char* call) { return std::find(log.begin(), log.end(), call) - log.begin(); };
        EXPECT_LT(at("SetMetadata"), at("Sync"));
        EXPECT_LT(at("ReplaceInto"), at("SyncFolder"));
        EXPECT_LT(at("SyncFolder"), std::ssize(log));
      }
      ASSERT_TRUE(demo::WriteInstallation(install.str()).ok());  // undo the update
    }
    ASSERT_GT(total, 15);

    for (Fault fault : {Fault::kNotDone, Fault::kDoneButFailed, Fault::kThrows}) {
      for (int n = 1; n <= total; ++n) {
        SCOPED_TRACE(std::string(FaultName(fault)) + ": call " + std::to_string(n) + " of " +
                     std::to_string(total));
        FaultyEnv faulty(Env::Default(), n, fault);
        prepare(faulty);
        const RunOutcome outcome = Run(faulty).outcome;
        SCOPED_TRACE("the failed call: " + faulty.log()[n - 1]);
        if (outcome == RunOutcome::kFinished) {
          ExpectNewDatabase();
          EXPECT_EQ(DatabaseFolder(), (std::vector<std::string>{"J03.PAC", "p03.PAC"}));
          ASSERT_TRUE(demo::WriteInstallation(install.str()).ok());  // back to the old release
          continue;
        }
        // Each verification check is one call; the calls after them belong to the rebuild.
        EXPECT_EQ(outcome, n <= 15 ? RunOutcome::kInstallationInvalid : RunOutcome::kRebuildFailed);
        EXPECT_EQ(status, texts::InstallationMessage(n <= 15 ? n - 1 : 15));
        EXPECT_EQ(caption, texts::kReadyButton);
        ExpectOldDatabase();
      }
    }
  }
}

}  // namespace
}  // namespace qrv3::testing
