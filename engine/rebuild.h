// The database rebuild: the installed database file is replaced by one assembled from the four
// data pieces shipped beside the updater.
#pragma once

#include <functional>
#include <string>

#include "engine/env.h"
#include "engine/pieces.h"

namespace qrv3 {

// Rebuilds the database under the install path from `pieces`.
//
// All four pieces are opened and checked to be long enough before anything is touched. Then,
// holding the installation's lock, the run removes what interrupted runs left, finds the database
// (exactly one entry of its folder by that name, letter case aside) and opens it, writes the new
// one from the pieces to a fresh file created beside it (in a build that carries the release's
// digest, ExpectedDatabaseSha256, hashing the bytes on the way and failing with kMismatch when
// they are another database), gives it what the open database carries besides its bytes and
// flushes it, checks that the database under its name is still the file the verification
// accepted, puts the new file in its place in one step and flushes the folder. So on any failure
// (a missing or short piece, another run, damaged pieces, a read-only or locked database, a full
// disk, no memory) the installed database is exactly as it was and no temporary file is left.
// Never throws. `install_path` is asked afresh for each file name.
Status RebuildDatabase(Env& env, const std::function<std::string()>& install_path, DataPieces& pieces);

// Removes what interrupted runs left in the database's folder (temporary files, and a lock file
// no run holds), holding the lock meanwhile; kBusy while another run holds it. For a run that
// finds nothing to update: a run killed after its replace leaves its lock file on POSIX.
Status RemoveLeftovers(Env& env, const std::function<std::string()>& install_path);

}  // namespace qrv3
