// Helpers shared by the tests: temporary folders on the real file system, whole-file reads, and
// running another program with its output captured.
#pragma once

#include <cstdint>
#include <filesystem>
#include <functional>
#include <map>
#include <optional>
#include <string>
#include <vector>

namespace qrv3::testing {

// A new empty folder under the system's temporary folder, removed with everything in it when
// the object goes away (read-only files included).
class TempDir {
 public:
  TempDir();
  ~TempDir();
  TempDir(const TempDir&) = delete;
  TempDir& operator=(const TempDir&) = delete;

  const std::filesystem::path& path() const { return path_; }
  // The folder as UTF-8, without a trailing separator.
  std::string str() const;
  // The folder followed by the product's separator, as the path box holds it.
  std::string install_path() const { return str() + "\\"; }
  // A UTF-8 path to `relative` (product-style, "\" separators) inside the folder.
  std::string operator/(const std::string& relative) const { return str() + "\\" + relative; }

 private:
  std::filesystem::path path_;
};

std::vector<uint8_t> ReadAll(const std::string& utf8_path);
bool FileHolds(const std::string& utf8_path, const std::vector<uint8_t>& bytes);

// Every file under a folder (or the one file), by path, with its size, a hash of its bytes and
// its last-write time: two snapshots are equal when nothing there was written.
struct FileSnapshot {
  uintmax_t size;
  size_t hash;
  std::filesystem::file_time_type time;
  friend bool operator==(const FileSnapshot&, const FileSnapshot&) = default;
};
std::map<std::string, FileSnapshot> Snapshot(const std::filesystem::path& folder);
void SetReadOnly(const std::string& utf8_path, bool read_only);

// A path the test program can open for a path the build system knows (under Wine, a Linux path
// becomes its Z: drive path).
std::string BuildPath(const std::string& path);

struct ProcessResult {
  int exit_code = -1;  // on POSIX, a signal that ended the program as its number negated
  std::string out;     // standard output
  std::string err;     // standard error
};
// Runs `program` with `args` and waits for it to end; its output as text, each line ending in
// "\n". With `meanwhile`, its output pipe is filled to the brim beforehand, so that its first line
// blocks it, and `meanwhile` gets its id meanwhile.
using WhileBlocked = std::function<void(int pid)>;
ProcessResult RunProcess(const std::string& program, const std::vector<std::string>& args,
                         const WhileBlocked& meanwhile = nullptr);
// Runs a command of the POSIX shell, so that a test plants symbolic links and reads permission
// bits the way a user of the system would: its standard output, or nullopt on Windows.
std::optional<std::string> Shell(const std::string& command);
// The path as that shell names it, single-quoted.
std::string ShellPath(const std::filesystem::path& path);

#ifdef _WIN32
// Runs `program` with the command line its quoted name followed by `tail`, exactly as a user
// would type it.
ProcessResult RunCommandLine(const std::string& program, const std::string& tail,
                             const WhileBlocked& meanwhile = nullptr);
#endif

}  // namespace qrv3::testing
