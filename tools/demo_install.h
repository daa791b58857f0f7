// A demo installation of the product and a set of data pieces, made by the project itself for
// the tests, the benchmarks and the demo: the five expected files with their exact sizes
// (sparse where the file system allows) and local time stamps, and four data pieces with
// headers and deterministic payloads.
#pragma once

#include <cstdint>
#include <filesystem>
#include <string>

#include "base/status.h"
#include "engine/env.h"

namespace qrv3::demo {

// A product-style UTF-8 path ("\" separators) as std::filesystem wants it.
std::filesystem::path FsPath(const std::string& utf8);
std::string Utf8Path(const std::filesystem::path& path);

// Byte `offset` (0-based) of data piece file `piece` (0 to 3, in the order the rebuild applies
// them): a header of readable text, then a payload that differs between pieces and positions.
uint8_t PieceByte(int piece, uint64_t offset);
// Length of data piece file `piece`: its header, the bytes the rebuild reads, and a short tail
// that the rebuild must not take.
uint64_t PieceFileSize(int piece);

// Writes the five expected files into `install_dir` (created when missing), each with its
// expected size and time stamp. The old database carries recognisable bytes at its start and
// its end so that a test can tell whether it was touched.
Status WriteInstallation(const std::string& install_dir);

// Writes the four data pieces into `dir` (created when missing).
Status WritePieces(const std::string& dir);

// Sets a file's last-write time to `stamp` read as local time.
Status SetFileStamp(const std::string& path, const FileStamp& stamp);

// Parses "yyyy/mm/dd hh:mm:ss".
FileStamp ParseStamp(const std::string& text);

}  // namespace qrv3::demo
