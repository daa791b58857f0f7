#include "app/controls.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <fstream>

#include "app/folder_source_mapped.h"
#include "base/utf.h"
#include "base/utf_fs.h"
#include "tests/test_util.h"

namespace qrv3 {
namespace {
namespace fs = std::filesystem;
using testing::TempDir;

TEST(MatchesPattern, StarAndQuestionMarkIgnoringCase) {
  for (const char* name : {"Qrv_3.exe", "QRV_3.EXE", "qrv_D3.Exe", ".exe", "a.b.exe", "アーカイヴ.exe"}) {
    EXPECT_TRUE(MatchesPattern(name, "*.EXE")) << name;
  }
  for (const char* name : {"QRV_3.CHM", "exe", "a.exe.txt", "a.ex", "a.exee", "aexe", "a.eaxe"}) {
    EXPECT_FALSE(MatchesPattern(name, "*.EXE")) << name;
  }
  EXPECT_TRUE(MatchesPattern("data1.cab", "data?.CAB"));
  for (const char* one : {"アdata", "𠮷data"}) {  // one character, not one byte: three, four
    EXPECT_TRUE(MatchesPattern(one, "?data")) << one;
  }
  EXPECT_FALSE(MatchesPattern("data10.cab", "data?.cab"));
  EXPECT_TRUE(MatchesPattern("abcbcd", "*bc*d"));
  EXPECT_TRUE(MatchesPattern("", "*"));
}

class FolderListTest : public ::testing::Test {
 protected:
  void SetUp() override {
    source.AddDrive('c', {disk.path(), "[System]"});
    source.SetCurrentFolder("c:\\");
  }
  void Folder(const std::string& rel) { fs::create_directories(disk.path() / FsPath(rel)); }
  void File(const std::string& rel) { std::ofstream(disk.path() / FsPath(rel)) << "x"; }

  TempDir disk;
  MappedFolderSource source;
};

// A link to a folder is a folder, as Windows shows a junction; a link to a file is not.
TEST_F(FolderListTest, RowsOfARootShowItsSubfoldersSortedIgnoringCase) {
  for (const char* f : {"beta", "Alpha", "gamma", ".hidden"}) Folder(f);
  File("zfile.exe");
  std::vector<FolderRow> rows = {{"c:\\", "c:\\", 0, true},
                                 {"Alpha", "c:\\Alpha", 1, false},
                                 {"beta", "c:\\beta", 1, false},
                                 {"gamma", "c:\\gamma", 1, false}};
#ifndef _WIN32
  fs::create_directory_symlink(disk.path() / "beta", disk.path() / "Delta");
  fs::create_symlink(disk.path() / "zfile.exe", disk.path() / "epsilon");
  rows.insert(rows.begin() + 3, {"Delta", "c:\\Delta", 1, false});
#endif
  FolderList di(source);
  ASSERT_EQ(di.Path(), "c:\\");
  EXPECT_EQ(di.rows(), rows);
  EXPECT_EQ(di.current_row(), 0);
  std::vector<FolderEntry> entries;  // no dot entries, hidden or not
  ASSERT_TRUE(source.ListFolder("c:\\", &entries).ok());
  EXPECT_FALSE(std::ranges::any_of(entries, [](const FolderEntry& e) { return e.name == "." || e.name == ".."; }));
  std::string opened;  // a drive's current folder is no root: only the folder list knows it
  EXPECT_EQ(source.OpenFolder("c:", &opened).code(), Status::Code::kInvalidPath);
}

TEST_F(FolderListTest, RowsOfADeepFolderOpenItsAncestors) {
  Folder("Program Files/Brackwell/Morvanth「Quelline」アーカイヴ/Database");
  Folder("Program Files/Brackwell/Morvanth「Quelline」アーカイヴ/manual");
  FolderList di(source);
  ASSERT_TRUE(di.SetPath("c:\\Program Files\\Brackwell\\Morvanth「Quelline」アーカイヴ\\").ok());
  EXPECT_EQ(di.Path(), "c:\\Program Files\\Brackwell\\Morvanth「Quelline」アーカイヴ");
  const std::string app = "c:\\Program Files\\Brackwell\\Morvanth「Quelline」アーカイヴ";
  EXPECT_EQ(di.rows(), (std::vector<FolderRow>{
                           {"c:\\", "c:\\", 0, true},
                           {"Program Files", "c:\\Program Files", 1, true},
                           {"Brackwell", "c:\\Program Files\\Brackwell", 2, true},
                           {"Morvanth「Quelline」アーカイヴ", app, 3, true},
                           {"Database", app + "\\Database", 4, false},
                           {"manual", app + "\\manual", 4, false}}));
  EXPECT_EQ(di.current_row(), 3);

  // Opening a row moves there; relative and ".." paths are taken from the current folder.
  ASSERT_TRUE(di.Open(1).ok());
  EXPECT_EQ(di.Path(), "c:\\Program Files");
  ASSERT_TRUE(di.SetPath("..\\Program Files\\Brackwell").ok());
  EXPECT_EQ(di.Path(), "c:\\Program Files\\Brackwell");
  ASSERT_TRUE(di.SetPath("\\Program Files").ok());
  EXPECT_EQ(di.Path(), "c:\\Program Files");
  ASSERT_TRUE(di.SetPath("Brackwell").ok());  // a letter first is no drive yet
  EXPECT_EQ(di.Path(), "c:\\Program Files\\Brackwell");
  // Drive letters run from a to z, in either case; nothing else names a drive.
  source.AddDrive('z', {disk.path(), ""});
  source.AddDrive('1', {disk.path(), ""});
  EXPECT_TRUE(di.SetPath("Z:\\Program Files").ok() && di.SetPath("z:").ok() && !di.SetPath("1:").ok());
}

TEST_F(FolderListTest, RowsOfANetworkFolderStartAtTheShare) {
  TempDir share;
  fs::create_directories(share.path() / "dir" / "sub");
  source.AddShare("\\\\server\\share", share.path());
  FolderList di(source);
  ASSERT_TRUE(di.SetPath("\\\\server\\share\\dir").ok());
  EXPECT_EQ(di.SetPath("\\\\server").code(), Status::Code::kInvalidPath);  // no share named
  EXPECT_EQ(di.SetPath("\\\\").code(), Status::Code::kInvalidPath);
  EXPECT_EQ(di.rows(), (std::vector<FolderRow>{{"\\\\server\\share", "\\\\server\\share", 0, true},
                                               {"dir", "\\\\server\\share\\dir", 1, true},
                                               {"sub", "\\\\server\\share\\dir\\sub", 2, false}}));
}

TEST_F(FolderListTest, ChangeRunsInsideTheAssignmentAndOnlyWhenTheFolderChanges) {
  Folder("a");
  FolderList di(source);
  std::vector<std::string> seen;
  di.on_change = [&] { seen.push_back(di.Path()); };
  ASSERT_TRUE(di.SetPath("c:\\a").ok());
  EXPECT_EQ(seen, std::vector<std::string>{"c:\\a"});
  ASSERT_TRUE(di.SetPath("c:\\a").ok());
  ASSERT_TRUE(di.SetPath("C:\\A\\").ok());
  EXPECT_EQ(seen.size(), 1u);
  // A missing folder or a drive not ready fails and changes nothing.
  EXPECT_FALSE(di.SetPath("c:\\missing").ok());
  source.AddDrive('a', {disk.path(), "", false});
  EXPECT_EQ(di.SetPath("a:").code(), Status::Code::kNotReady);
  EXPECT_EQ(di.SetPath("A:").code(), Status::Code::kNotReady);
  EXPECT_FALSE(di.SetPath("a:\\").ok());
  EXPECT_EQ(di.Path(), "c:\\a");
  EXPECT_EQ(seen.size(), 1u);
}

TEST_F(FolderListTest, FileListShowsOnlyVisibleProgramsSortedIgnoringCase) {
  for (const char* f : {"QRV_3.EXE", "qrv_D3.exe", "QRV_3.CHM", "readme.txt", ".hidden.exe", "b.Exe"}) {
    File(f);
  }
  Folder("sub.exe");
  FileList fi(source);
  ASSERT_TRUE(fi.SetPath("c:\\").ok() && fi.SetPath("c:\\").ok());  // listed anew, not added to
  EXPECT_EQ(fi.items(), (std::vector<std::string>{"b.Exe", "QRV_3.EXE", "qrv_D3.exe"}));
  // A folder that cannot be listed empties the list rather than keep another folder's files.
  EXPECT_FALSE(fi.SetPath("c:\\missing").ok());
  EXPECT_TRUE(fi.items().empty());
  EXPECT_EQ(fi.Path(), "c:\\missing");
}

}  // namespace
}  // namespace qrv3
