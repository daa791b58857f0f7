// Alone in its file, so that a program built for the demo's or the tests' own data pieces links
// this file compiled with their digest in place of the one the engine library carries.
#include "engine/database_digest.h"

#ifndef QRV3_DATABASE_SHA256
#define QRV3_DATABASE_SHA256 ""
#endif

namespace qrv3 {

std::string_view ExpectedDatabaseSha256() { return QRV3_DATABASE_SHA256; }

}  // namespace qrv3
