// qrv3-updater-cli: the update run for administrators, deployment tools and scripts (see
// cli/console.h and --help), run on the system's console. The platform's part, the entry point
// included, is behind cli/system_console.h.
#include <cstdio>
#include <string>
#include <vector>

#include "cli/console.h"
#include "cli/system_console.h"
#include "engine/env.h"

namespace qrv3::cli {

void WriteLine(FILE* stream, const std::string& text) {
  std::fwrite(text.data(), 1, text.size(), stream);
  std::fputc('\n', stream);
  std::fflush(stream);
}

int RunProgram(const std::vector<std::string>& args) {
  SystemConsole console;
  int status;
  try {
    status = Main(args, *Env::Default(), UpdaterFolder(), console);
  } catch (...) {
    // The run itself lets nothing escape and has put everything back; what is left (no memory
    // for an argument or a line) still deserves a status, not an abort.
    std::fprintf(stderr, "%s: out of memory\n", kName);
    return kExitRebuildFailed;
  }
  if (!Interrupted()) return status;
  // Interruptions are held only during an update run; 0 then means the new database is in place.
  // One that came too late to matter is dropped: on POSIX it stays blocked until the program ends.
  if (status == kExitFinished) {
    console.Err(std::string(kName) + ": interrupted after the update had been applied; it is complete");
    return status;
  }
  console.Err(std::string(kName) + ": interrupted; nothing was changed");
  ExitAsInterrupted();
  return InterruptedExit();
}

}  // namespace qrv3::cli
