// The SHA-256 of the database the release rebuilds, compiled into the programs from the build
// setting QRV3_DATABASE_SHA256, so that the exe's signature covers it.
#pragma once

#include <string_view>

namespace qrv3 {

// 64 lowercase hexadecimal digits, or empty for a build that verifies nothing.
std::string_view ExpectedDatabaseSha256();

}  // namespace qrv3
