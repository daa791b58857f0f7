// SHA-256 by the system's CNG (bcrypt.dll, Windows Vista on). bcrypt.dll is no KnownDLL: it is
// loaded at run time from System32 by its full path, never imported, so that a bcrypt.dll
// planted beside the exe is never the one that runs.
#include <windows.h>
#include <bcrypt.h>

#include <cstdio>
#include <new>
#include <type_traits>
#include <utility>

#include "base/process_win.h"
#include "engine/sha256.h"

namespace qrv3 {
namespace {

// The calls used, found once.
struct Cng {
  decltype(&BCryptOpenAlgorithmProvider) open_algorithm;
  decltype(&BCryptCloseAlgorithmProvider) close_algorithm;
  decltype(&BCryptCreateHash) create_hash;
  decltype(&BCryptDestroyHash) destroy_hash;
  decltype(&BCryptHashData) hash_data;
  decltype(&BCryptFinishHash) finish_hash;

  bool complete() const {
    return open_algorithm && close_algorithm && create_hash && destroy_hash && hash_data &&
           finish_hash;
  }
};

const Cng& Functions() {
  static const Cng cng = [] {
    Cng c{};
    const HMODULE bcrypt = LoadSystemLibrary(L"bcrypt.dll");
    if (bcrypt == nullptr) return c;
    auto get = [bcrypt](auto* fn, const char* name) {
      *fn = reinterpret_cast<std::remove_reference_t<decltype(*fn)>>(
          reinterpret_cast<void*>(GetProcAddress(bcrypt, name)));
    };
    get(&c.open_algorithm, "BCryptOpenAlgorithmProvider");
    get(&c.close_algorithm, "BCryptCloseAlgorithmProvider");
    get(&c.create_hash, "BCryptCreateHash");
    get(&c.destroy_hash, "BCryptDestroyHash");
    get(&c.hash_data, "BCryptHashData");
    get(&c.finish_hash, "BCryptFinishHash");
    return c;
  }();
  return cng;
}

// CNG reports NTSTATUS codes, not Win32 errors.
Status StatusFromCng(NTSTATUS status, const char* call) {
  constexpr NTSTATUS kNoMemory = static_cast<NTSTATUS>(0xC0000017);  // STATUS_NO_MEMORY
  char text[96];
  std::snprintf(text, sizeof text, "%s failed (0x%08lx)", call,
                static_cast<unsigned long>(status));
  return Status::Error(status == kNoMemory ? Status::Code::kNoMemory : Status::Code::kIoError, text);
}

// Owns the provider and the hash object made from it; the hash object's memory is CNG's own
// (Windows 7 on), so nothing else is held.
class CngSha256 final : public Sha256 {
 public:
  explicit CngSha256(const Cng& cng) : cng_(cng) {}
  ~CngSha256() override {
    if (hash_ != nullptr) cng_.destroy_hash(hash_);
    if (algorithm_ != nullptr) cng_.close_algorithm(algorithm_, 0);
  }
  CngSha256(const CngSha256&) = delete;
  CngSha256& operator=(const CngSha256&) = delete;

  Status Open() {
    NTSTATUS s = cng_.open_algorithm(&algorithm_, BCRYPT_SHA256_ALGORITHM, nullptr, 0);
    if (!BCRYPT_SUCCESS(s)) {
      algorithm_ = nullptr;
      return StatusFromCng(s, "BCryptOpenAlgorithmProvider");
    }
    s = cng_.create_hash(algorithm_, &hash_, nullptr, 0, nullptr, 0, 0);
    if (!BCRYPT_SUCCESS(s)) {
      hash_ = nullptr;
      return StatusFromCng(s, "BCryptCreateHash");
    }
    return Status::Ok();
  }
  Status Add(const uint8_t* data, size_t n) override {
    // The chunks handed here are far below 4 GiB, which is all a ULONG counts.
    const NTSTATUS s = cng_.hash_data(hash_, const_cast<PUCHAR>(data), static_cast<ULONG>(n), 0);
    return BCRYPT_SUCCESS(s) ? Status::Ok() : StatusFromCng(s, "BCryptHashData");
  }
  Status Finish(Digest* digest) override {
    const NTSTATUS s =
        cng_.finish_hash(hash_, digest->data(), static_cast<ULONG>(digest->size()), 0);
    return BCRYPT_SUCCESS(s) ? Status::Ok() : StatusFromCng(s, "BCryptFinishHash");
  }

 private:
  const Cng& cng_;
  BCRYPT_ALG_HANDLE algorithm_ = nullptr;
  BCRYPT_HASH_HANDLE hash_ = nullptr;
};

}  // namespace

Status Sha256::Begin(std::unique_ptr<Sha256>* hash) {
  const Cng& cng = Functions();
  if (!cng.complete()) {
    return Status::Error(Status::Code::kIoError, "no SHA-256 in the system's bcrypt.dll");
  }
  std::unique_ptr<CngSha256> h(new (std::nothrow) CngSha256(cng));
  if (!h) return Status::Error(Status::Code::kNoMemory, "no memory for a SHA-256 hash");
  if (Status s = h->Open(); !s.ok()) return s;
  *hash = std::move(h);
  return Status::Ok();
}

}  // namespace qrv3
