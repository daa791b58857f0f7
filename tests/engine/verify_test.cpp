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

// The checks stop at the first that fails, each on a file name formed afresh from the path box,
// which is used as given: "%" in a row's path stands for the installation's folder. Letter case
// does not matter in finding a file; an empty path names the files in the current folder.
TEST(Verify, CounterTellsHowManyChecksPassed) {
  const auto resize = [](const char* name, uintmax_t size) {
    return [=](const std::string& p) { fs::resize_file(demo::FsPath(p + name), size); };
  };
  const auto stamp = [](const char* name, const char* when) {
    return [=](const std::string& p) { ASSERT_TRUE(demo::SetFileStamp(p + name, demo::ParseStamp(when)).ok()); };
  };
  const auto remove = [](const char* name) { return [=](const std::string& p) { fs::remove(demo::FsPath(p + name)); }; };
  const auto as_is = [](const std::string&) {};
  const struct {
    const char* what;
    std::function<void(const std::string& install_path)> spoil;
    std::string path;
    int counter;
  } cases[] = {
      {"the expected release", as_is, "%\\", 15},
      {"no separator: the names run into the folder's", as_is, "%", 0},
      {"a folder that is not there", as_is, "%\\nowhere\\", 0},
      {"no such name can exist", as_is, "C:\\<>|\\", 0},
      {"the current folder", [](const std::string& p) { fs::current_path(demo::FsPath(p)); }, "", 15},
      {"first file missing", remove("Database\\J03.PAC"), "%\\", 0},
      {"program one byte long", resize("QRV_3.EXE", 8998913), "%\\", 4},
      {"program one byte short", resize("QRV_3.EXE", 8998911), "%\\", 4},
      {"a folder in place of the program",
       [&](const std::string& p) {
         remove("QRV_3.EXE")(p);
         fs::create_directory(demo::FsPath(p + "QRV_3.EXE"));
       },
       "%\\", 4},
      {"help file touched", stamp("QRV_3.CHM", "2024/01/01 00:00:00"), "%\\", 8},
      {"database one second early", stamp("Database\\p03.PAC", "2002/09/06 19:51:23"), "%\\", 11},
      {"fifth file one second late", stamp("qrv_D3.EXE", "2002/09/09 15:44:19"), "%\\", 14},
      {"fifth file missing", remove("qrv_D3.EXE"), "%\\", 12},
      {"names in other letter case",
       [](const std::string& p) {
         for (const auto& [from, to] : {std::pair{"Database\\J03.PAC", "Database\\j03.pac"}, {"QRV_3.EXE", "Qrv_3.exe"},
                                        {"Database\\p03.PAC", "Database\\P03.pac"}, {"qrv_D3.EXE", "QRV_D3.exe"},
                                        {"Database", "DATABASE"}}) {
           fs::rename(demo::FsPath(p + from), demo::FsPath(p + to + ".tmp"));
           fs::rename(demo::FsPath(p + to + ".tmp"), demo::FsPath(p + to));
         }
       },
       "%\\", 15},
  };
  const fs::path start = fs::current_path();
  for (const auto& c : cases) {
    SCOPED_TRACE(c.what);
    TempDir dir;
    ASSERT_TRUE(demo::WriteInstallation(dir.str()).ok());
    c.spoil(dir.install_path());
    const std::string path = c.path.starts_with("%") ? dir.str() + c.path.substr(1) : c.path;
    int reads = 0;
    const int counter = VerifyInstallation(*Env::Default(), [&] { return ++reads, path; });
    fs::current_path(start);
    EXPECT_EQ(counter, c.counter);
    EXPECT_EQ(reads, std::min(counter + 1, 15));
  }
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
