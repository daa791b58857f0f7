// The Windows folder source on the system's real drives (under Wine: C: and Z:).
#include <windows.h>

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>

#include "app/folder_source.h"
#include "app/controls.h"
#include "base/utf.h"
#include "base/win32_util_win.h"
#include "tests/test_util.h"

namespace qrv3 {
namespace {
namespace fs = std::filesystem;
using testing::TempDir;

class WindowsSourceTest : public ::testing::Test {
 protected:
  std::unique_ptr<FolderSource> source = NewWindowsFolderSource();
  TempDir dir;
};

TEST_F(WindowsSourceTest, DrivesAndTheirCurrentFolders) {
  const std::vector<char> drives = source->Drives();
  ASSERT_NE(std::find(drives.begin(), drives.end(), 'c'), drives.end());
  for (char letter : drives) {
    std::string folder;
    if (!source->DriveCurrentFolder(letter, &folder).ok()) continue;  // not ready
    SCOPED_TRACE(folder);
    ASSERT_GE(folder.size(), 3u);
    EXPECT_EQ(folder[1], ':');
    EXPECT_TRUE(folder.size() == 3 || folder.back() != '\\');
  }
  EXPECT_FALSE(std::isupper(static_cast<unsigned char>(DriveList(*source).Drive()[0])));
}

// A folder opens in its full form, without a trailing separator; its lists leave out hidden and
// system entries.
TEST_F(WindowsSourceTest, OpenFolderAndListsOfARealFolder) {
  for (const char* f : {"Shown.EXE", "hidden.exe", "system.exe", "other.txt"}) {
    std::ofstream(dir.path() / f) << "x";
  }
  fs::create_directory(dir.path() / "Sub");
  fs::create_directory(dir.path() / "HiddenSub");
  SetFileAttributesW(Widen(dir / "hidden.exe").c_str(), FILE_ATTRIBUTE_HIDDEN);
  SetFileAttributesW(Widen(dir / "system.exe").c_str(), FILE_ATTRIBUTE_SYSTEM);
  SetFileAttributesW(Widen(dir / "HiddenSub").c_str(), FILE_ATTRIBUTE_HIDDEN | FILE_ATTRIBUTE_DIRECTORY);
  std::string folder;
  const std::pair<std::string, std::string> opened[] = {
      {dir.str() + "\\", dir.str()}, {dir.str() + "\\.\\", dir.str()}, {"c:\\", "c:\\"}};
  for (const auto& [given, want] : opened) {
    EXPECT_TRUE(source->OpenFolder(given, &folder).ok() && folder == want) << given << " gave " << folder;
  }
  EXPECT_FALSE(source->OpenFolder(dir / "Shown.EXE", &folder).ok());
  EXPECT_EQ(source->OpenFolder(dir / "missing", &folder).code(), Status::Code::kNotFound);

  FileList fi(*source);
  ASSERT_TRUE(fi.SetPath(dir.str()).ok());
  EXPECT_EQ(fi.items(), std::vector<std::string>{"Shown.EXE"});
  FolderList di(*source);
  ASSERT_TRUE(di.SetPath(dir.str()).ok());
  EXPECT_EQ(di.rows().back().text, "Sub");
  EXPECT_EQ(di.rows().size(), static_cast<size_t>(di.current_row() + 2));
}

TEST_F(WindowsSourceTest, FoldersDeeperThanMaxPathOpenAndList) {
  std::string deep = dir.str();
  while (deep.size() < MAX_PATH + 40) {
    deep += "\\folder-with-a-long-name";
    ASSERT_TRUE(CreateDirectoryW(Win32Path(deep).c_str(), nullptr)) << deep;
  }
  ASSERT_TRUE(CreateDirectoryW(Win32Path(deep + "\\inner").c_str(), nullptr));
  {
    UniqueHandle f(CreateFileW(Win32Path(deep + "\\Qrv_3.exe").c_str(), GENERIC_WRITE, 0, nullptr,
                               CREATE_NEW, 0, nullptr));
    ASSERT_TRUE(f.valid());
  }
  FolderList di(*source);
  ASSERT_TRUE(di.SetPath(deep).ok());
  EXPECT_EQ(di.Path(), deep);
  EXPECT_EQ(di.rows().back().path, deep + "\\inner");
  FileList fi(*source);
  ASSERT_TRUE(fi.SetPath(deep).ok());
  EXPECT_EQ(fi.items(), std::vector<std::string>{"Qrv_3.exe"});
  // Clean up from the inside out: the temporary folder's removal cannot reach this deep.
  DeleteFileW(Win32Path(deep + "\\Qrv_3.exe").c_str());
  RemoveDirectoryW(Win32Path(deep + "\\inner").c_str());
  for (; deep.size() > dir.str().size(); deep.resize(deep.rfind('\\'))) {
    RemoveDirectoryW(Win32Path(deep).c_str());
  }
}

}  // namespace
}  // namespace qrv3
