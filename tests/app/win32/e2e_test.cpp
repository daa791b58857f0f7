// The real updater, started as its own process beside its data pieces, driven from here as a
// user would drive it.
#include <windows.h>

#include <gtest/gtest.h>

#include <filesystem>
#include <thread>

#include "engine/names.h"
#include "engine/texts.h"
#include "engine/utf.h"
#include "tests/test_util.h"
#include "tools/demo_install.h"
#include "tools/window_driver_win.h"

namespace qrv3::testing {
namespace {
namespace fs = std::filesystem;

// The updater copied beside its data pieces, as it is shipped, and an installation; each test
// starts it its own way, and it must end well.
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

bool EqualIgnoringCase(const std::string& a, const std::string& b) {
  return CompareIgnoringCase(a, b) == 0;
}

TEST_F(EndToEnd, ChooseTheFolderUpdateAndFinish) {
  ASSERT_TRUE(window.Launch(exe));
  // No installation at the default folder: start-up stays on drive C's current folder.
  const std::string start = window.Text("te");
  EXPECT_TRUE(EqualIgnoringCase(start.substr(0, 2), "c:")) << start;
  EXPECT_TRUE(start.ends_with("\\") && !start.ends_with("\\\\")) << start;

  // Another drive: the folder list, the path box and the file list follow it.
  ASSERT_TRUE(window.PickDrive('z'));
  EXPECT_TRUE(EqualIgnoringCase(window.Text("te").substr(0, 3), "z:\\")) << window.Text("te");

  // The installation, opened row by row from drive C's root.
  ASSERT_TRUE(window.OpenPath(install.str()));
  EXPECT_TRUE(EqualIgnoringCase(window.Text("te"), install.install_path())) << window.Text("te");
  EXPECT_EQ(window.Items("fi"), (std::vector<std::string>{"QRV_3.EXE", "qrv_D3.EXE"}));

  // A typed path is used as it stands.
  window.Type("c:\\nowhere\\");
  EXPECT_EQ(window.Text("te"), "c:\\nowhere\\");
  window.PressStart();
  EXPECT_EQ(window.Text("Lab1"), texts::InstallationMessage(0));
  EXPECT_EQ(window.Text("Command1"), "更新開始");

  window.Type(install.install_path());
  window.PressStart();
  EXPECT_EQ(window.Text("Lab1"), "更新が終了しました。この更新ソフトをパソコンから削除して下さい。");
  EXPECT_EQ(window.Text("Command1"), "更新終了");
  EXPECT_EQ(fs::file_size(FsPath(install / "Database\\p03.PAC")), 12121535u);

  // Further presses do nothing; the lists still work.
  window.PressStart();
  EXPECT_EQ(window.Text("Lab1"), "更新が終了しました。この更新ソフトをパソコンから削除して下さい。");
  EXPECT_EQ(window.Text("Command1"), "更新終了");
  ASSERT_TRUE(window.OpenFolder("Database"));
  EXPECT_TRUE(window.Text("te").ends_with("\\Database\\"));
}

// The system's DPI, as Wine reads it when a program starts, for as long as the object lives.
class SystemDpi {
 public:
  explicit SystemDpi(DWORD dpi) {
    if (RegCreateKeyExW(HKEY_CURRENT_USER, L"Control Panel\\Desktop", 0, nullptr, 0, KEY_SET_VALUE,
                        nullptr, &key_, nullptr) == ERROR_SUCCESS) {
      Set(dpi);
    }
  }
  ~SystemDpi() {
    if (!key_) return;
    Set(96);
    RegCloseKey(key_);
  }
  bool ok() const { return key_ != nullptr; }

 private:
  void Set(DWORD dpi) {
    RegSetValueExW(key_, L"LogPixels", 0, REG_DWORD, reinterpret_cast<const BYTE*>(&dpi), sizeof dpi);
  }
  HKEY key_ = nullptr;
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

// Started with the system at 120 dpi, its manifest makes it lay itself out for it. At 125 % the
// window is taller than a 1366 x 768 laptop's work area: it still opens with the whole caption,
// its only handle, on the screen.
TEST_F(EndToEnd, CaptionStaysOnA1366x720DesktopAt120Dpi) {
  const wchar_t kDesktop[] = L"Qrv3Laptop";
  HKEY key;
  ASSERT_EQ(RegCreateKeyExW(HKEY_CURRENT_USER, L"Software\\Wine\\Explorer\\Desktops", 0, nullptr, 0,
                            KEY_SET_VALUE, nullptr, &key, nullptr),
            ERROR_SUCCESS);
  const wchar_t size[] = L"1366x720";
  RegSetValueExW(key, kDesktop, 0, REG_SZ, reinterpret_cast<const BYTE*>(size), sizeof size);
  RegCloseKey(key);
  {
    SystemDpi dpi(120);
    ASSERT_TRUE(dpi.ok());
    ASSERT_TRUE(window.Launch(exe, 30000, kDesktop));
  }
  const RECT work = WorkAreaOn(kDesktop, window.hwnd());
  ASSERT_FALSE(IsRectEmpty(&work));
  EXPECT_LE(work.bottom - work.top, 720);
  RECT client;
  GetClientRect(window.hwnd(), &client);
  EXPECT_EQ(client.right, 745);  // 8940 twips at 120 dpi
  EXPECT_EQ(client.bottom, 700);
  RECT lab1;  // 120 twips are 10 pixels, 8685 are 723.75
  GetWindowRect(window.Child("Lab1"), &lab1);
  MapWindowPoints(nullptr, window.hwnd(), reinterpret_cast<POINT*>(&lab1), 2);
  EXPECT_EQ(lab1.left, 10);
  EXPECT_EQ(lab1.right, 10 + 724);
  RECT wr;
  GetWindowRect(window.hwnd(), &wr);
  ASSERT_GT(wr.bottom - wr.top, work.bottom - work.top) << "the window fits: nothing to test";
  // The caption: from the window's top edge down to its client area.
  POINT client_top = {0, 0};
  ClientToScreen(window.hwnd(), &client_top);
  EXPECT_EQ(wr.top, work.top);
  EXPECT_LE(client_top.y, work.bottom);
  EXPECT_GE(wr.left, work.left);
  EXPECT_LE(wr.right, work.right);
}

}  // namespace
}  // namespace qrv3::testing
