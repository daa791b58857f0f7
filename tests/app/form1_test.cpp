#include "app/form1.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <functional>

#include "app/folder_source_mapped.h"
#include "base/utf.h"
#include "base/utf_fs.h"
#include "tests/test_util.h"

namespace qrv3 {
namespace {
namespace fs = std::filesystem;
using testing::TempDir;

const std::string kDefault = std::string(kDefaultInstallFolder);

TEST(PathRule, OneSeparatorAfterAnyFolder) {
  EXPECT_EQ(PathRule("c:\\"), "c:\\");
  EXPECT_EQ(PathRule("c:\\Program Files"), "c:\\Program Files\\");
  EXPECT_EQ(PathRule("\\\\server\\share"), "\\\\server\\share\\");
}

class Form1Test : public ::testing::Test {
 protected:
  void SetUp() override {
    source.AddDrive('c', {c.path(), "", true, "Users"});
    source.AddDrive('d', {d.path(), "[DATA]", true, "work"});
    source.AddDrive('e', {e.path(), "[CARD]", false});  // a card reader without a card: no label shown
    fs::create_directories(c.path() / "Users");
    fs::create_directories(d.path() / "work");
    std::ofstream(d.path() / "work" / "tool.exe") << "x";
    source.SetCurrentFolder("d:\\work");
  }
  void InstallProduct(const std::string& program_files = "Program Files", const TempDir* disk = nullptr) {
    const fs::path app = (disk ? disk : &c)->path() / FsPath(program_files + "/Brackwell/Morvanth「Quelline」アーカイヴ");
    fs::create_directories(app / "Database");
    for (const char* f : {"QRV_3.EXE", "qrv_D3.EXE", "QRV_3.CHM"}) std::ofstream(app / f) << "x";
  }

  TempDir c, d, e;
  MappedFolderSource source;
};

// Where start-up opens: the product at the default install folder first, then under the 32-bit
// "Program Files (x86)" folder (of whichever drive), else drive C's current folder, else where
// the process started.
TEST_F(Form1Test, StartUpOpensTheProductWhereverItIsFound) {
  const std::string x86 = "Program Files (x86)\\Brackwell\\Morvanth「Quelline」アーカイヴ";
  const std::vector<std::string> product = {"QRV_3.EXE", "qrv_D3.EXE"};
  struct Case {
    const char* what;
    std::function<void()> prepare;
    std::string drive, folder;
    std::vector<std::string> files;
  };
  const Case cases[] = {
      {"nowhere", [] {}, "c:", "c:\\Users", {}},
      {"nowhere, no drive C",
       [&] {
         source = MappedFolderSource();
         source.AddDrive('d', {d.path(), "", true, "work"});
         source.SetCurrentFolder("d:\\work");
       },
       "d:", "d:\\work", {"tool.exe"}},
      {"not under Program Files (x86) either, of drive D",
       [&] {
         fs::create_directories(d.path() / "Program Files (x86)");
         source.SetProgramFilesX86("d:\\Program Files (x86)");
       },
       "c:", "c:\\Users", {}},
      {"under Program Files (x86)",
       [&] {
         source.SetProgramFilesX86("c:\\Program Files (x86)");
         InstallProduct("Program Files (x86)");
       },
       "c:", "c:\\" + x86, product},
      {"under Program Files (x86) of drive D",
       [&] {
         InstallProduct("Program Files (x86)", &d);
         source.SetProgramFilesX86("d:\\Program Files (x86)");
       },
       "d: [DATA]", "d:\\" + x86, product},
      {"at the default folder and under Program Files (x86)",
       [&] {
         source.SetProgramFilesX86("c:\\Program Files (x86)");
         InstallProduct("Program Files (x86)");
         InstallProduct();
       },
       "c:", kDefault, product},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);  // each on the disks the cases before left
    source = MappedFolderSource();
    SetUp();
    c.prepare();
    Form1 form(source);
    form.Form_Load();
    EXPECT_EQ(form.dr.Drive(), c.drive);
    EXPECT_EQ(form.di.Path(), c.folder);
    EXPECT_EQ(form.te.Text(), c.folder + "\\");
    EXPECT_EQ(form.fi.Path(), c.folder);
    EXPECT_EQ(form.fi.items(), c.files);
  }
}

// After start-up, in turn: a drive not ready, typed text, a drive change, a drive's root.
TEST_F(Form1Test, TheListsAndThePathBoxFollowEachOther) {
  Form1 form(source);
  form.Form_Load();
  const int assignments = form.te.assignments();
  ASSERT_TRUE(form.dr.SetDrive("e").ok());
  EXPECT_EQ(form.dr.Drive(), "e:");  // the list shows the chosen drive, and nothing else changes
  EXPECT_EQ(form.di.Path(), "c:\\Users");
  EXPECT_EQ(form.fi.Path(), "c:\\Users");
  EXPECT_EQ(form.te.Text(), "c:\\Users\\");
  EXPECT_EQ(form.te.assignments(), assignments);

  form.te.Type("x:\\typed\\");
  ASSERT_TRUE(form.di.SetPath("c:\\Users").ok());  // the same folder: no change
  EXPECT_EQ(form.te.Text(), "x:\\typed\\");
  // A drive change (by the list's own text, in any case) moves the folder list, the path box and
  // the file list; no such drive changes nothing.
  EXPECT_FALSE(form.dr.SetDrive("q").ok() || form.dr.SetDrive("").ok());
  ASSERT_TRUE(form.dr.SetDrive("D: [DATA]").ok());
  EXPECT_EQ(form.dr.Drive(), "d: [DATA]");
  EXPECT_EQ(form.di.Path(), "d:\\work");
  EXPECT_EQ(form.te.Text(), "d:\\work\\");
  EXPECT_EQ(form.fi.items(), std::vector<std::string>{"tool.exe"});

  // A drive's root, opened or current: a single separator.
  form.te.Type("typed again");
  ASSERT_TRUE(form.di.Open(0).ok());  // the root row
  EXPECT_EQ(form.te.Text(), "d:\\");
  source.drive('c').current = "";
  ASSERT_TRUE(form.dr.SetDrive("c").ok());
  EXPECT_EQ(form.di.Path(), "c:\\");
  EXPECT_EQ(form.te.Text(), "c:\\");
}

}  // namespace
}  // namespace qrv3
