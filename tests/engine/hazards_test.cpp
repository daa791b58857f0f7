// The installation as an attacker or a clumsy user leaves it: files planted where the new
// database is written, a second run at the same time, two spellings of one name, a database
// that changes under the run, a scanner that holds a file.
#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <functional>
#include <optional>
#include <utility>

#include "tests/engine/faulty_env.h"
#include "tests/engine/fixture.h"

namespace qrv3::testing {
namespace {
namespace fs = std::filesystem;

class HazardTest : public InstallationTest {
 protected:
  fs::path DbFolder() const { return demo::FsPath(install / "Database"); }
  TempDir outside;  // somewhere the updater must never write
};

void WriteFile(const fs::path& p, const std::string& text) {
  std::ofstream(p, std::ios::binary) << text;
}

// Names an interrupted run of this or an earlier version may have left beside the database,
// and names of the same pattern that an attacker may have planted.
const char* const kOursToClean[] = {"P03.pac.qrv3-new", "P03.pac.0123456789abcdef.tmp",
                                    "p03.PAC.FEDCBA9876543210.TMP"};

#ifdef _WIN32
// Nor does a hidden database lose its attribute.
TEST_F(HazardTest, ReadOnlyAndLockedFilesOfOurPatternDoNotStopTheRun) {
  WriteFile(DbFolder() / "P03.pac.lock", "");  // a power cut's: it blocks nothing
  WriteFile(DbFolder() / "P03.pac.qrv3-new", "read-only");
  SetReadOnly(install / "Database\\P03.pac.qrv3-new", true);
  WriteFile(DbFolder() / "P03.pac.5555555555555555.tmp", "locked");
  UniqueHandle locked(CreateFileW(Win32Path(install / "Database\\P03.pac.5555555555555555.tmp").c_str(),
                                  GENERIC_READ, 0, nullptr, OPEN_EXISTING, 0, nullptr));
  ASSERT_TRUE(locked.valid());
  const std::wstring db = Win32Path(Database());
  ASSERT_TRUE(SetFileAttributesW(db.c_str(), FILE_ATTRIBUTE_HIDDEN | FILE_ATTRIBUTE_ARCHIVE));
  EXPECT_EQ(Run().outcome, RunOutcome::kFinished);
  ExpectNewDatabase();
  EXPECT_TRUE(GetFileAttributesW(db.c_str()) & FILE_ATTRIBUTE_HIDDEN);
  SetReadOnly(install / "Database\\P03.pac.qrv3-new", false);
}
#endif

// Left under those names by a killed run, or planted there: hard links to files outside, FIFOs
// (how Remove takes a symbolic link or a read-only file is the contract suite's). They are
// removed as they are, never opened, and neither stop nor hang the run; nothing else is touched.
TEST_F(HazardTest, WhatAKilledRunLeftIsRemovedAndNothingElse) {
  const fs::path victim = outside.path() / "victim.txt";
  WriteFile(victim, "not to be touched");
  // Not of our making: other programs' files, names that only look alike, links of their own.
  std::vector<std::string> kept = {"J03.PAC", "p03.PAC", "P03.pac.bak", "notes.tmp", "P03.pac.0123.tmp",
                                   "P03.pac.0123456789abcdeg.tmp", "P03.pak.0123456789abcdef.tmp"};
  for (size_t i = 2; i < kept.size(); ++i) WriteFile(DbFolder() / kept[i], "keep");
  for (const char* name : kOursToClean) {
    fs::create_hard_link(victim, DbFolder() / name);
    fs::create_hard_link(victim, DbFolder() / (std::string("hard-") + name));
    kept.push_back(std::string("hard-") + name);
  }
#ifndef _WIN32
  fs::create_symlink(victim, DbFolder() / "P03.pac.link");
  kept.push_back("P03.pac.link");
  WriteFile(DbFolder() / "P03.pac.lock", "");  // a power cut's: it blocks nothing
  fs::remove(DbFolder() / "P03.pac.qrv3-new");
  for (const char* fifo : {"P03.pac.qrv3-new", "P03.pac.3333333333333333.tmp"}) {
    ASSERT_EQ(mkfifo((DbFolder() / fifo).c_str(), 0666), 0);
  }
#endif
  const auto before = Snapshot(outside.path());
  EXPECT_EQ(Run().outcome, RunOutcome::kFinished);
  ExpectNewDatabase();
  EXPECT_EQ(Snapshot(outside.path()), before);
  std::sort(kept.begin(), kept.end());
  EXPECT_EQ(DatabaseFolder(), kept);
}

TEST_F(HazardTest, ADatabaseChangedAfterItsCheckIsNotReplaced) {
  FaultyEnv env(Env::Default());
  bool touched = false;
  // Once the checks are over, the pieces are read: the moment another program changes the file.
  env.before_call = [&](const std::string& call) {
    if (call == "ReadAt" && !touched) {
      touched = true;
      std::fstream f(demo::FsPath(Database()), std::ios::in | std::ios::out | std::ios::binary);
      f.seekp(100);
      f.put('!');
    }
  };
  const RunResult run = Run(env);
  EXPECT_EQ(run.outcome, RunOutcome::kRebuildFailed);
  EXPECT_EQ(run.rebuild.code(), Status::Code::kChanged) << run.rebuild.ToString();
  EXPECT_EQ(status, texts::InstallationMessage(15));
  const std::vector<uint8_t> now = ReadAll(Database());
  ASSERT_EQ(now.size(), old_bytes.size());
  EXPECT_EQ(now[100], '!');
  EXPECT_EQ(DatabaseFolder(), (std::vector<std::string>{"J03.PAC", "p03.PAC"}));
}

// Refused as in use or denied, the replace is tried again for about a second, then it counts as
// a failure; a real failure is not a moment's.
TEST_F(HazardTest, AReplaceRefusedForAMomentIsTriedAgainAndOnlyForAMoment) {
  using Code = Status::Code;
  for (const auto& [code, refusals] : {std::pair{Code::kInUse, 3}, {Code::kInUse, 1000},
                                       {Code::kAccessDenied, 1000}, {Code::kIoError, 1000}}) {
    SCOPED_TRACE(CodeName(code));
    ASSERT_TRUE(demo::WriteInstallation(install.str()).ok());
    FaultyEnv env(Env::Default());
    env.fail_if_code = code;
    int tries = 0;
    env.fail_if = [&](const std::string& call) { return call == "ReplaceInto" && ++tries <= refusals; };
    const RunOutcome outcome = Run(env).outcome;
    EXPECT_EQ(outcome, refusals == 3 ? RunOutcome::kFinished : RunOutcome::kRebuildFailed);
    refusals == 3 ? ExpectNewDatabase() : ExpectOldDatabase();
    if (code == Code::kIoError) {
      EXPECT_EQ(tries, 1);
    } else if (outcome != RunOutcome::kFinished) {
      EXPECT_GT(tries, 2);
      EXPECT_LE(env.sleeps() * 100, 2000);
      EXPECT_GE(env.sleeps() * 100, 500);
    }
  }
}

// A replace that happened but was reported failed, and a disk that cannot then say which file
// is where: the database may be told as not updated, but it is never lost.
TEST_F(HazardTest, AReplaceThatCannotBeJudgedNeverCostsTheDatabase) {
  int replace_call = 0;
  {
    FaultyEnv counting(Env::Default());
    ASSERT_EQ(Run(counting).outcome, RunOutcome::kFinished);
    const auto& log = counting.log();
    replace_call = static_cast<int>(std::find(log.begin(), log.end(), "ReplaceInto") - log.begin()) + 1;
    ASSERT_TRUE(demo::WriteInstallation(install.str()).ok());
  }
  FaultyEnv env(Env::Default(), replace_call, Fault::kDoneButFailed);
  env.fail_if = [](const std::string& call) { return call == "IsEntry"; };
  Run(env);
  const std::vector<uint8_t> now = ReadAll(Database());
  EXPECT_TRUE(now == old_bytes || now == new_bytes) << "the database is lost or mixed";
  if (status == texts::kFinishedStatus) {
    EXPECT_TRUE(now == new_bytes);
  }
}

#ifndef _WIN32
// The moments between opening the lock file and locking it, and right after the rename, for a test
// to change the folder in: this program's flock and renameat stand in for the system's.
std::function<void()> g_before_flock;
extern "C" int flock(int fd, int operation) {
  static const auto system_flock = reinterpret_cast<int (*)(int, int)>(dlsym(RTLD_NEXT, "flock"));
  if (const auto hook = std::exchange(g_before_flock, nullptr)) hook();
  return system_flock(fd, operation);
}
std::function<void()> g_after_rename;
extern "C" int renameat(int from_dir, const char* from, int to_dir, const char* to) {
  static const auto system_renameat =
      reinterpret_cast<int (*)(int, const char*, int, const char*)>(dlsym(RTLD_NEXT, "renameat"));
  const int renamed = system_renameat(from_dir, from, to_dir, to);
  if (const auto hook = std::exchange(g_after_rename, nullptr)) hook();
  return renamed;
}

// What the file system answers to permission bits, for a test to choose: 0 lets it answer.
int g_fchmod_errno = 0;
extern "C" int fchmod(int fd, mode_t mode) {
  static const auto system_fchmod = reinterpret_cast<int (*)(int, mode_t)>(dlsym(RTLD_NEXT, "fchmod"));
  if (g_fchmod_errno == 0) return system_fchmod(fd, mode);
  errno = g_fchmod_errno;
  return -1;
}

// The new database keeps the old one's permission bits, and as root its owner too. A file system
// without them (FAT, a Windows share) refuses them: the update goes through all the same; a
// failing disk stops it.
TEST_F(HazardTest, TheNewDatabaseKeepsTheOldOnesPermissions) {
  const std::string db = ShellPath(DbFolder() / "p03.PAC");
  const bool root = Shell("id -u") == "0\n";
  for (const char* mode : {"600", "640", "664"}) {
    ASSERT_TRUE(demo::WriteInstallation(install.str()).ok());
    Shell(std::string("chmod ") + mode + " " + db + (root ? " && chown 4321:8765 " + db : ""));
    EXPECT_EQ(Run().outcome, RunOutcome::kFinished);
    EXPECT_EQ(Shell("stat -c %a" + std::string(root ? ":%u:%g " : " ") + db),
              std::string(mode) + (root ? ":4321:8765\n" : "\n"));
  }
  for (int err : {EPERM, EINVAL, ENOTSUP, EIO}) {
    SCOPED_TRACE(err);
    ASSERT_TRUE(demo::WriteInstallation(install.str()).ok());
    g_fchmod_errno = err;
    const RunOutcome outcome = Run().outcome;
    g_fchmod_errno = 0;
    EXPECT_EQ(outcome, err == EIO ? RunOutcome::kRebuildFailed : RunOutcome::kFinished);
    EXPECT_TRUE(FileHolds(Database(), err == EIO ? old_bytes : new_bytes));
  }
}

// A default access list on the Database folder gives a new file entries of its own: the new
// database must carry exactly the old one's list, none where it had none, as it carries its mode.
TEST_F(HazardTest, TheNewDatabaseCarriesExactlyTheOldOnesAccessList) {
  const std::string folder = ShellPath(DbFolder()), db = ShellPath(DbFolder() / "p03.PAC");
  if (Shell("setfacl -d -m u:nobody:rw- " + folder + " && echo yes") != "yes\n") {
    GTEST_SKIP() << "no access lists here (setfacl, from Debian's acl, or the file system)";
  }
  for (const char* list : {"", "u:nobody:r--,g:nogroup:rw-"}) {
    SCOPED_TRACE(list);
    ASSERT_TRUE(demo::WriteInstallation(install.str()).ok());
    Shell("setfacl -b " + db + (*list ? " && setfacl -m " + std::string(list) + " " + db : "") +
          " && chmod 640 " + db + " && setfacl -d -m u:nobody:rw- " + folder);
    const auto old_list = Shell("getfacl -cp " + db);
    EXPECT_EQ(Run().outcome, RunOutcome::kFinished);
    EXPECT_EQ(Shell("getfacl -cp " + db), old_list);
  }
}

// The run before removes its lock file and lets go just as this one opens it, and a third makes
// a new one under the name and holds it: the file this run locks is no longer the lock.
TEST_F(HazardTest, ALockFileReplacedBeforeItIsLockedLocksNothing) {
  std::optional<OtherRun> third;
  g_before_flock = [&] {
    fs::remove(DbFolder() / "P03.pac.lock");
    ASSERT_TRUE(third.emplace(DbFolder() / "P03.pac.lock").held());
  };
  const RunResult run = Run();
  EXPECT_EQ(run.outcome, RunOutcome::kRebuildFailed);
  EXPECT_EQ(run.rebuild.code(), Status::Code::kBusy) << run.rebuild.ToString();
  EXPECT_TRUE(FileHolds(Database(), old_bytes));
}

TEST_F(HazardTest, TwoSpellingsOfTheDatabaseAreAmbiguousAndBothStay) {
  fs::copy_file(DbFolder() / "p03.PAC", DbFolder() / "P03.pac");
  EXPECT_NE(Run().outcome, RunOutcome::kFinished);
  EXPECT_TRUE(FileHolds(install / "Database\\p03.PAC", old_bytes));
  EXPECT_TRUE(FileHolds(install / "Database\\P03.pac", old_bytes));
  EXPECT_EQ(DatabaseFolder(), (std::vector<std::string>{"J03.PAC", "P03.pac", "p03.PAC"}));
}

// Anyone who may write the Database folder can put a file of their own under the temporary
// name just before the rename, or remove the new database right after it: the run must not
// call that the new database.
TEST_F(HazardTest, AFileSwappedInOrGoneAroundTheRenameIsNotReportedAsTheUpdate) {
  FaultyEnv env(Env::Default());
  env.before_call = [&](const std::string& call) {
    if (call != "ReplaceInto") return;
    for (const auto& e : fs::directory_iterator(DbFolder())) {
      const std::string name = e.path().filename().string();
      if (name.size() > 4 && name.ends_with(".tmp")) {
        fs::rename(e.path(), DbFolder() / "moved-away");
        WriteFile(e.path(), std::string(12121535, 'A'));
      }
    }
  };
  EXPECT_NE(Run(env).outcome, RunOutcome::kFinished);
  EXPECT_NE(status, texts::kFinishedStatus);
  ASSERT_TRUE(demo::WriteInstallation(install.str()).ok());
  g_after_rename = [&] { fs::remove(DbFolder() / "p03.PAC"); };
  const RunResult run = Run();
  EXPECT_EQ(run.outcome, RunOutcome::kRebuildFailed);
  EXPECT_EQ(run.rebuild.code(), Status::Code::kChanged) << run.rebuild.ToString();
}
#endif

}  // namespace
}  // namespace qrv3::testing
