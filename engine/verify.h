// The installation verification: the five files of exactly the release the data pieces fit,
// each checked for existence, exact size and exact local modification time, in order.
#pragma once

#include <cstdint>
#include <functional>
#include <string>
#include <string_view>

#include "engine/env.h"

namespace qrv3 {

struct ExpectedFile {
  std::string_view name;   // relative to the install path, appended with no separator
  uint64_t size;           // bytes
  std::string_view stamp;  // local time, "yyyy/mm/dd hh:mm:ss"
};

// Order matters: the step counter the user sees tells how far the checks got.
inline constexpr ExpectedFile kExpectedFiles[] = {
    {"Database\\J03.PAC", 16841654, "2002/09/09 11:42:26"},
    {"QRV_3.EXE", 8998912, "2002/09/09 17:46:36"},
    {"QRV_3.CHM", 679256, "2002/09/09 11:02:56"},
    {"Database\\p03.PAC", 12081855, "2002/09/06 19:51:24"},
    {"qrv_D3.EXE", 2236416, "2002/09/09 15:44:18"},
};

// The database, the file the rebuild replaces, is checked too: before the update, and again right
// before its replacement.
inline constexpr const ExpectedFile& kDatabaseRow = kExpectedFiles[3];

inline constexpr int kChecksPerFile = 3;
inline constexpr int kAllChecks = kChecksPerFile * static_cast<int>(std::size(kExpectedFiles));

// The three checks of one expected file in order (existence, size, time stamp), stopping at the
// first that fails: true when all pass. Each that passes adds 1 to `passed` at once, so that a
// check cut short by an exception leaves counted what passed before it. The file's name is
// formed from `install_path` afresh for each check.
bool PassesChecks(Env& env, const std::function<std::string()>& install_path, const ExpectedFile& file,
                  int& passed);

// Runs the checks in order and stops at the first that fails. Returns the number of checks
// that passed: kAllChecks when the installation is the expected one. `install_path` is asked
// afresh for each file name. Never fails otherwise: a missing or unreadable file fails its
// check.
int VerifyInstallation(Env& env, const std::function<std::string()>& install_path);

// True when the two files hold the same bytes. A file that cannot be read gives an error.
Status FileBinaryCompare(Env& env, const std::string& strFile1, const std::string& strFile2,
                         bool* equal);

}  // namespace qrv3
