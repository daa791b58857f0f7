#include "app/form1.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>

#include "app/folder_source_mapped.h"
#include "engine/utf.h"
#include "tests/test_util.h"

namespace qrv3 {
namespace {
namespace fs = std::filesystem;
using testing::TempDir;

const std::string kDefault = std::string(kDefaultInstallFolder);

TEST(PathRule, OneSeparatorAfterAnyFolder) {
  EXPECT_EQ(PathRule("c:\\"), "c:\\");
  EXPECT_EQ(PathRule("C:\\"), "C:\\");
  EXPECT_EQ(PathRule("c:\\Program Files"), "c:\\Program Files\\");
  EXPECT_EQ(PathRule("\\\\server\\share"), "\\\\server\\share\\");
}

class Form1Test : public ::testing::Test {
 protected:
  void SetUp() override {
    source.AddDrive('c', {c.path(), "", true, "Users"});
    source.AddDrive('d', {d.path(), "[DATA]", true, "work"});
    source.AddDrive('e', {e.path(), "", false});  // a card reader without a card
    fs::create_directories(c.path() / "Users");
    fs::create_directories(d.path() / "work");
    std::ofstream(d.path() / "work" / "tool.exe") << "x";
    source.SetCurrentFolder("d:\\work");
  }
  void InstallProduct(const std::string& program_files = "Program Files") {
    const fs::path app = c.path() / FsPath(program_files + "/Brackwell/Morvanth「Quelline」アーカイヴ");
    fs::create_directories(app / "Database");
    for (const char* f : {"QRV_3.EXE", "qrv_D3.EXE", "QRV_3.CHM"}) std::ofstream(app / f) << "x";
  }

  TempDir c, d, e;
  MappedFolderSource source;
};

TEST_F(Form1Test, StartUpOpensTheDefaultInstallFolder) {
  InstallProduct();
  Form1 form(source);
  form.Form_Load();
  EXPECT_EQ(form.dr.Drive(), "c:");
  EXPECT_EQ(form.di.Path(), kDefault);
  EXPECT_EQ(form.te.Text(), kDefault + "\\");
  EXPECT_EQ(form.fi.Path(), kDefault);
  EXPECT_EQ(form.fi.items(), (std::vector<std::string>{"QRV_3.EXE", "qrv_D3.EXE"}));
}

TEST_F(Form1Test, StartUpWithoutTheProductStaysOnDriveCsCurrentFolder) {
  Form1 form(source);
  form.Form_Load();
  EXPECT_EQ(form.di.Path(), "c:\\Users");
  EXPECT_EQ(form.te.Text(), "c:\\Users\\");
  EXPECT_EQ(form.fi.Path(), "c:\\Users");
}

// A 32-bit installer on 64-bit Windows put the product under "Program Files (x86)".
TEST_F(Form1Test, StartUpFindsTheProductUnderThe32BitProgramFilesFolder) {
  const std::string x86 = "c:\\Program Files (x86)\\Brackwell\\Morvanth「Quelline」アーカイヴ";
  fs::create_directories(c.path() / "Program Files (x86)");
  source.SetProgramFilesX86("c:\\Program Files (x86)");
  {
    // Not installed there either: start-up stays where the drive change left it.
    Form1 form(source);
    form.Form_Load();
    EXPECT_EQ(form.te.Text(), "c:\\Users\\");
  }
  InstallProduct("Program Files (x86)");
  {
    Form1 form(source);
    form.Form_Load();
    EXPECT_EQ(form.dr.Drive(), "c:");
    EXPECT_EQ(form.di.Path(), x86);
    EXPECT_EQ(form.te.Text(), x86 + "\\");
    EXPECT_EQ(form.fi.Path(), x86);
    EXPECT_EQ(form.fi.items(), (std::vector<std::string>{"QRV_3.EXE", "qrv_D3.EXE"}));
  }
  // A copy at the default install folder comes first.
  InstallProduct();
  Form1 form(source);
  form.Form_Load();
  EXPECT_EQ(form.te.Text(), kDefault + "\\");
}

TEST_F(Form1Test, StartUpOnA32BitProgramFilesFolderOfAnotherDriveShowsThatDrive) {
  const fs::path app = d.path() / FsPath("Program Files (x86)/Brackwell/Morvanth「Quelline」アーカイヴ");
  fs::create_directories(app);
  std::ofstream(app / "QRV_3.EXE") << "x";
  source.SetProgramFilesX86("d:\\Program Files (x86)");
  Form1 form(source);
  form.Form_Load();
  EXPECT_EQ(form.dr.Drive(), "d: [DATA]");
  EXPECT_EQ(form.di.Path(), "d:\\Program Files (x86)\\Brackwell\\Morvanth「Quelline」アーカイヴ");
  EXPECT_EQ(form.te.Text(), form.di.Path() + "\\");
  EXPECT_EQ(form.fi.items(), (std::vector<std::string>{"QRV_3.EXE"}));
}

TEST_F(Form1Test, StartUpWithoutDriveCStaysWhereTheProcessStarted) {
  MappedFolderSource no_c;
  no_c.AddDrive('d', {d.path(), "", true, "work"});
  no_c.SetCurrentFolder("d:\\work");
  Form1 form(no_c);
  form.Form_Load();
  EXPECT_EQ(form.dr.Drive(), "d:");
  EXPECT_EQ(form.te.Text(), "d:\\work\\");
  EXPECT_EQ(form.fi.items(), std::vector<std::string>{"tool.exe"});
}

TEST_F(Form1Test, DriveRootGivesASingleSeparator) {
  Form1 form(source);
  form.Form_Load();
  ASSERT_TRUE(form.di.Open(0).ok());  // the root row
  EXPECT_EQ(form.di.Path(), "c:\\");
  EXPECT_EQ(form.te.Text(), "c:\\");
  source.drive('d').current = "";
  ASSERT_TRUE(form.dr.SetDrive("d").ok());
  EXPECT_EQ(form.te.Text(), "d:\\");
}

TEST_F(Form1Test, DriveChangeMovesTheFolderListThePathBoxAndTheFileList) {
  Form1 form(source);
  form.Form_Load();
  ASSERT_TRUE(form.dr.SetDrive("d: [DATA]").ok());
  EXPECT_EQ(form.dr.Drive(), "d: [DATA]");
  EXPECT_EQ(form.di.Path(), "d:\\work");
  EXPECT_EQ(form.te.Text(), "d:\\work\\");
  EXPECT_EQ(form.fi.items(), std::vector<std::string>{"tool.exe"});
}

TEST_F(Form1Test, DriveNotReadyChangesNothingElse) {
  Form1 form(source);
  form.Form_Load();
  const std::string path = form.te.Text();
  const int assignments = form.te.assignments();
  ASSERT_TRUE(form.dr.SetDrive("e").ok());
  EXPECT_EQ(form.dr.Drive(), "e:");  // the list shows the chosen drive
  EXPECT_EQ(form.di.Path(), "c:\\Users");
  EXPECT_EQ(form.fi.Path(), "c:\\Users");
  EXPECT_EQ(form.te.Text(), path);
  EXPECT_EQ(form.te.assignments(), assignments);
}

TEST_F(Form1Test, TypedTextStaysUntilTheNextFolderChange) {
  Form1 form(source);
  form.Form_Load();
  form.te.Type("x:\\typed\\");
  ASSERT_TRUE(form.di.SetPath("c:\\Users").ok());  // the same folder: no change
  EXPECT_EQ(form.te.Text(), "x:\\typed\\");
  ASSERT_TRUE(form.dr.SetDrive("d").ok());
  EXPECT_EQ(form.te.Text(), "d:\\work\\");
  form.te.Type("typed again");
  ASSERT_TRUE(form.di.Open(0).ok());
  EXPECT_EQ(form.te.Text(), "d:\\");
}

}  // namespace
}  // namespace qrv3
