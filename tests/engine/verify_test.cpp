#include "engine/verify.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <functional>
#include <tuple>

#include "tests/engine/fixture.h"

namespace qrv3::testing {
namespace {
namespace fs = std::filesystem;

int Verify(const std::string& install_path) {
  return VerifyInstallation(*Env::Default(), [&] { return install_path; });
}

TEST(Verify, CounterTellsHowManyChecksPassed) {
  struct Case {
    const char* what;
    std::function<void(const std::string& install_path)> spoil;
    int counter;
  };
  const auto resize = [](const char* name, uintmax_t size) {
    return [=](const std::string& p) { fs::resize_file(demo::FsPath(p + name), size); };
  };
  const auto stamp = [](const char* name, const char* when) {
    return [=](const std::string& p) { ASSERT_TRUE(demo::SetFileStamp(p + name, demo::ParseStamp(when)).ok()); };
  };
  const auto remove = [](const char* name) { return [=](const std::string& p) { fs::remove(demo::FsPath(p + name)); }; };
  const Case cases[] = {
      {"the expected release", [](const std::string&) {}, 15},
      {"first file missing", remove("Database\\J03.PAC"), 0},
      {"program one byte long", resize("QRV_3.EXE", 8998913), 4},
      {"program one byte short", resize("QRV_3.EXE", 8998911), 4},
      {"a folder in place of the program",
       [&](const std::string& p) {
         remove("QRV_3.EXE")(p);
         fs::create_directory(demo::FsPath(p + "QRV_3.EXE"));
       },
       4},
      {"help file touched", stamp("QRV_3.CHM", "2024/01/01 00:00:00"), 8},
      {"database one second early", stamp("Database\\p03.PAC", "2002/09/06 19:51:23"), 11},
      {"fifth file one second late", stamp("qrv_D3.EXE", "2002/09/09 15:44:19"), 14},
      {"fifth file missing", remove("qrv_D3.EXE"), 12},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    TempDir dir;
    ASSERT_TRUE(demo::WriteInstallation(dir.str()).ok());
    c.spoil(dir.install_path());
    EXPECT_EQ(Verify(dir.install_path()), c.counter);
  }
}

TEST(Verify, InstallPathIsUsedAsGiven) {
  TempDir dir;
  ASSERT_TRUE(demo::WriteInstallation(dir.str()).ok());
  // Without the trailing separator the names run into the folder's name.
  EXPECT_EQ(Verify(dir.str()), 0);
  EXPECT_EQ(Verify(dir.install_path() + "nowhere\\"), 0);
  EXPECT_EQ(Verify(std::string("C:\\<>|\\")), 0);  // no such name can exist

  // An empty path names the files relative to the current folder.
  const fs::path before = fs::current_path();
  fs::current_path(dir.path());
  const int counter = Verify("");
  fs::current_path(before);
  EXPECT_EQ(counter, 15);
}

TEST(Verify, LetterCaseOfInstalledNamesDoesNotMatter) {
  TempDir dir;
  ASSERT_TRUE(demo::WriteInstallation(dir.str()).ok());
  const std::pair<const char*, const char*> renames[] = {
      {"Database\\J03.PAC", "Database\\j03.pac"}, {"QRV_3.EXE", "Qrv_3.exe"},
      {"Database\\p03.PAC", "Database\\P03.pac"}, {"qrv_D3.EXE", "QRV_D3.exe"},
      {"Database", "DATABASE"}};
  for (const auto& [from, to] : renames) {
    fs::rename(demo::FsPath(dir / from), demo::FsPath(dir / (std::string(to) + ".tmp")));
    fs::rename(demo::FsPath(dir / (std::string(to) + ".tmp")), demo::FsPath(dir / to));
  }
  int reads = 0;  // the path box is read again for every file name
  EXPECT_EQ(VerifyInstallation(*Env::Default(), [&] { return ++reads, dir.install_path(); }), 15);
  EXPECT_EQ(reads, 15);
}

TEST(FileBinaryCompare, ComparesWholeContents) {
  TempDir dir;
  auto write = [&](const std::string& name, const std::string& bytes) {
    std::ofstream(demo::FsPath(dir / name), std::ios::binary) << bytes;
    return dir / name;
  };
  std::string big(3 << 20, 'x');
  const std::string a = write("a", big), b = write("b", big);
  big.back() = 'y';
  const std::tuple<std::string, std::string, bool> cases[] = {
      {a, b, true}, {a, write("c", big), false}, {a, write("s", big.substr(1)), false},
      {write("e1", ""), write("e2", ""), true}};
  for (const auto& [one, other, same] : cases) {
    bool equal = !same;
    ASSERT_TRUE(FileBinaryCompare(*Env::Default(), one, other, &equal).ok()) << other;
    EXPECT_EQ(equal, same) << other;
  }
  bool equal;
  EXPECT_EQ(FileBinaryCompare(*Env::Default(), a, dir / "missing", &equal).code(), Status::Code::kNotFound);
}

}  // namespace
}  // namespace qrv3::testing
