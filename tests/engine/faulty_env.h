// An Env over the real one that fails exactly one call, counted from 1 over every method of the
// Env and of the files it hands out, the way a full disk, a pulled cable or a virus scanner
// would. With no call chosen it only counts. The failure is an I/O error unless told otherwise.
#pragma once

#include <memory>
#include <string>

#include "engine/env.h"

namespace qrv3::testing {

class FaultyEnv final : public Env {
 public:
  explicit FaultyEnv(Env* real, int fail_call = 0, Status::Code code = Status::Code::kIoError)
      : real_(real), fail_call_(fail_call), code_(code) {}

  int calls() const { return calls_; }

  bool FileExists(const std::string& p) override { return !Fails() && real_->FileExists(p); }
  Status GetFileSize(const std::string& p, uint64_t* s) override {
    return Fails() ? Injected() : real_->GetFileSize(p, s);
  }
  Status GetFileStamp(const std::string& p, FileStamp* s) override {
    return Fails() ? Injected() : real_->GetFileStamp(p, s);
  }
  Status IsReadOnly(const std::string& p, bool* r) override {
    return Fails() ? Injected() : real_->IsReadOnly(p, r);
  }
  Status ReadFileAt(const std::string& p, uint64_t o, size_t n, uint8_t* d) override {
    return Fails() ? Injected() : real_->ReadFileAt(p, o, n, d);
  }
  Status NewWritableFile(const std::string& p, std::unique_ptr<WritableFile>* f) override {
    if (Fails()) return Injected();
    std::unique_ptr<WritableFile> real;
    Status s = real_->NewWritableFile(p, &real);
    if (s.ok()) *f = std::make_unique<File>(this, std::move(real));
    return s;
  }
  Status ReplaceFile(const std::string& a, const std::string& b) override {
    return Fails() ? Injected() : real_->ReplaceFile(a, b);
  }
  // Clean-up is never failed: what is under test is whether it is done.
  Status RemoveFile(const std::string& p) override { return real_->RemoveFile(p); }

 private:
  class File final : public WritableFile {
   public:
    File(FaultyEnv* env, std::unique_ptr<WritableFile> real) : env_(env), real_(std::move(real)) {}
    Status Append(const uint8_t* d, size_t n) override {
      return env_->Fails() ? env_->Injected() : real_->Append(d, n);
    }
    Status Sync() override { return env_->Fails() ? env_->Injected() : real_->Sync(); }
    Status Close() override { return env_->Fails() ? env_->Injected() : real_->Close(); }

   private:
    FaultyEnv* env_;
    std::unique_ptr<WritableFile> real_;
  };

  bool Fails() { return ++calls_ == fail_call_; }
  Status Injected() const { return Status::Error(code_, "injected failure"); }

  Env* real_;
  int fail_call_;
  Status::Code code_;
  int calls_ = 0;
};

}  // namespace qrv3::testing
