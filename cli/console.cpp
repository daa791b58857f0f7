#include "cli/console.h"

#include "cli/version.h"
#include "engine/applied.h"
#include "engine/database_digest.h"
#include "engine/rebuild.h"
#include "engine/texts.h"
#include "engine/update_run.h"

namespace qrv3::cli {
namespace {

constexpr const char* kUsage = "usage: qrv3-updater-cli [--check] INSTALL_PATH";

constexpr const char* kHelp =
    "Usage: qrv3-updater-cli [--check] INSTALL_PATH\n"
    "       qrv3-updater-cli --help | --version\n"
    "\n"
    "Updates an installed 『Morvanth「Quelline」アーカイヴ\u3000Vol.3』: checks that\n"
    "INSTALL_PATH holds exactly the expected release (five files, each for existence, size\n"
    "and time stamp) and replaces its Database\\P03.pac with the database made from the data\n"
    "pieces data1.cab to data4.cab beside this program.\n"
    "The old database is replaced in one step, only once the new one is complete on the disk.\n"
    "Each status text of the update is printed on a line, as the updater's window shows it.\n"
    "\n"
    "INSTALL_PATH is the product's folder ending in \"\\\", for example\n"
    "  \"C:\\Program Files\\Brackwell\\Morvanth「Quelline」アーカイヴ\\\"\n"
    "A quote that ends INSTALL_PATH is taken as \"\\\": on Windows a backslash before a\n"
    "closing quote escapes it, so the folder above reaches the program ending in a quote.\n"
    "\n"
    "Options:\n"
    "  --check     only check, change nothing: can the update be applied, or is it already?\n"
    "  -h, --help  show this help (also /? on Windows)\n"
    "  --version   show the version\n"
    "\n"
    "Exit status:\n"
    "  0   the update was applied (--check: it can be applied)\n"
    "  1   an installation check failed: INSTALL_PATH is not the expected release\n"
    "  2   the rebuild failed: the data pieces are missing or short, or the database could\n"
    "      not be replaced; nothing was changed\n"
    "  3   the update is already applied; nothing was changed\n"
    "  4   another update is running on this installation; nothing was changed, try later\n"
    "  64  wrong usage; nothing was done\n"
    "\n"
    "Ctrl+C or a closed console during an update lets the update finish first (about a\n"
    "second): the database is never left half replaced. The program then exits with 0 if the\n"
    "update was applied, otherwise as an interrupted program.";

struct Arguments {
  bool help = false, version = false, check = false;
  std::vector<std::string> paths;
  std::string unknown;  // the first unknown option
};

Arguments Parse(const std::vector<std::string>& args) {
  Arguments parsed;
  bool options = true;
  for (const std::string& a : args) {
    if (options && a == "--") {
      options = false;
    } else if (options && (a == "--help" || a == "-h")) {
      parsed.help = true;
    } else if (options && a == "--version") {
      parsed.version = true;
    } else if (options && a == "--check") {
      parsed.check = true;
    } else if (options && a.size() > 1 && a[0] == '-') {
      if (parsed.unknown.empty()) parsed.unknown = a;
    } else {
      parsed.paths.push_back(a);
    }
  }
  return parsed;
}

int UsageError(Console& console, const std::string& why) {
  console.Err(std::string(kName) + ": " + why);
  console.Err(kUsage);
  console.Err(std::string("Try '") + kName + " --help' for more information.");
  return kExitUsage;
}

// The window breaks its status line at the lone carriage return; a terminal would go back to
// the start of the line and overwrite it.
std::string AsLines(std::string text) {
  for (char& c : text) {
    if (c == '\r') c = '\n';
  }
  return text;
}

// The path is used as given, like the window's path box, so a forgotten separator makes the
// file names run into the folder's name and the very first check fail.
void HintAtSeparator(Console& console, const std::string& path) {
  if (path.empty() || path.back() == '\\' || path.back() == '/') return;
  console.Err(std::string(kName) + ": hint: INSTALL_PATH must end in \"\\\": the file names "
              "are appended to it as they are; try \"" + path + "\\\"");
}

int ReportCheck(Console& console, const UpdateCheck& check, const std::string& path) {
  switch (check.state) {
    case UpdateState::kCanApply:
      console.Out("The update can be applied to " + path);
      return kExitFinished;
    case UpdateState::kAlreadyApplied:
      console.Out("The update is already applied to " + path);
      return kExitUpToDate;
    case UpdateState::kPiecesUnusable:
      console.Err(std::string(kName) + ": the data pieces beside the program are missing or "
                  "short: " + check.reason.ToString());
      return kExitRebuildFailed;
    case UpdateState::kNotExpected:
      break;
  }
  console.Out(AsLines(texts::InstallationMessage(check.step_counter)));
  if (!check.reason.ok()) console.Err(std::string(kName) + ": " + check.reason.ToString());
  if (check.step_counter == 0) HintAtSeparator(console, path);
  return kExitCheckFailed;
}

// The window's controls on a console: each status text becomes a line as it is set.
class ConsoleControls final : public RunControls {
 public:
  ConsoleControls(Console& console, std::string install_path)
      : console_(console), install_path_(std::move(install_path)) {}
  std::string ButtonCaption() override { return caption_; }
  void SetButtonCaption(const std::string& caption) override { caption_ = caption; }
  void SetStatus(const std::string& text) override { console_.Out(AsLines(text)); }
  std::string InstallPath() override { return install_path_; }

 private:
  Console& console_;
  std::string install_path_;
  std::string caption_{texts::kReadyButton};
};

// The run after `check`, with the pieces the check opened.
int Update(Console& console, Env& env, DataPieces& pieces, const std::string& path,
           const UpdateCheck& check) {
  ConsoleControls controls(console, path);
  console.RunStarts();
  const RunResult run = RunUpdate(controls, env, pieces);
  console.RunEnds();
  if (run.outcome == RunOutcome::kFinished) return kExitFinished;
  if (run.rebuild.code() == Status::Code::kBusy) {
    console.Err(std::string(kName) + ": another update is running on this installation; "
                "nothing was changed, try again later");
    return kExitBusy;
  }
  // A run started at the same moment may have replaced the database between this run's check
  // and its lock, or in the middle of its verification: this run then finds the database
  // changed, or not the expected release. Nothing is wrong with the installation, and a
  // deployment tool must not read 1 or 2 for it. Only an installation the check found ready for
  // the update can have been updated since.
  if (check.state == UpdateState::kCanApply &&
      CheckUpdate(env, [&path] { return path; }, pieces).state == UpdateState::kAlreadyApplied) {
    console.Out("Already up to date: another run applied the update to " + path +
                " meanwhile; nothing was changed by this one");
    return kExitUpToDate;
  }
  if (run.outcome == RunOutcome::kInstallationInvalid) {
    // What --check would say besides the counter: an updated database that is not the
    // release's, or that cannot be read.
    if (check.state == UpdateState::kNotExpected && !check.reason.ok()) {
      console.Err(std::string(kName) + ": " + check.reason.ToString());
    }
    if (run.step_counter == 0) HintAtSeparator(console, path);
    return kExitCheckFailed;
  }
  console.Err(std::string(kName) + ": the update was not applied, nothing was changed: " +
              run.rebuild.ToString());
  return kExitRebuildFailed;
}

}  // namespace

int Main(const std::vector<std::string>& args, Env& env, const std::string& updater_folder,
         Console& console) {
  const Arguments parsed = Parse(args);
  if (parsed.help) {
    console.Out(kHelp);
    return kExitFinished;
  }
  if (!parsed.unknown.empty()) return UsageError(console, "unknown option '" + parsed.unknown + "'");
  if (parsed.version) {
    console.Out(std::string(kName) + " " + QRV3_CLI_VERSION_TEXT);
    // A build that carries the release's digest says which database it accepts.
    if (const std::string_view digest = ExpectedDatabaseSha256(); !digest.empty()) {
      console.Out("database SHA-256: " + std::string(digest));
    }
    return kExitFinished;
  }
  if (parsed.paths.empty()) return UsageError(console, "INSTALL_PATH is missing");
  if (parsed.paths.size() > 1) {
    return UsageError(console, "one INSTALL_PATH expected, got " +
                                   std::to_string(parsed.paths.size()) +
                                   " arguments (a folder with spaces must be quoted)");
  }
  std::string path = parsed.paths.front();
  if (path.empty()) return UsageError(console, "INSTALL_PATH is empty");
  // On Windows "C:\folder\" reaches the program as C:\folder" (a backslash before a closing
  // quote escapes it); a quote cannot be part of a Windows path, so it can only mean that.
  if (path.back() == '"') path.back() = '\\';

  // Opened once, for the check, the run and the check after it.
  DataPieces pieces(env, updater_folder);
  const UpdateCheck check = CheckUpdate(env, [&path] { return path; }, pieces);
  if (parsed.check) return ReportCheck(console, check, path);
  if (check.state == UpdateState::kAlreadyApplied) {
    // What a run killed after its replace left goes all the same; another run busy there now
    // cleans up itself.
    RemoveLeftovers(env, [&path] { return path; });
    console.Out("Already up to date: the update is already applied to " + path +
                "; nothing was changed");
    return kExitUpToDate;
  }
  return Update(console, env, pieces, path, check);
}

}  // namespace qrv3::cli
