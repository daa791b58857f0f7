// POSIX details of the file services that other POSIX code shares.
#pragma once

#include <string>
#include <vector>

#include "engine/status.h"

namespace qrv3 {

// Turns a product-style path into the POSIX path of what it names: "\" becomes "/", and each
// component becomes the one entry of its folder that equals it ignoring ASCII letter case. No
// such entry gives kNotFound, two or more kAmbiguous; a folder that cannot be listed is an error
// of its own, except that a folder which may be passed through but not read keeps the name as
// written when that exists.
Status ResolvePosixPath(const std::string& path, std::string* resolved);

// The same, for callers that only want a name to try: the resolved path, or the path as written
// (with "/") when it cannot be resolved.
std::string ResolvePosixPath(const std::string& path);

// Maps an errno value to a Status; `what` says which call on which file failed.
Status StatusFromErrno(int err, const std::string& what);

// Lists the names in a folder, "." and ".." left out.
using FolderLister = Status (*)(const std::string& folder, std::vector<std::string>* names);
// Puts `lister` in the place of the system's listing for every lookup, so that a test can make
// one fail; returns the one it replaces.
FolderLister SetFolderListerForTesting(FolderLister lister);

}  // namespace qrv3
