// The console updater's version, for its version record and its --version.
#pragma once

#define QRV3_CLI_VERSION_NUMBERS 1, 0, 0, 0
#define QRV3_CLI_VERSION_TEXT "1.00"
