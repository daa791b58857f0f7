// What an update would do to an installation, found out without changing anything: the
// console updater's check, and its way to tell an installation that is already up to date from
// a wrong one (the window's run cannot: both fail its checks).
#pragma once

#include <functional>
#include <string>

#include "engine/env.h"
#include "engine/pieces.h"

namespace qrv3 {

enum class UpdateState {
  kCanApply,         // the expected release, and the data pieces are there and long enough
  kAlreadyApplied,   // already updated: every expected file passes every check except the
                     // database, which is byte for byte the one the data pieces make (and, in
                     // a build that carries the release's digest, of that digest)
  kNotExpected,      // neither: the step counter tells how far the run's checks get
  kPiecesUnusable,   // a data piece is missing or short, or could not be read
};

struct UpdateCheck {
  UpdateState state = UpdateState::kNotExpected;
  int step_counter = 0;  // the number of checks the update run would pass
  Status reason;         // why, when the state is not kCanApply or kAlreadyApplied and it is
                         // not only the counter: a piece's or the database's failure, or
                         // kNotRelease for the pieces' database that is not the release's
};

// Reads the installation and `pieces`; writes nothing. An installation that fails the run's
// checks is kNotExpected, unless it is the updated one; telling that needs the pieces, so such an
// installation with a missing piece is kPiecesUnusable. `install_path` is asked afresh for each
// file name, as the run does.
UpdateCheck CheckUpdate(Env& env, const std::function<std::string()>& install_path, DataPieces& pieces);

}  // namespace qrv3
