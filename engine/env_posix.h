// POSIX details of the file services that other POSIX code shares.
#pragma once

#include <string>

#include "engine/status.h"

namespace qrv3 {

// Turns a product-style path into the POSIX path of what it names: "\" becomes "/", and each
// component that does not exist as written is replaced by the entry of its folder that equals
// it ignoring ASCII letter case (the first in byte order when several do). Components with no
// match, and all after them, stay as written.
std::string ResolvePosixPath(const std::string& path);

// Maps an errno value to a Status; `what` says which call on which file failed.
Status StatusFromErrno(int err, const std::string& what);

}  // namespace qrv3
