// SHA-256 by code that others keep: the system's CNG on Windows (sha256_win.cpp), nettle
// elsewhere (sha256_posix.cpp). What the release checks the rebuilt database against.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>

#include "base/status.h"

namespace qrv3 {

class Sha256 {
 public:
  using Digest = std::array<uint8_t, 32>;

  // A fresh hash: kNoMemory, or kIoError where the platform has no SHA-256 to offer.
  static Status Begin(std::unique_ptr<Sha256>* hash);

  virtual ~Sha256() = default;
  virtual Status Add(const uint8_t* data, size_t n) = 0;
  // The digest of everything added; the hash is used up.
  virtual Status Finish(Digest* digest) = 0;
};

// 64 lowercase hexadecimal digits, as sha256sum prints a digest.
inline std::string HexDigits(const Sha256::Digest& digest) {
  static constexpr char kDigits[] = "0123456789abcdef";
  std::string hex;
  for (uint8_t b : digest) {
    hex += kDigits[b >> 4];
    hex += kDigits[b & 15];
  }
  return hex;
}

}  // namespace qrv3
