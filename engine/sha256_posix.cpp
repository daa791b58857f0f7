// SHA-256 by nettle: a plain context of about a hundred bytes, no allocation and no provider to
// load, so the console updater stays as small in memory as it was (libcrypto's EVP layer would
// add megabytes).
#include <nettle/sha2.h>

#include <new>

#include "engine/sha256.h"

namespace qrv3 {
namespace {

class NettleSha256 final : public Sha256 {
 public:
  NettleSha256() { sha256_init(&ctx_); }
  Status Add(const uint8_t* data, size_t n) override {
    sha256_update(&ctx_, n, data);
    return Status::Ok();
  }
  Status Finish(Digest* digest) override {
    sha256_digest(&ctx_, digest->size(), digest->data());
    return Status::Ok();
  }

 private:
  sha256_ctx ctx_;
};

}  // namespace

Status Sha256::Begin(std::unique_ptr<Sha256>* hash) {
  hash->reset(new (std::nothrow) NettleSha256);
  if (!*hash) return Status::Error(Status::Code::kNoMemory, "no memory for a SHA-256 hash");
  return Status::Ok();
}

}  // namespace qrv3
