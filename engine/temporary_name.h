// The names the rebuild gives the new database while it is written, and by which the next run
// knows what an interrupted one left.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

namespace qrv3 {

// "P03.pac.", 16 lowercase hexadecimal digits of `random`, ".tmp": written beside the database.
std::string TemporaryName(uint64_t random);

// A name of that pattern in any letter case, or the fixed name earlier versions used: what an
// interrupted run left (or someone planted) in the database's folder.
bool IsLeftoverName(std::string_view name);

}  // namespace qrv3
