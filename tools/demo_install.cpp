#include "tools/demo_install.h"

#include <cstdio>
#include <fstream>
#include <system_error>
#include <vector>

#include "base/utf.h"
#include "base/utf_fs.h"
#include "engine/pieces.h"
#include "engine/verify.h"

namespace qrv3::demo {
namespace fs = std::filesystem;

std::string Utf8Path(const fs::path& path) { return qrv3::Utf8Path(path); }

namespace {

constexpr uint32_t kTail = 7;

uint64_t Mix(uint64_t x) {
  x ^= x >> 30;
  x *= 0xBF58476D1CE4E5B9ull;
  x ^= x >> 27;
  x *= 0x94D049BB133111EBull;
  x ^= x >> 31;
  return x;
}

Status Failed(const std::string& what, const std::error_code& ec) {
  return Status::Error(Status::Code::kIoError, what + ": " + ec.message());
}

Status WriteBytes(const fs::path& path, const std::vector<uint8_t>& bytes) {
  std::ofstream out(path, std::ios::binary | std::ios::trunc);
  out.write(reinterpret_cast<const char*>(bytes.data()), static_cast<std::streamsize>(bytes.size()));
  out.close();
  if (!out) return Status::Error(Status::Code::kIoError, "write " + Utf8Path(path));
  return Status::Ok();
}

// A sparse file of `size` bytes with a marker at its start and at its end.
Status WriteSizedFile(const fs::path& path, uint64_t size, const std::string& marker) {
  {
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    if (size >= 2 * marker.size()) out << marker;
    if (!out) return Status::Error(Status::Code::kIoError, "create " + Utf8Path(path));
  }
  std::error_code ec;
  fs::resize_file(path, size, ec);
  if (ec) return Failed("resize " + Utf8Path(path), ec);
  if (size >= 2 * marker.size()) {
    std::fstream out(path, std::ios::binary | std::ios::in | std::ios::out);
    out.seekp(static_cast<std::streamoff>(size - marker.size()));
    out << marker;
    if (!out) return Status::Error(Status::Code::kIoError, "mark " + Utf8Path(path));
  }
  return Status::Ok();
}

}  // namespace

uint64_t PieceFileSize(int piece) {
  const DataPiece& p = kDataPieces[piece];
  return p.header + p.count + kTail;
}

uint8_t PieceByte(int piece, uint64_t offset) {
  const DataPiece& p = kDataPieces[piece];
  if (offset < p.header) {
    static const char kHeader[] = "QRV3 DEMO DATA PIECE ####################";
    return offset + 1 == p.header ? '\n' : static_cast<uint8_t>(kHeader[offset]);
  }
  const uint64_t word = Mix((static_cast<uint64_t>(piece + 1) << 40) ^ (offset / 8));
  return static_cast<uint8_t>(word >> (8 * (offset % 8)));
}

FileStamp ParseStamp(const std::string& text) {
  FileStamp s;
  std::sscanf(text.c_str(), "%d/%d/%d %d:%d:%d", &s.year, &s.month, &s.day, &s.hour, &s.minute,
              &s.second);
  return s;
}

Status WriteInstallation(const std::string& install_dir) {
  std::error_code ec;
  for (const ExpectedFile& f : kExpectedFiles) {
    const std::string path = install_dir + "\\" + std::string(f.name);
    const fs::path native = FsPath(path);
    fs::create_directories(native.parent_path(), ec);
    if (ec) return Failed("create folder for " + path, ec);
    Status s = WriteSizedFile(native, f.size, "DEMO " + std::string(f.name) + " 2002 RELEASE");
    if (s.ok()) s = SetFileStamp(Utf8Path(native), ParseStamp(std::string(f.stamp)));
    if (!s.ok()) return s;
  }
  return Status::Ok();
}

Status WritePieces(const std::string& dir) {
  std::error_code ec;
  fs::create_directories(FsPath(dir), ec);
  if (ec) return Failed("create " + dir, ec);
  for (int i = 0; i < static_cast<int>(std::size(kDataPieces)); ++i) {
    std::vector<uint8_t> bytes(PieceFileSize(i));
    for (uint64_t k = 0; k < bytes.size(); ++k) bytes[k] = PieceByte(i, k);
    Status s = WriteBytes(FsPath(dir + std::string(kDataPieces[i].name)), bytes);
    if (!s.ok()) return s;
  }
  return Status::Ok();
}

}  // namespace qrv3::demo
