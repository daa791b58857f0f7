// The installation as an attacker or a clumsy user leaves it: files planted where the new
// database is written, a second run at the same time, two spellings of one name, a database
// that changes under the run, a scanner that holds a file, a file system that keeps less.
#include <gtest/gtest.h>

#include <cstring>
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

// A call refused: the replace, in use or denied, is tried again for about a second, then it
// counts as a failure, and a real failure is not a moment's; a fresh name already taken is tried
// under another, a few times. Unrefused, each is made once.
TEST_F(HazardTest, ARefusedCallIsTriedAgainOnlyWhereThatCanHelp) {
  using Code = Status::Code;
  const struct {
    const char* call;
    Code code;
    int refusals, least_tries, most_tries;
  } cases[] = {
      {"ReplaceInto", Code::kInUse, 0, 1, 1},        {"ReplaceInto", Code::kInUse, 3, 4, 4},
      {"ReplaceInto", Code::kInUse, 1000, 3, 20},    {"ReplaceInto", Code::kAccessDenied, 1000, 3, 20},
      {"ReplaceInto", Code::kIoError, 1000, 1, 1},   {"CreateNew", Code::kExists, 0, 1, 1},
      {"CreateNew", Code::kExists, 1, 2, 2},         {"CreateNew", Code::kExists, 1000, 2, 20},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(std::string(c.call) + " refused " + std::to_string(c.refusals) + " times: " + CodeName(c.code));
    ASSERT_TRUE(demo::WriteInstallation(install.str()).ok());
    FaultyEnv env(Env::Default());
    env.fail_if_code = c.code;
    int tries = 0;
    env.fail_if = [&](const std::string& call) { return call == c.call && ++tries <= c.refusals; };
    const bool finished = Run(env).outcome == RunOutcome::kFinished;
    EXPECT_EQ(finished, c.refusals < 1000);
    finished ? ExpectNewDatabase() : ExpectOldDatabase();
    EXPECT_TRUE(tries >= c.least_tries && tries <= c.most_tries) << tries;
    const bool waited = !finished && c.code != Code::kIoError && c.code != Code::kExists;
    EXPECT_TRUE(waited ? env.slept_ms() >= 500 && env.slept_ms() <= 2000 : env.slept_ms() < 500)
        << env.slept_ms();
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
// This program's stand-ins for calls of the system, for a test to step in: the moments between
// opening the lock file and locking it and right after the rename, to change the folder in; and
// what the file system answers when the new database is given what the old one carries.
std::function<void()> g_before_flock, g_after_rename;
struct Refusal {
  std::string call;
  int err = 0;            // what it fails with
  int after = 0;          // the calls let through first
  int times = 1 << 30;    // the calls refused then
} g_refused;
template <class Fn>
Fn System(const char* name) {
  return reinterpret_cast<Fn>(dlsym(RTLD_NEXT, name));
}
bool Refused(const char* call) {
  if (g_refused.call != call || g_refused.after-- > 0 || g_refused.times-- <= 0) return false;
  errno = g_refused.err;
  return true;
}
extern "C" int flock(int fd, int operation) {
  if (const auto hook = std::exchange(g_before_flock, nullptr)) hook();
  return System<int (*)(int, int)>("flock")(fd, operation);
}
extern "C" int renameat(int from_dir, const char* from, int to_dir, const char* to) {
  const int renamed =
      System<int (*)(int, const char*, int, const char*)>("renameat")(from_dir, from, to_dir, to);
  if (const auto hook = std::exchange(g_after_rename, nullptr)) hook();
  return renamed;
}
extern "C" int fchmod(int fd, mode_t mode) {
  return Refused("fchmod") ? -1 : System<int (*)(int, mode_t)>("fchmod")(fd, mode);
}
extern "C" int fchown(int fd, uid_t uid, gid_t gid) {
  return Refused("fchown") ? -1 : System<int (*)(int, uid_t, gid_t)>("fchown")(fd, uid, gid);
}
extern "C" int fremovexattr(int fd, const char* name) {
  return Refused("fremovexattr") ? -1 : System<int (*)(int, const char*)>("fremovexattr")(fd, name);
}
extern "C" ssize_t fgetxattr(int fd, const char* name, void* value, size_t size) {
  using Fn = ssize_t (*)(int, const char*, void*, size_t);
  return Refused("fgetxattr") ? -1 : System<Fn>("fgetxattr")(fd, name, value, size);
}

// The new database keeps the old one's permission bits, and as root its owner too. A file system
// without them (FAT, a Windows share) refuses them, or has no access list to read or remove: the
// update goes through all the same; a failing disk stops it.
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
  const Refusal refusals[] = {
      {"fchmod", EPERM},        {"fchmod", EINVAL},         {"fchmod", ENOTSUP},
      {"fchmod", EIO},          {"fchown", EPERM},          {"fchown", EIO},
      {"fremovexattr", ENOTSUP}, {"fremovexattr", ENODATA}, {"fremovexattr", EIO},
      {"fgetxattr", ENOTSUP},   {"fgetxattr", ENODATA},     {"fgetxattr", EIO}};
  for (const auto& refusal : refusals) {
    SCOPED_TRACE(refusal.call + ": " + std::strerror(refusal.err));
    ASSERT_TRUE(demo::WriteInstallation(install.str()).ok());
    g_refused = refusal;
    const RunOutcome outcome = Run().outcome;
    g_refused = {};
    const bool stops = refusal.err == EIO && (root || refusal.call != "fchown");
    EXPECT_EQ(outcome, stops ? RunOutcome::kRebuildFailed : RunOutcome::kFinished);
    EXPECT_TRUE(FileHolds(Database(), stops ? old_bytes : new_bytes));
  }
}

// A default access list on the Database folder gives a new file entries of its own: the new
// database must carry exactly the old one's list, none where it had none, as it carries its mode,
// even where the list grew between asking its size and reading it.
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
    g_refused = {"fgetxattr", ERANGE, 1, 1};
    EXPECT_EQ(Run().outcome, RunOutcome::kFinished);
    g_refused = {};
    EXPECT_EQ(Shell("getfacl -cp " + db), old_list);
  }
}

// Run by someone else than root, the new database is that user's and of that user's group at
// first. A member of the old database's group (who may give a file of theirs to it) keeps the
// group; anyone else gives the group nothing, neither by its bits nor by the access list, rather
// than hand what the old group could do to a group of their own. Root becomes nobody for it,
// with or without the group adm, in a process of its own.
TEST_F(HazardTest, TheNewDatabaseKeepsTheOldOnesGroupOrGivesItNothing) {
  const passwd* nobody = getpwnam("nobody");
  const group* adm = getgrnam("adm");
  if (geteuid() != 0 || nobody == nullptr || adm == nullptr) {
    GTEST_SKIP() << "only root can run the update as nobody, with and without the group adm";
  }
  const uid_t uid = nobody->pw_uid;
  const gid_t own = nobody->pw_gid, old = adm->gr_gid;
  const std::string db = ShellPath(DbFolder() / "p03.PAC"), own_name = getgrgid(own)->gr_name;
  for (const bool member : {true, false}) {
    SCOPED_TRACE(member ? "a member of adm" : "not a member of adm");
    ASSERT_TRUE(demo::WriteInstallation(install.str()).ok());
    if (Shell("chown -R nobody " + ShellPath(install.path()) + " && chmod -R a+rX " +
              ShellPath(pieces.path()) + " && chgrp adm " + db + " && chmod 660 " + db +
              " && setfacl -m u:root:r--,g:adm:rw- " + db + " && echo yes") != "yes\n") {
      GTEST_SKIP() << "no access lists here (setfacl, from Debian's acl, or the file system)";
    }
    const std::string old_list = *Shell("getfacl -cp " + db);
    const pid_t child = fork();
    if (child == 0) {
      const bool as_nobody =
          setgroups(member ? 1 : 0, &old) == 0 && setgid(own) == 0 && setuid(uid) == 0;
      _exit(as_nobody && Run().outcome == RunOutcome::kFinished ? 0 : 1);
    }
    int status = -1;
    ASSERT_EQ(waitpid(child, &status, 0), child);
    EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0) << status;
    EXPECT_TRUE(FileHolds(Database(), new_bytes));
    EXPECT_EQ(Shell("stat -c '%a %U:%G' " + db),
              member ? "660 nobody:adm\n" : "600 nobody:" + own_name + "\n");
    EXPECT_EQ(Shell("getfacl -cp " + db),
              member ? old_list : "user::rw-\ngroup::---\nother::---\n\n");
  }
}

// The run before removes its lock file and lets go just as this one opens it, and a third makes
// a new one under the name and holds it: the file this run locks is no longer the lock.
TEST_F(HazardTest, ALockFileReplacedBeforeItIsLockedLocksNothing) {
  std::optional<OtherRun> third;
  g_before_flock = [&] {
    fs::remove(DbFolder() / "P03.pac.lock");
    ASSERT_TRUE(third.emplace(install / "Database").held());
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
