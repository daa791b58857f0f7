#include "engine/pieces.h"

#include <algorithm>
#include <array>
#include <new>

namespace qrv3 {
namespace {

// How many bytes of each piece the database keeps: those before the place where the next piece
// starts writing, which overwrites the rest. Worked out when compiled.
constexpr auto kKeptBytes = [] {
  std::array<uint64_t, std::size(kDataPieces)> kept{};
  for (size_t i = 0; i < kept.size(); ++i) {
    const DataPiece& p = kDataPieces[i];
    const bool last = i + 1 == kept.size();
    kept[i] = last ? p.count : std::min<uint64_t>(kDataPieces[i + 1].written_at - p.written_at, p.count);
  }
  return kept;
}();

// Streaming the pieces one after the other makes the database only if they fill it from its
// first byte and each starts where the ones before it end, or inside the last of them, and
// reaches at least as far.
constexpr bool PiecesFollowEachOther() {
  uint64_t end = 0;
  for (size_t i = 0; i < std::size(kDataPieces); ++i) {
    const DataPiece& p = kDataPieces[i];
    if (p.written_at - 1 > end || p.written_at - 1 + p.count < end ||
        (i > 0 && p.written_at <= kDataPieces[i - 1].written_at)) {
      return false;
    }
    end = p.written_at - 1 + p.count;
  }
  return kDataPieces[0].written_at == 1;
}
static_assert(PiecesFollowEachOther());

}  // namespace

Status DataPieces::Open() {
  if (opened_) return *opened_;
  for (size_t i = 0; i < std::size(kDataPieces); ++i) {
    const DataPiece& p = kDataPieces[i];
    const std::string path = updater_folder_ + std::string(p.name);
    const uint64_t needed = p.read_from - 1 + p.count;
    EntryInfo info;
    Status s = env_.OpenFile(path, &files_[i]);
    if (s.ok()) s = files_[i]->Info(&info);
    if (s.ok() && info.size < needed) {
      s = Status::Error(Status::Code::kShortFile, path + " has " + std::to_string(info.size) +
                                                      " bytes, needs " + std::to_string(needed));
    }
    if (!s.ok()) return *(opened_ = s);
  }
  return *(opened_ = Status::Ok());
}

Status DataPieces::Stream(const std::function<Status(const uint8_t*, size_t)>& sink) {
  if (Status s = Open(); !s.ok()) return s;
  std::unique_ptr<uint8_t[]> buffer(new (std::nothrow) uint8_t[kStreamChunk]);
  if (!buffer) return Status::Error(Status::Code::kNoMemory, "no memory to copy the pieces");
  for (size_t i = 0; i < std::size(kDataPieces); ++i) {
    uint64_t at = kDataPieces[i].read_from - 1;
    for (uint64_t left = kKeptBytes[i]; left > 0;) {
      const size_t n = static_cast<size_t>(std::min<uint64_t>(left, kStreamChunk));
      if (Status s = files_[i]->ReadAt(at, n, buffer.get()); !s.ok()) return s;
      if (Status s = sink(buffer.get(), n); !s.ok()) return s;
      at += n;
      left -= n;
    }
  }
  return Status::Ok();
}

}  // namespace qrv3
