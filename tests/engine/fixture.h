// A generated installation and data pieces in temporary folders, and controls that record what
// the update run shows.
#pragma once

#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <new>
#include <string>
#include <vector>

// The platform's calls the tests use, for every test file that includes this one.
#ifdef _WIN32
#include <windows.h>

#include "base/utf.h"
#include "base/win32_util_win.h"
#else
#include <dlfcn.h>
#include <fcntl.h>
#include <grp.h>
#include <pwd.h>
#include <signal.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>
#endif

#include "engine/texts.h"
#include "engine/update_run.h"
#include "engine/verify.h"
#include "tests/test_util.h"
#include "tools/demo_install.h"

namespace qrv3::testing {

class RecordingControls final : public RunControls {
 public:
  explicit RecordingControls(std::string install_path) : install_path(std::move(install_path)) {}
  std::string ButtonCaption() override {
    if (fail_on == "caption") throw std::bad_alloc();
    return caption;
  }
  void SetButtonCaption(const std::string& c) override {
    caption = c;
    shown.push_back("button:" + c);
  }
  void SetStatus(const std::string& t) override {
    if (t == fail_on) throw std::bad_alloc();
    status = t;
    shown.push_back("status:" + t);
  }
  std::string InstallPath() override { return install_path; }

  std::string install_path;
  std::string caption{texts::kReadyButton};
  std::string status;
  std::vector<std::string> shown;  // every write, in order
  std::string fail_on;  // a text whose showing runs out of memory, or "caption", as a window can
};

// The new database as the piece files on disk make it, from positions written out here rather than
// from the engine's piece table: 0-based offsets in the piece and in the database, and lengths.
inline std::vector<uint8_t> NewDatabaseFrom(const TempDir& pieces) {
  struct Range {
    const char* piece;
    size_t piece_offset, db_offset, length;
  };
  const Range ranges[] = {
      {"data3.cab", 27, 0, 4167104},
      {"data1.cab", 26, 4167104, 2639264},
      {"data4.cab", 30, 6806368, 2376832},
      {"data2.cab", 29, 9183200, 2938335},
  };
  std::vector<uint8_t> db(12121535);
  for (const Range& r : ranges) {
    const std::vector<uint8_t> piece = ReadAll(pieces / r.piece);
    std::copy_n(piece.begin() + r.piece_offset, r.length, db.begin() + r.db_offset);
  }
  return db;
}

// An installation of the expected release and the pieces; runs of the update on it, and what
// they left.
class InstallationTest : public ::testing::Test {
 public:
  void SetUp() override {
    ASSERT_TRUE(demo::WriteInstallation(install.str()).ok());
    ASSERT_TRUE(demo::WritePieces(pieces.str()).ok());
    old_bytes = ReadAll(Database());
    new_bytes = NewDatabaseFrom(pieces);
  }
  std::string Database() const { return install / "Database\\p03.PAC"; }
  RunResult Run(RecordingControls& controls, Env& env = *Env::Default()) {
    DataPieces data(env, pieces.str());
    return RunUpdate(controls, env, data);
  }
  RunResult Run(Env& env = *Env::Default()) {
    RecordingControls controls(install.install_path());
    const RunResult result = Run(controls, env);
    status = controls.status;
    caption = controls.caption;
    return result;
  }
  // The old database, byte for byte, passing every check, with nothing beside it.
  void ExpectOldDatabase() {
    EXPECT_TRUE(FileHolds(Database(), old_bytes)) << "not the old database, whole";
    EXPECT_EQ(VerifyInstallation(*Env::Default(), [&] { return install.install_path(); }), 15);
    EXPECT_EQ(DatabaseFolder(), (std::vector<std::string>{"J03.PAC", "p03.PAC"}));
  }
  void ExpectNewDatabase() {
    EXPECT_EQ(status, texts::kFinishedStatus);
    EXPECT_TRUE(FileHolds(Database(), new_bytes)) << "not the new database, whole";
  }
  // What the Database folder holds, by name, but for a file the test planted there.
  std::vector<std::string> DatabaseFolder() const {
    std::vector<std::string> names;
    for (const auto& e : std::filesystem::directory_iterator(demo::FsPath(install / "Database"))) {
      const std::string name = demo::Utf8Path(e.path().filename());
      if (name != planted) names.push_back(name);
    }
    std::sort(names.begin(), names.end());
    return names;
  }

  TempDir install;
  TempDir pieces;
  std::string planted;
  std::string status, caption;  // what the last run showed
  std::vector<uint8_t> old_bytes, new_bytes;
};

// Holds the installation's lock (its Database folder's P03.pac.lock) as another run does.
class OtherRun {
 public:
  explicit OtherRun(const std::string& database_folder) {
    held_ = Env::Default()->OpenFolder(database_folder, &folder_).ok() &&
            folder_->Lock("P03.pac.lock", &lock_).ok();
  }
  bool held() const { return held_; }

 private:
  std::unique_ptr<Folder> folder_;
  std::unique_ptr<FolderLock> lock_;
  bool held_ = false;
};

}  // namespace qrv3::testing
