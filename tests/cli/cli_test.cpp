// The console updater end to end: the real program, copied beside the data pieces as shipped, run
// on an installation in a folder with spaces and Japanese in its name; and its run in the process.
#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <functional>
#include <optional>

#include "cli/console.h"
#include "engine/rebuild.h"
#include "engine/texts.h"
#include "tests/engine/faulty_env.h"
#include "tests/engine/fixture.h"
#include "tests/test_util.h"
#include "tools/demo_install.h"

namespace qrv3::testing {
namespace {
namespace fs = std::filesystem;

// The run's installation message as the console prints it: its lone carriage return would
// send a terminal back to the start of the line, so it becomes a line break.
std::string InstallationLines(int counter) {
  std::string m = texts::InstallationMessage(counter);
  m.replace(m.find('\r'), 1, "\n");
  return m + "\n";
}

class CliTest : public ::testing::Test {
 protected:
  void SetUp() override {
    ASSERT_TRUE(demo::WriteInstallation(folder).ok());
    ASSERT_TRUE(demo::WritePieces(updater.str()).ok());
    cli = Beside(QRV3_CLI_EXE);
  }
  // The program built as `exe`, copied beside the data pieces, as it is shipped.
  std::string Beside(const std::string& exe) const {
    const fs::path built = demo::FsPath(BuildPath(exe));
    fs::copy_file(built, updater.path() / built.filename());
    return demo::Utf8Path(updater.path() / built.filename());
  }
  std::map<std::string, FileSnapshot> Installed() const { return Snapshot(root.path()); }
  std::string Database() const { return path + "Database\\p03.PAC"; }

  TempDir root, updater;
  const std::string folder = root / "Program Files\\Brackwell\\Morvanth「Quelline」アーカイヴ";
  const std::string path = folder + "\\";
  std::string cli;
};

// In the process, on a console that records.
class RecordingConsole final : public cli::Console {
 public:
  void Out(const std::string& line) override { lines.push_back("out:" + line); }
  void Err(const std::string& line) override { lines.push_back("err:" + line); }
  std::vector<std::string> lines;
};

// Runs one after another, each on the installation as the steps before left it: what each
// prints and exits with; only the update itself changes anything.
TEST_F(CliTest, EachRunSaysWhatItDidAndOnlyTheUpdateWrites) {
  const std::string done = "更新が終了しました。この更新ソフトをパソコンから削除して下さい。\n";
  const std::string hint = "qrv3-updater-cli: hint: INSTALL_PATH must end in \"\\\": the file "
                           "names are appended to it as they are; try \"" + path + "\"\n";
  const auto usage = [](const std::string& why) {
    return "qrv3-updater-cli: " + why + "\nusage: qrv3-updater-cli [--check] INSTALL_PATH\n"
           "Try 'qrv3-updater-cli --help' for more information.\n";
  };
  const std::string help = "~Usage: qrv3-updater-cli [--check] INSTALL_PATH\n";
  const std::string two = usage("one INSTALL_PATH expected, got 2 arguments (a folder with spaces must be quoted)");
  auto stamp = [&](const char* when) {
    ASSERT_TRUE(demo::SetFileStamp(path + "QRV_3.CHM", demo::ParseStamp(when)).ok());
  };
  auto move = [](const std::string& from, const std::string& to) {
    fs::rename(demo::FsPath(from), demo::FsPath(to));
  };
  std::optional<OtherRun> other;
  struct Step {
    std::vector<std::string> args;
    int exit;
    std::string out, err;  // the whole of it, or "~" and a part
    std::function<void()> before = [] {};
  };
  const Step steps[] = {
      {{"--help"}, 0, help, ""},
      {{path, "-h"}, 0, help, ""},
#ifdef _WIN32
      {{"/?"}, 0, help, ""},
#endif
      {{"--version"}, 0, "qrv3-updater-cli 1.00\n", ""},
      {{}, 64, "", usage("INSTALL_PATH is missing")},
      {{"--check"}, 64, "", usage("INSTALL_PATH is missing")},
      {{""}, 64, "", usage("INSTALL_PATH is empty")},
      {{path, path}, 64, "", two},
      {{"C:\\Program", "Files\\Brackwell\\"}, 64, "", two},  // an unquoted folder with spaces
      {{"-x", path}, 64, "", usage("unknown option '-x'")},
      {{"--check=yes", path}, 64, "", usage("unknown option '--check=yes'")},
      {{"--check", path}, 0, "The update can be applied to " + path + "\n", ""},
      // "C:\folder\" typed at a Windows prompt reaches the program as C:\folder" .
      {{"--check", folder + "\""}, 0, "The update can be applied to " + path + "\n", ""},
      // A help file touched after installing: the run would stop after eight checks.
      {{"--check", path}, 1, InstallationLines(8), "", [&] { stamp("2002/09/09 11:02:57"); }},
      // The first file moved away: a wrong installation. The path ends in its separator: no hint.
      {{path}, 1, "更新中\n" + InstallationLines(0), "",
       [&] {
         stamp("2002/09/09 11:02:56");
         move(path + "Database\\J03.PAC", root / "J03.PAC");
       }},
      // UTF-8 to a pipe, like the texts on stdout.
      {{folder}, 1, "更新中\n" + InstallationLines(0), hint,
       [&] { move(root / "J03.PAC", path + "Database\\J03.PAC"); }},
      {{"--check", folder}, 1, InstallationLines(0), hint},
      {{path}, 2, "更新中\n" + InstallationLines(15), "~data2.cab",
       [&] { move(updater / "data2.cab", root / "data2.cab"); }},
      {{"--check", path}, 2, "", "~data2.cab"},
      // Another run holds the installation; its turn come, the same command goes through.
      {{path}, 4, "更新中\n" + InstallationLines(15), "~another update is running",
       [&] {
         move(root / "data2.cab", updater / "data2.cab");
         EXPECT_TRUE(other.emplace(path + "Database").held());
       }},
      {{folder + "\""}, 0, "更新中\n" + done, "", [&] { other.reset(); }},
      // A run killed after its replace left its lock file and a temporary file: a run that
      // finds nothing to update still removes them, unless --check.
      {{"--check", path}, 3, "The update is already applied to " + path + "\n", "",
       [&] {
         for (const char* name : {"P03.pac.lock", "P03.pac.0f1e2d3c4b5a6978.tmp"}) {
           std::ofstream(demo::FsPath(path + "Database\\" + name)) << std::string(4096, 'x');
         }
       }},
      {{path}, 3,
       "Already up to date: the update is already applied to " + path + "; nothing was changed\n", ""},
      // Whether an updated installation is the updated one only the pieces can tell.
      {{"--check", path}, 2, "", "~data1.cab", [&] { fs::remove(demo::FsPath(updater / "data1.cab")); }},
  };
  // The installation, or while another run holds its lock (which Windows lets no one read), the
  // database.
  const auto state = [&] { return other ? Snapshot(demo::FsPath(Database())) : Installed(); };
  const auto expect_text = [](const std::string& got, const std::string& want) {
    if (want.starts_with("~")) {
      EXPECT_NE(got.find(want.substr(1)), std::string::npos) << got;
    } else {
      EXPECT_EQ(got, want);
    }
  };
  for (const Step& step : steps) {
    step.before();
    SCOPED_TRACE(step.args.empty() ? "(none)" : step.args.front() + " " + step.args.back());
    const auto before = state();
    ProcessResult r = RunProcess(cli, step.args);
    EXPECT_EQ(r.exit_code, step.exit);
    expect_text(r.out, step.out);
    expect_text(r.err, step.err);
    if (step.out.ends_with(done)) {
      EXPECT_EQ(fs::file_size(demo::FsPath(Database())), 12121535u);
    } else if (step.out.starts_with("Already")) {
      const fs::directory_iterator left(demo::FsPath(path + "Database"));
#ifdef _WIN32
      EXPECT_EQ(std::distance(fs::begin(left), fs::end(left)), 3);  // a lock file found is never removed
#else
      EXPECT_EQ(std::distance(fs::begin(left), fs::end(left)), 2);
#endif
    } else {
      EXPECT_EQ(state(), before);
    }
  }
}

// The console updater built with the digest of the database the generated pieces make
// (sha256sum of it, computed once outside), as this program is: the right pieces update; one byte
// flipped in any piece among those that end up in the database is refused with nothing changed
// and nothing left beside it, one that does not end up in it (a header, the byte the next piece
// overwrites, a tail) is not. The pieces' layout as the product's tooling gives it. The database
// such pieces make, put in place by the build without the digest, is no database of the release:
// the run stops where the verification does, and neither it nor the check calls it applied.
TEST_F(CliTest, ABuildWithTheDigestTakesOnlyPiecesThatMakeTheDatabase) {
  const std::string digest = "26ea75327c5af9ba92877d2fadda9d2b7664442ec1320ea701a9ec03d9f881b8";
  EXPECT_EQ(RunProcess(Beside(QRV3_CLI_DIGEST_EXE), {"--version"}).out,
            "qrv3-updater-cli 1.00\ndatabase SHA-256: " + digest + "\n");
  const std::vector<uint8_t> updated = NewDatabaseFrom(updater);
  const struct {
    const char* piece;
    uint64_t offset;  // 0-based
    bool taken;       // the byte ends up in the database
  } flips[] = {
      {nullptr, 0, false},  // the pieces as they are
      // data3.cab: a 27-byte header, 4,167,104 bytes taken, one overwritten by data1.cab, a tail;
      // data2.cab: 29 bytes of header, 2,938,335 taken, the last of the database, then a tail.
      {"data3.cab", 26, false}, {"data3.cab", 27, true}, {"data3.cab", 4167131, false},
      {"data2.cab", 2938363, true}, {"data2.cab", 2938364, false},
  };
  for (const auto& flip : flips) {
    SCOPED_TRACE(std::string(flip.piece ? flip.piece : "none") + " at " + std::to_string(flip.offset));
    const auto change = [&] {
      if (flip.piece == nullptr) return;
      std::fstream f(demo::FsPath(updater / flip.piece), std::ios::binary | std::ios::in | std::ios::out);
      f.seekg(static_cast<std::streamoff>(flip.offset));
      const char c = static_cast<char>(f.get() ^ 0x5a);
      f.seekp(static_cast<std::streamoff>(flip.offset));
      f.put(c);
      ASSERT_TRUE(f.good());
    };
    change();
    const auto before = Installed();
    RecordingConsole console;
    const int exit = cli::Main({path}, *Env::Default(), updater.str(), console);
    if (flip.taken) {
      EXPECT_EQ(exit, 2);
      EXPECT_EQ(console.lines[1] + "\n", "out:" + InstallationLines(15));
      EXPECT_NE(console.lines.back().find("the data pieces do not hold the expected database"),
                std::string::npos) << console.lines.back();
      EXPECT_EQ(Installed(), before);
      ASSERT_EQ(RunProcess(cli, {path}).exit_code, 0);  // the build without the digest
      const auto damaged = Installed();
      for (const bool run : {false, true}) {
        RecordingConsole again;
        EXPECT_EQ(cli::Main(run ? std::vector<std::string>{path} : std::vector<std::string>{"--check", path},
                            *Env::Default(), updater.str(), again), 1);
        EXPECT_EQ(again.lines.at(run ? 1 : 0) + "\n", "out:" + InstallationLines(10));
        EXPECT_NE(again.lines.back().find("the installed database is not the release's"),
                  std::string::npos) << again.lines.back();
        EXPECT_EQ(Installed(), damaged);
      }
      ASSERT_TRUE(demo::WriteInstallation(folder).ok());
    } else {
      EXPECT_EQ(exit, 0) << console.lines.back();
      EXPECT_TRUE(FileHolds(Database(), updated));
      ASSERT_TRUE(demo::WriteInstallation(folder).ok());
    }
    change();  // back as it was
  }
}

#ifdef _WIN32
// On a real console, which Wine gives only with a display: cli_console_tests runs these under
// gui-run, and cli_tests skips them.
class CliConsoleTest : public CliTest {
 protected:
  static void SetUpTestSuite() {
    FreeConsole();
    if (!AllocConsole()) return;
    screen_ = CreateFileW(L"CONOUT$", GENERIC_READ | GENERIC_WRITE,
                          FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr, OPEN_EXISTING, 0, nullptr);
    DWORD mode;
    if (!GetConsoleMode(screen_, &mode)) return;
    // Wide enough that no line wraps.
    SetConsoleScreenBufferSize(screen_, COORD{400, 200});
    noted_ = CreateEventW(nullptr, FALSE, FALSE, nullptr);
    SetConsoleCtrlHandler(NoteInterruption, TRUE);
  }
  // This program shares the console: it notes the interruptions it sends and goes on. A named
  // WINAPI function: 32-bit Windows calls handlers as stdcall, which no lambda converts to.
  static BOOL WINAPI NoteInterruption(DWORD) {
    SetEvent(noted_);
    return TRUE;
  }
  void SetUp() override {
    if (noted_ == nullptr) GTEST_SKIP() << "no console without a display";
    CliTest::SetUp();
    DWORD written;
    FillConsoleOutputCharacterW(screen_, L' ', 400 * 200, COORD{0, 0}, &written);
    SetConsoleCursorPosition(screen_, COORD{0, 0});
  }
  // The console's lines, without their trailing blanks, up to the first empty one.
  static std::vector<std::string> Screen() {
    std::vector<std::string> lines;
    for (SHORT y = 0; y < 200; ++y) {
      wchar_t row[400];
      DWORD got = 0;
      ReadConsoleOutputCharacterW(screen_, row, 400, COORD{0, y}, &got);
      std::wstring text(row, got);
      while (!text.empty() && text.back() == L' ') text.pop_back();
      if (text.empty()) break;
      lines.push_back(Narrow(text));
    }
    return lines;
  }

  // A run on `install_path`, as given, blocked at its first status line once the run has begun,
  // gets `event` on the console, then goes on.
  ProcessResult Interrupt(const std::string& install_path, DWORD event) {
    return RunCommandLine(cli, " \"" + install_path + "\"", [event](int) {
      // Time to start and reach its first line; the console delivers the event to each of its
      // processes on a thread of its own, this one included.
      Sleep(3000);
      GenerateConsoleCtrlEvent(event, 0);
      EXPECT_EQ(WaitForSingleObject(noted_, 10000), WAIT_OBJECT_0);
      Sleep(1000);
    });
  }

  static inline HANDLE screen_ = nullptr;
  static inline HANDLE noted_ = nullptr;
};

TEST_F(CliConsoleTest, BothStreamsReachTheConsoleAsUtf16) {
  // The texts and the folder's name are not in the console's code page (932) as UTF-8 bytes.
  // Started without redirection, it writes to the console it shares with this program.
  std::wstring cmd = L"\"" + Widen(cli) + L"\" \"" + Widen(folder) + L"\"";
  STARTUPINFOW si = {};
  si.cb = sizeof si;
  PROCESS_INFORMATION pi;
  ASSERT_TRUE(CreateProcessW(nullptr, cmd.data(), nullptr, nullptr, FALSE, 0, nullptr, nullptr, &si, &pi));
  UniqueHandle process(pi.hProcess), thread(pi.hThread);
  WaitForSingleObject(process.get(), INFINITE);
  DWORD code;
  GetExitCodeProcess(process.get(), &code);
  EXPECT_EQ(code, 1u);
  std::string message = texts::InstallationMessage(0);
  const size_t cr = message.find('\r');
  EXPECT_EQ(Screen(), (std::vector<std::string>{
                          "更新中", message.substr(0, cr), message.substr(cr + 1),
                          "qrv3-updater-cli: hint: INSTALL_PATH must end in \"\\\": the file "
                          "names are appended to it as they are; try \"" + path + "\""}));
}

// Wine 8 sends Ctrl+Break to no process group but a new one's, which its console refuses; the
// program takes Ctrl+Break exactly as Ctrl+C.
using InterruptTest = CliConsoleTest;
const std::pair<DWORD, int> kStops[] = {{CTRL_C_EVENT, static_cast<int>(0xC000013A)}};  // STATUS_CONTROL_C_EXIT
#else
// Blocked at its first status line ("更新中", written once the run has begun), a run gets the
// signal once its blocked-signal mask holds SIGINT off.
bool HoldsOff(int pid, int sig) {
  std::ifstream status("/proc/" + std::to_string(pid) + "/status");
  for (std::string line; std::getline(status, line);) {
    if (line.starts_with("SigBlk:")) return (std::stoull(line.substr(7), nullptr, 16) >> (sig - 1)) & 1;
  }
  return false;
}

class InterruptTest : public CliTest {
 protected:
  // A run on `install_path` gets `sig` once it holds interruptions off; `nohup` starts it with
  // SIGHUP ignored.
  ProcessResult Interrupt(const std::string& install_path, int sig, bool nohup = false) {
    return RunProcess(nohup ? "/usr/bin/nohup" : cli,
                      nohup ? std::vector<std::string>{cli, install_path} : std::vector{install_path},
                      [sig](int pid) {
                        for (int i = 0; i < 10000 && !HoldsOff(pid, SIGINT); ++i) usleep(1000);
                        kill(pid, sig);
                      });
  }
};
const std::pair<int, int> kStops[] = {{SIGINT, -SIGINT}, {SIGTERM, -SIGTERM}, {SIGHUP, -SIGHUP}};
#endif

// Interrupted while it holds the installation, a run finishes first: too late to stop anything,
// the update completes and the program says so; a run that changes nothing ends as an
// interrupted program once it is over, as a shell or a script expects.
TEST_F(InterruptTest, AnInterruptedRunFinishesFirst) {
  ProcessResult r = Interrupt(path, kStops[0].first);
  EXPECT_EQ(r.exit_code, 0);
  EXPECT_EQ(r.out, "更新中\n更新が終了しました。この更新ソフトをパソコンから削除して下さい。\n");
  EXPECT_NE(r.err.find("interrupted after the update had been applied"), std::string::npos) << r.err;
  EXPECT_EQ(fs::file_size(demo::FsPath(Database())), 12121535u);
  const auto before = Installed();
  for (const auto& [stop, exit] : kStops) {
    SCOPED_TRACE(stop);
    r = Interrupt(folder, stop);  // no separator: no check passes
    EXPECT_EQ(r.exit_code, exit);
    EXPECT_EQ(r.out, "更新中\n" + InstallationLines(0));
    EXPECT_NE(r.err.find("interrupted; nothing was changed"), std::string::npos) << r.err;
  }
#ifndef _WIN32
  // Started with SIGHUP ignored, it keeps ignoring it.
  r = Interrupt(folder, SIGHUP, /*nohup=*/true);
  EXPECT_EQ(r.exit_code, 1);
  EXPECT_EQ(r.err.find("interrupted"), std::string::npos) << r.err;
#endif
  EXPECT_EQ(Installed(), before);
}

#ifndef _WIN32
// Its output gone (a reader such as `head` that quit), the program is not killed halfway.
TEST_F(CliTest, AReaderThatQuitDoesNotStopTheUpdate) {
  EXPECT_EQ(Shell("python3 -c 'import os, subprocess, sys; r, w = os.pipe(); os.close(r); "
                  "print(subprocess.call(sys.argv[1:], stdout=w))' " + ShellPath(cli) + " " + ShellPath(path)),
            "0\n");
  EXPECT_EQ(fs::file_size(demo::FsPath(Database())), 12121535u);
}

#endif

// Runs started at once: another one replaces the database while this one verifies the
// installation or waits for its lock. This one changed nothing and the update is applied: 3, as
// for a run that came later, never the 1 or 2 of a broken installation.
TEST_F(CliTest, ARunThatAnotherRunBeatSaysTheUpdateIsApplied) {
  for (const char* moment : {"GetFileStamp", "OpenFolder"}) {
    SCOPED_TRACE(moment);
    ASSERT_TRUE(demo::WriteInstallation(folder).ok());
    RecordingConsole console;
    FaultyEnv env(Env::Default());
    bool other_ran = false;
    env.before_call = [&](const std::string& call) {
      if (call != moment || other_ran || console.lines.empty()) return;  // once the run is on
      other_ran = true;
      DataPieces pieces(*Env::Default(), updater.str());
      ASSERT_TRUE(RebuildDatabase(*Env::Default(), [&] { return path; }, pieces).ok());
    };
    EXPECT_EQ(cli::Main({path}, env, updater.str(), console), 3);
    EXPECT_TRUE(other_ran);
    EXPECT_EQ(console.lines.back(), "out:Already up to date: another run applied the update to " +
                                        path + " meanwhile; nothing was changed by this one");
    EXPECT_TRUE(FileHolds(Database(), NewDatabaseFrom(updater)));
  }
}

}  // namespace
}  // namespace qrv3::testing
