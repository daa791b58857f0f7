// An Env over the real one that fails exactly one call, counted from 1 over every method of the
// Env and of the folders, files and locks it hands out, the way a full disk, a pulled cable or a
// virus scanner would. A call fails in one of three ways: not done at all; done, but reported as
// failed (an object it made is handed back destroyed, as a system that cannot return a handle
// closes it); or with an exception, as when memory runs out. With no call chosen it only
// counts; sleeping is not a call and takes no time.
#pragma once

#include <array>
#include <functional>
#include <memory>
#include <new>
#include <string>
#include <vector>

#include "engine/env.h"

namespace qrv3::testing {

enum class Fault { kNotDone, kDoneButFailed, kThrows };

inline const char* FaultName(Fault f) {
  return std::array{"not done", "done but reported failed", "out of memory"}[static_cast<int>(f)];
}

class FaultyEnv final : public Env {
 public:
  explicit FaultyEnv(Env* real, int fail_call = 0, Fault fault = Fault::kNotDone)
      : real_(real), fail_call_(fail_call), fault_(fault) {}

  // The name of each call made, in order.
  const std::vector<std::string>& log() const { return log_; }
  // How long the run asked to sleep, in all.
  int slept_ms() const { return slept_ms_; }

  // Runs before every call, with its name: a way to change the disk at a chosen moment.
  std::function<void(const std::string& call)> before_call;
  // Every call for which this is true fails (not done) with fail_if_code, besides the one chosen
  // by number.
  std::function<bool(const std::string& call)> fail_if;
  Status::Code fail_if_code = Status::Code::kIoError;

  bool FileExists(const std::string& p) override {
    return Call("FileExists", [&] { return real_->FileExists(p) ? Status::Ok() : Injected(); }).ok();
  }
  Status GetFileSize(const std::string& p, uint64_t* s) override {
    return Call("GetFileSize", [&] { return real_->GetFileSize(p, s); });
  }
  Status GetFileStamp(const std::string& p, FileStamp* s) override {
    return Call("GetFileStamp", [&] { return real_->GetFileStamp(p, s); });
  }
  Status OpenFile(const std::string& p, std::unique_ptr<ReadableFile>* f) override {
    return Make<ReadableFile, ReadableFileWrap>("OpenFile", f, [&](auto* out) { return real_->OpenFile(p, out); });
  }
  Status OpenFolder(const std::string& p, std::unique_ptr<Folder>* f) override {
    return Make<Folder, FolderWrap>("OpenFolder", f, [&](auto* out) { return real_->OpenFolder(p, out); });
  }
  void SleepForMilliseconds(int ms) override { slept_ms_ += ms; }

 private:
  // What an object of the real Env is wrapped in: each call is counted, and may fail.
  template <class Base>
  class Wrap : public Base {
   public:
    Wrap(FaultyEnv* env, std::unique_ptr<Base> real) : env_(env), real_(std::move(real)) {}

   protected:
    FaultyEnv* env_;
    std::unique_ptr<Base> real_;
  };

// A method of the real object, counted and failed as chosen.
#define QRV3_FAULTY(method, params, args) \
  Status method params override { return env_->Call(#method, [&] { return real_->method args; }); }

  class NewFileWrap final : public Wrap<NewFile> {
   public:
    using Wrap::Wrap;
    QRV3_FAULTY(Append, (const uint8_t* d, size_t n), (d, n))
    QRV3_FAULTY(Sync, (), ())
    QRV3_FAULTY(SetMetadata, (const FileMetadata& m), (m))
    QRV3_FAULTY(ReplaceInto, (const std::string& n), (n))
    QRV3_FAULTY(IsEntry, (const std::string& n, bool* same), (n, same))
    QRV3_FAULTY(Discard, (), ())
  };

  class ReadableFileWrap final : public Wrap<ReadableFile> {
   public:
    using Wrap::Wrap;
    QRV3_FAULTY(Info, (EntryInfo* i), (i))
    QRV3_FAULTY(ReadAt, (uint64_t o, size_t n, uint8_t* d), (o, n, d))
    QRV3_FAULTY(GetMetadata, (FileMetadata* m), (m))
  };

  class FolderWrap final : public Wrap<Folder> {
   public:
    using Wrap::Wrap;
    Status Lock(const std::string& n, std::unique_ptr<FolderLock>* l) override {
      return env_->Make<FolderLock, Wrap<FolderLock>>("Lock", l, [&](auto* out) { return real_->Lock(n, out); });
    }
    QRV3_FAULTY(List, (std::vector<std::string>* names), (names))
    Status OpenFile(const std::string& n, std::unique_ptr<ReadableFile>* f) override {
      return env_->Make<ReadableFile, ReadableFileWrap>("OpenFile", f, [&](auto* out) { return real_->OpenFile(n, out); });
    }
    Status CreateNew(const std::string& n, std::unique_ptr<NewFile>* f) override {
      return env_->Make<NewFile, NewFileWrap>("CreateNew", f, [&](auto* out) { return real_->CreateNew(n, out); });
    }
    QRV3_FAULTY(Remove, (const std::string& n), (n))
    // Named apart from the new file's Sync.
    Status Sync() override { return env_->Call("SyncFolder", [&] { return real_->Sync(); }); }
  };
#undef QRV3_FAULTY

  template <class F>
  Status Call(const char* name, F&& real_call) {
    log_.emplace_back(name);
    if (before_call) before_call(name);
    if (fail_if && fail_if(name)) return Status::Error(fail_if_code, "refused");
    if (std::ssize(log_) != fail_call_) return real_call();
    switch (fault_) {
      case Fault::kNotDone: break;
      case Fault::kDoneButFailed: real_call(); break;
      case Fault::kThrows: throw std::bad_alloc();
    }
    return Injected();
  }

  template <class Base, class Wrap, class F>
  Status Make(const char* name, std::unique_ptr<Base>* out, F&& real_call) {
    std::unique_ptr<Base> made;
    Status s = Call(name, [&] { return real_call(&made); });
    if (s.ok()) *out = std::make_unique<Wrap>(this, std::move(made));
    return s;
  }

  static Status Injected() { return Status::Error(Status::Code::kIoError, "injected failure"); }

  Env* real_;
  int fail_call_;
  Fault fault_;
  int slept_ms_ = 0;
  std::vector<std::string> log_;
};

}  // namespace qrv3::testing
