// The console updater takes its arguments from an administrator's script or a deployment tool:
// any bytes. Main must answer every list of them with one of its exit statuses. It runs on the
// real file system with no data pieces beside it (an empty folder), so that no run can change
// anything wherever a path points: it can only help, tell the version, refuse the usage (64, on
// stderr alone), or fail a check (1) or the rebuild (2). The input is the arguments, separated
// by NUL, as no argument holds one.
#include <unistd.h>

#include <filesystem>

#include "cli/console.h"
#include "fuzz/fuzz.h"

namespace {
namespace fs = std::filesystem;

struct Lines final : qrv3::cli::Console {
  std::vector<std::string> out, err;
  void Out(const std::string& line) override { out.push_back(line); }
  void Err(const std::string& line) override { err.push_back(line); }
};

struct EmptyFolder {
  fs::path path;
  EmptyFolder() {
    std::string name = (fs::temp_directory_path() / "qrv3-fuzz-XXXXXX").string();
    path = mkdtemp(name.data());
  }
  ~EmptyFolder() { fs::remove_all(path); }
};

// Whether the arguments ask for the help or the version: an option before any "--".
bool AsksAbout(const std::vector<std::string>& args) {
  for (const std::string& a : args) {
    if (a == "--") return false;
    if (a == "--help" || a == "-h" || a == "--version") return true;
  }
  return false;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  static EmptyFolder folder;
  std::vector<std::string> args;
  if (size > 0) args = qrv3::fuzz::Fields(data, size, '\0');
  Lines console;
  const int status = qrv3::cli::Main(args, *qrv3::Env::Default(), folder.path.string(), console);
  FUZZ_CHECK(status == 1 || status == 2 || status == 64 || (status == 0 && AsksAbout(args)));
  if (status == 64) FUZZ_CHECK(console.out.empty() && !console.err.empty());
  return 0;
}
