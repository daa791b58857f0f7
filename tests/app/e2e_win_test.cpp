// The real updater, started as its own process beside its data pieces, driven from here as a
// user would drive it.
#include <windows.h>

#include <gtest/gtest.h>

#include <filesystem>
#include <vector>
#include <thread>

#include "base/names.h"
#include "base/utf.h"
#include "base/utf_fs.h"
#include "tests/test_util.h"
#include "tools/demo_install.h"
#include "tools/window_driver_win.h"

namespace qrv3::testing {
namespace {
namespace fs = std::filesystem;
using layout::Id;

// The updater copied beside its data pieces, as it is shipped, and an installation; the updater
// must end well.
class EndToEnd : public ::testing::Test {
 protected:
  void SetUp() override {
    ASSERT_TRUE(demo::WriteInstallation(install.str()).ok());
    ASSERT_TRUE(demo::WritePieces(updater.str()).ok());
    fs::copy_file(FsPath(BuildPath(QRV3_UPDATER_EXE)), FsPath(exe));
  }
  void TearDown() override {
    if (window.hwnd()) {
      EXPECT_EQ(window.Close(), 0);
    }
  }

  TempDir install, updater;
  const std::string exe = updater / "qrv3-updater.exe";
  driver::UpdaterWindow window;
};

// The work area of the monitor that shows `hwnd`, as a program on `desktop` sees it.
RECT WorkAreaOn(const wchar_t* desktop, HWND hwnd) {
  RECT work = {};
  std::thread([&] {
    HDESK d = OpenDesktopW(desktop, 0, FALSE, GENERIC_ALL);
    if (!d) return;
    if (SetThreadDesktop(d)) {
      MONITORINFO mi = {sizeof mi};
      if (GetMonitorInfoW(MonitorFromWindow(hwnd, MONITOR_DEFAULTTONEAREST), &mi)) work = mi.rcWork;
    }
    CloseDesktop(d);
  }).join();
  return work;
}

LSTATUS SetSystemDpi(DWORD dpi) {  // as Wine reads it when a program starts
  return RegSetKeyValueW(HKEY_CURRENT_USER, L"Control Panel\\Desktop", L"LogPixels", REG_DWORD, &dpi,
                         sizeof dpi);
}

// Started at 120 dpi on a laptop's 1366 x 720 desktop, it lays itself out for 120 dpi and, taller
// than the work area, opens with its whole caption, its only handle, on the screen. Then a user's way.
TEST_F(EndToEnd, OnASmallDesktopAt120DpiChooseTheFolderUpdateAndFinish) {
  const wchar_t kDesktop[] = L"Qrv3Laptop", kSize[] = L"1366x720";
  ASSERT_EQ(RegSetKeyValueW(HKEY_CURRENT_USER, L"Software\\Wine\\Explorer\\Desktops", kDesktop, REG_SZ,
                            kSize, sizeof kSize),
            ERROR_SUCCESS);
  ASSERT_EQ(SetSystemDpi(120), ERROR_SUCCESS);
  const bool launched = window.Launch(exe, 30000, kDesktop);
  SetSystemDpi(96);
  ASSERT_TRUE(launched);
  const RECT work = WorkAreaOn(kDesktop, window.hwnd());
  ASSERT_FALSE(IsRectEmpty(&work));
  EXPECT_LE(work.bottom - work.top, 720);
  RECT client, wr;
  GetClientRect(window.hwnd(), &client);
  EXPECT_EQ(client.right, 745);  // 8940 x 8400 twips at 120 dpi
  EXPECT_EQ(client.bottom, 700);
  GetWindowRect(window.hwnd(), &wr);
  ASSERT_GT(wr.bottom - wr.top, work.bottom - work.top) << "the window fits: nothing to test";
  POINT client_top = {0, 0};  // the caption runs from the window's top edge down to here
  ClientToScreen(window.hwnd(), &client_top);
  EXPECT_EQ(wr.top, work.top);
  EXPECT_LE(client_top.y, work.bottom);
  EXPECT_GE(wr.left, work.left);
  EXPECT_LE(wr.right, work.right);

  // Another drive: the folder list, the path box and the file list follow it.
  ASSERT_TRUE(window.PickDrive('z'));
  EXPECT_EQ(CompareIgnoringCase(window.Text(Id::te).substr(0, 3), "z:\\"), 0) << window.Text(Id::te);

  // The installation, opened row by row from drive C's root.
  ASSERT_TRUE(window.OpenPath(install.str()));
  EXPECT_EQ(CompareIgnoringCase(window.Text(Id::te), install.install_path()), 0) << window.Text(Id::te);
  EXPECT_EQ(window.Items(Id::fi), (std::vector<std::string>{"QRV_3.EXE", "qrv_D3.EXE"}));

  // A typed path, used as it stands: updated, and the lists still work.
  window.Type(install.install_path());
  window.PressStart();
  EXPECT_EQ(window.Text(Id::Lab1), "更新が終了しました。この更新ソフトをパソコンから削除して下さい。");
  EXPECT_EQ(window.Text(Id::Command1), "更新終了");
  EXPECT_EQ(fs::file_size(FsPath(install / "Database\\p03.PAC")), 12121535u);
  ASSERT_TRUE(window.OpenFolder("Database"));
  EXPECT_TRUE(window.Text(Id::te).ends_with("\\Database\\"));
}

}  // namespace
}  // namespace qrv3::testing
