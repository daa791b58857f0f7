// What a POSIX file carries besides its bytes and times: its permission bits, owner and group,
// and its access list where the file system keeps one.
#pragma once

#include <string>

#include "engine/env.h"

namespace qrv3 {

// Reads what the open file `fd` carries, for ApplyMetadata on another file.
Status ReadMetadata(int fd, const std::string& what, FileMetadata* metadata);

// Gives the open file `fd` what ReadMetadata read from another: the owner and group when run as
// root, otherwise the group where the runner is one of its members, the access list exactly
// (none where the model had none, so that nothing a folder's default list gave the new file at
// its creation stays), and the permission bits. A runner who may not give the file the model's
// group gives the group it has nothing: no group bits and no access list. What the file system
// cannot keep (no owners, no access lists) is left as it is; any other failure is one.
Status ApplyMetadata(int fd, const std::string& what, const FileMetadata& model);

}  // namespace qrv3
