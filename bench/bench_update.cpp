// A whole update run on a generated installation against a plain copy of the same bytes (read
// the four pieces, write 12,121,535 bytes, flush), in the same process; the console updater that
// checks the database's digest, as a process, against copying and hashing the pieces with the
// system's tools; and the console updater's peak memory.
#include <benchmark/benchmark.h>
#include <fcntl.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <memory>
#include <string>
#include <vector>

#include "engine/pieces.h"
#include "engine/texts.h"
#include "engine/update_run.h"
#include "tools/demo_install.h"

namespace {
namespace fs = std::filesystem;
using namespace qrv3;

struct Folders {
  Folders() {
    root = fs::temp_directory_path() / ("qrv3-bench-" + std::to_string(getpid()));
    fs::create_directories(root);
    install = (root / "install").string();
    pieces = (root / "updater").string();
    if (!demo::WriteInstallation(install).ok() || !demo::WritePieces(pieces).ok()) std::abort();
  }
  ~Folders() { fs::remove_all(root); }
  fs::path root;
  std::string install, pieces;
};

Folders& Shared() {
  static Folders f;
  return f;
}

class Controls final : public RunControls {
 public:
  explicit Controls(std::string path) : path_(std::move(path)) {}
  std::string ButtonCaption() override { return caption_; }
  void SetButtonCaption(const std::string& c) override { caption_ = c; }
  void SetStatus(const std::string&) override {}
  std::string InstallPath() override { return path_; }

 private:
  std::string path_;
  std::string caption_{texts::kReadyButton};
};

void BM_UpdateRun(benchmark::State& state) {
  Folders& f = Shared();
  for (auto _ : state) {
    state.PauseTiming();
    if (!demo::WriteInstallation(f.install).ok()) std::abort();  // undo the last update
    state.ResumeTiming();
    Controls controls(f.install + "/");
    DataPieces pieces(*Env::Default(), f.pieces);
    if (RunUpdate(controls, *Env::Default(), pieces).outcome != RunOutcome::kFinished) {
      state.SkipWithError("update failed");
    }
  }
  state.SetBytesProcessed(state.iterations() * static_cast<int64_t>(DatabaseSize()));
}
BENCHMARK(BM_UpdateRun)->Unit(benchmark::kMillisecond)->UseRealTime();

// The least any rebuild must do, as `cat … | dd bs=1M conv=fsync` does it: the same bytes read
// through one 1 MiB buffer and written to a new file, which is flushed to the disk.
void BM_PlainCopy(benchmark::State& state) {
  Folders& f = Shared();
  const std::string out = f.root.string() + "/plain-copy";
  struct Range { const char* name; off_t from; size_t n; };
  const Range ranges[] = {{"/data3.cab", 27, 4167104},
                          {"/data1.cab", 26, 2639264},
                          {"/data4.cab", 30, 2376832},
                          {"/data2.cab", 29, 2938335}};
  constexpr size_t kBuffer = 1 << 20;
  std::unique_ptr<uint8_t[]> buf(new uint8_t[kBuffer]);
  for (auto _ : state) {
    unlink(out.c_str());
    int to = open(out.c_str(), O_WRONLY | O_CREAT | O_EXCL, 0644);
    if (to < 0) std::abort();
    for (const Range& r : ranges) {
      int from = open((f.pieces + r.name).c_str(), O_RDONLY);
      if (from < 0) std::abort();
      for (size_t done = 0; done < r.n;) {
        const size_t n = r.n - done < kBuffer ? r.n - done : kBuffer;
        if (pread(from, buf.get(), n, r.from + static_cast<off_t>(done)) != static_cast<ssize_t>(n) ||
            write(to, buf.get(), n) != static_cast<ssize_t>(n)) {
          std::abort();
        }
        done += n;
      }
      close(from);
    }
    if (fsync(to) != 0) std::abort();
    close(to);
  }
  state.SetBytesProcessed(state.iterations() * static_cast<int64_t>(DatabaseSize()));
}
BENCHMARK(BM_PlainCopy)->Unit(benchmark::kMillisecond)->UseRealTime();

double Median(std::vector<double> v) {
  std::sort(v.begin(), v.end());
  return v.size() % 2 ? v[v.size() / 2] : (v[v.size() / 2 - 1] + v[v.size() / 2]) / 2;
}

// Seconds that a shell command takes, or a negative number when it fails.
double Timed(const std::string& command) {
  const auto start = std::chrono::steady_clock::now();
  if (std::system(command.c_str()) != 0) return -1;
  return std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
}

// The console updater that checks the digest, a whole process, against the least a verified
// rebuild must do with the system's tools: `cat` of the pieces into `dd conv=fsync`, then
// `openssl dgst -sha256` of the pieces. Each iteration times one of each, one right after the
// other; the medians of the pairs, and their ratio, are the counters.
void BM_CheckedUpdateVsCopyAndHash(benchmark::State& state) {
  Folders& f = Shared();
  const std::string cli = f.pieces + "/qrv3-updater-cli-demo-digest";
  fs::copy_file(QRV3_CLI_DIGEST_EXE, cli, fs::copy_options::overwrite_existing);
  const std::string pieces = f.pieces + "/data1.cab " + f.pieces + "/data2.cab " + f.pieces +
                             "/data3.cab " + f.pieces + "/data4.cab";
  const std::string update = cli + " " + f.install + "/ >/dev/null";
  const std::string copy_and_hash = "cat " + pieces + " | dd of=" + f.root.string() +
                                    "/copied bs=1M conv=fsync status=none && openssl dgst -sha256 " +
                                    pieces + " >/dev/null";
  std::vector<double> updates, copies;
  for (auto _ : state) {
    if (!demo::WriteInstallation(f.install).ok()) std::abort();
    fs::remove(f.root / "copied");
    const double u = Timed(update), c = Timed(copy_and_hash);
    if (u < 0 || c < 0) {
      state.SkipWithError("a command failed");
      break;
    }
    updates.push_back(u);
    copies.push_back(c);
    state.SetIterationTime(u);
  }
  if (updates.empty()) return;
  state.counters["update_ms"] = Median(updates) * 1000;
  state.counters["copy_hash_ms"] = Median(copies) * 1000;
  state.counters["ratio"] = Median(updates) / Median(copies);
}
BENCHMARK(BM_CheckedUpdateVsCopyAndHash)->Unit(benchmark::kMillisecond)->UseManualTime()->Iterations(15);

// Peak resident memory of the console updater doing a whole update, in MiB, measured by a
// small launcher (a child forked from this process would count this process's pages): the plain
// build (0) and the one that checks the digest (1).
void BM_CliPeakMemory(benchmark::State& state) {
  Folders& f = Shared();
  const std::string cli = f.pieces + "/qrv3-updater-cli";
  fs::copy_file(state.range(0) ? QRV3_CLI_DIGEST_EXE : QRV3_CLI_EXE, cli,
                fs::copy_options::overwrite_existing);
  long peak_kib = 0;
  for (auto _ : state) {
    state.PauseTiming();
    if (!demo::WriteInstallation(f.install).ok()) std::abort();
    state.ResumeTiming();
    const std::string cmd = std::string(QRV3_PEAK_RSS) + " " + cli + " " + f.install + "/";
    FILE* p = popen(cmd.c_str(), "r");
    long kib = 0;
    if (p == nullptr || std::fscanf(p, "%ld", &kib) != 1 || pclose(p) != 0) {
      state.SkipWithError("updater failed");
      break;
    }
    if (kib > peak_kib) peak_kib = kib;
  }
  state.counters["peak_MiB"] = static_cast<double>(peak_kib) / 1024.0;
}
BENCHMARK(BM_CliPeakMemory)->Arg(0)->Arg(1)->Unit(benchmark::kMillisecond)->UseRealTime()->Iterations(5);

}  // namespace

BENCHMARK_MAIN();
