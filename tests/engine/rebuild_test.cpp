#include "engine/rebuild.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>

#include "engine/verify.h"
#include "tests/engine/faulty_env.h"
#include "tests/engine/fixture.h"

#ifdef _WIN32
#include <windows.h>

#include "engine/env_win.h"
#else
#include <sys/stat.h>
#endif

#include <thread>

namespace qrv3::testing {
namespace {
namespace fs = std::filesystem;

class RebuildTest : public InstallationTest {
 protected:
  RunOutcome Run(Env& env, RecordingControls& controls) {
    return RunUpdate(controls, env, pieces.str());
  }
  RunOutcome Run() {
    RecordingControls controls(install.install_path());
    return Run(*Env::Default(), controls);
  }
  // The old database is there, byte for byte, with the size and time it was verified with.
  void ExpectOldDatabaseIntact() {
    bool equal = false;
    ASSERT_TRUE(FileBinaryCompare(*Env::Default(), Database(), reference / "Database\\p03.PAC", &equal).ok());
    EXPECT_TRUE(equal);
    EXPECT_EQ(VerifyInstallation(*Env::Default(), [&] { return install.install_path(); }), 15);
    EXPECT_EQ(DatabaseFolder(), (std::vector<std::string>{"J03.PAC", "p03.PAC"}));
  }
  void SetUp() override {
    InstallationTest::SetUp();
    ASSERT_TRUE(demo::WriteInstallation(reference.str()).ok());
  }

  TempDir reference;
};

// The expectation is worked out from the piece files on disk with the positions written out
// here, not from the engine's piece table.
TEST_F(RebuildTest, NewDatabaseIsAssembledFromThePieceRanges) {
  ASSERT_EQ(Run(), RunOutcome::kFinished);
  const std::vector<uint8_t> db = ReadAll(Database());
  ASSERT_EQ(db.size(), 12121535u);

  struct Range {
    const char* piece;
    size_t piece_offset;  // 0-based
    size_t db_offset;     // 0-based
    size_t length;
  };
  const Range ranges[] = {
      {"data3.cab", 27, 0, 4167104},
      {"data1.cab", 26, 4167104, 2639264},
      {"data4.cab", 30, 6806368, 2376832},
      {"data2.cab", 29, 9183200, 2938335},
  };
  size_t covered = 0;
  for (const Range& r : ranges) {
    SCOPED_TRACE(r.piece);
    const std::vector<uint8_t> piece = ReadAll(pieces / r.piece);
    ASSERT_TRUE(std::equal(db.begin() + r.db_offset, db.begin() + r.db_offset + r.length,
                           piece.begin() + r.piece_offset));
    covered += r.length;
  }
  EXPECT_EQ(covered, db.size());
  // Byte 4,167,105 (1-based) is piece 2's byte 27: it overwrote piece 1's last byte.
  EXPECT_EQ(db[4167104], ReadAll(pieces / "data1.cab")[26]);
  EXPECT_NE(ReadAll(pieces / "data3.cab")[27 + 4167104], db[4167104]);

  // The database keeps its place and name, and nothing else is left beside it.
  EXPECT_EQ(DatabaseFolder(), (std::vector<std::string>{"J03.PAC", "p03.PAC"}));
  // Running again on the updated installation stops at the database's size.
  EXPECT_EQ(VerifyInstallation(*Env::Default(), [&] { return install.install_path(); }), 10);
}

TEST_F(RebuildTest, PiecesExactlyLongEnoughSuffice) {
  for (const char* name : {"data1.cab", "data2.cab", "data3.cab", "data4.cab"}) {
    const fs::path p = demo::FsPath(pieces / name);
    fs::resize_file(p, fs::file_size(p) - 7);  // drop the tail the rebuild never reads
  }
  EXPECT_EQ(Run(), RunOutcome::kFinished);
}

TEST_F(RebuildTest, BadPiecesOrDatabaseLeaveTheOldDatabase) {
  struct Case {
    const char* what;
    std::function<void(RebuildTest&)> spoil;
  };
  const Case cases[] = {
      {"a piece is missing", [](RebuildTest& t) { fs::remove(demo::FsPath(t.pieces / "data4.cab")); }},
      {"the last piece is one byte short",
       [](RebuildTest& t) {
         fs::resize_file(demo::FsPath(t.pieces / "data2.cab"), 29 + 2938335 - 1);
       }},
      {"the database is read-only", [](RebuildTest& t) { SetReadOnly(t.Database(), true); }},
#ifndef _WIN32
      {"a FIFO stands in for a piece",
       [](RebuildTest& t) {
         const std::string p = demo::Utf8Path(demo::FsPath(t.pieces / "data1.cab"));
         fs::remove(p);
         ASSERT_EQ(mkfifo(p.c_str(), 0644), 0);
       }},
#endif
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    TearDown();
    SetUp();
    c.spoil(*this);
    RecordingControls controls(install.install_path());
    EXPECT_EQ(Run(*Env::Default(), controls), RunOutcome::kRebuildFailed);
    EXPECT_EQ(controls.status, texts::InstallationMessage(15));
    EXPECT_EQ(controls.caption, texts::kReadyButton);
    SetReadOnly(Database(), false);
    ExpectOldDatabaseIntact();
  }
}

#ifdef _WIN32
// Opened the way a running product would: shared for reading only, not for deletion.
UniqueHandle HoldLikeTheProduct(const std::string& path) {
  return UniqueHandle(CreateFileW(Win32Path(path).c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr,
                                  OPEN_EXISTING, 0, nullptr));
}

TEST_F(RebuildTest, DatabaseHeldOpenByAnotherProgramIsLeftAlone) {
  UniqueHandle held = HoldLikeTheProduct(Database());
  ASSERT_TRUE(held.valid());
  EXPECT_EQ(Run(), RunOutcome::kRebuildFailed);
  held.reset();
  ExpectOldDatabaseIntact();
}

// A scanner or indexer that looks at a file for a moment does not make the update fail.
TEST_F(RebuildTest, DatabaseHeldForAMomentIsReplacedOnceFree) {
  UniqueHandle held = HoldLikeTheProduct(Database());
  ASSERT_TRUE(held.valid());
  std::thread release([&held] {
    Sleep(300);
    held.reset();
  });
  const RunOutcome outcome = Run();
  release.join();
  EXPECT_EQ(outcome, RunOutcome::kFinished);
  EXPECT_EQ(ReadAll(Database()).size(), 12121535u);
}
#endif

// Every call of the file services that a successful run makes is failed once, in turn, in each
// of the ways a call can fail: on a plain installation, on one where a killed run left its
// temporary file, and when the first replace is refused for a moment. Each time the run either
// finishes with the new database in place or leaves the old one byte for byte with nothing of
// its own beside it, and says which.
TEST_F(RebuildTest, AFailureAtAnyCallLeavesTheInstallationWholeAndTellsTheTruth) {
  const std::vector<uint8_t> expected_new = NewDatabaseFrom(pieces);
  struct Scenario {
    const char* what;
    const char* leftover;           // planted before each run, or null
    bool refuse_first_replace;
  };
  for (const Scenario& sc : {Scenario{"plain", nullptr, false},
                             Scenario{"a killed run's leftover", "P03.pac.0123456789abcdef.tmp", false},
                             Scenario{"a replace refused for a moment", nullptr, true}}) {
    SCOPED_TRACE(sc.what);
    planted = sc.leftover != nullptr ? sc.leftover : "";
    const auto prepare = [&](FaultyEnv& env, const TempDir& dir) {
      if (sc.leftover) std::ofstream(demo::FsPath(dir / "Database\\" + sc.leftover)) << "left";
      int replaces = 0;
      if (sc.refuse_first_replace) {
        env.fail_if_code = Status::Code::kInUse;
        env.fail_if = [replaces](const std::string& call) mutable {
          return call == "ReplaceInto" && ++replaces == 1;
        };
      }
    };
    int total;
    {
      FaultyEnv counting(Env::Default());
      prepare(counting, reference);
      RecordingControls controls(reference.install_path());
      ASSERT_EQ(Run(counting, controls), RunOutcome::kFinished);
      total = counting.calls();
      ASSERT_TRUE(demo::WriteInstallation(reference.str()).ok());  // undo the update
    }
    ASSERT_GT(total, 15);

    for (Fault fault : {Fault::kNotDone, Fault::kDoneButFailed, Fault::kThrows}) {
      for (int n = 1; n <= total; ++n) {
        SCOPED_TRACE(std::string(FaultName(fault)) + ": call " + std::to_string(n) + " of " +
                     std::to_string(total));
        FaultyEnv faulty(Env::Default(), n, fault);
        prepare(faulty, install);
        RecordingControls controls(install.install_path());
        const RunOutcome outcome = Run(faulty, controls);
        SCOPED_TRACE("the failed call: " + faulty.log()[n - 1]);
        if (outcome == RunOutcome::kFinished) {
          EXPECT_EQ(controls.status, texts::kFinishedStatus);
          EXPECT_TRUE(ReadAll(Database()) == expected_new) << "not the new database, whole";
          EXPECT_EQ(DatabaseFolder(), (std::vector<std::string>{"J03.PAC", "p03.PAC"}));
          ASSERT_TRUE(demo::WriteInstallation(install.str()).ok());  // back to the old release
          continue;
        }
        // Each verification check is one call; the calls after them belong to the rebuild.
        EXPECT_EQ(outcome, n <= 15 ? RunOutcome::kInstallationInvalid : RunOutcome::kRebuildFailed);
        EXPECT_EQ(controls.status, texts::InstallationMessage(n <= 15 ? n - 1 : 15));
        EXPECT_EQ(controls.caption, texts::kReadyButton);
        ExpectOldDatabaseIntact();
      }
    }
  }
}

}  // namespace
}  // namespace qrv3::testing
