// Filling the folder list and the file list for a folder with N subfolders and N files,
// against a bare enumeration of the same folder.
#include <benchmark/benchmark.h>
#include <dirent.h>
#include <unistd.h>

#include <filesystem>
#include <fstream>
#include <map>
#include <memory>
#include <string>
#include <vector>

#include "app/form1.h"
#include "app/folder_source_mapped.h"

namespace {
namespace fs = std::filesystem;
using namespace qrv3;

struct BigFolder {
  explicit BigFolder(int n) {
    root = fs::temp_directory_path() / ("qrv3-bench-folders-" + std::to_string(getpid()) + "-" +
                                        std::to_string(n));
    fs::create_directories(root / "big");
    for (int i = 0; i < n; ++i) {
      fs::create_directory(root / "big" / ("Folder " + std::to_string(i)));
      std::ofstream(root / "big" / ("Program" + std::to_string(i) + (i % 2 ? ".exe" : ".DLL")));
    }
  }
  ~BigFolder() { fs::remove_all(root); }
  fs::path root;
};

const BigFolder& Folder(int n) {
  static std::map<int, std::unique_ptr<BigFolder>> folders;
  auto& f = folders[n];
  if (!f) f = std::make_unique<BigFolder>(n);
  return *f;
}

void BM_FillLists(benchmark::State& state) {
  const BigFolder& f = Folder(static_cast<int>(state.range(0)));
  MappedFolderSource source;
  source.AddDrive('c', {f.root, ""});
  source.SetCurrentFolder("c:\\");
  Form1 form(source);
  for (auto _ : state) {
    // Step away and back, so each round really lists the big folder.
    if (!form.di.SetPath("c:\\").ok() || !form.di.SetPath("c:\\big").ok()) {
      state.SkipWithError("listing failed");
    }
    benchmark::DoNotOptimize(form.di.rows().size() + form.fi.items().size());
  }
  state.SetItemsProcessed(state.iterations() * state.range(0) * 2);
}
BENCHMARK(BM_FillLists)->Arg(1000)->Arg(10000)->Unit(benchmark::kMillisecond);

// What any listing must do at least: read every name of the folder and its kind.
void BM_BareEnumeration(benchmark::State& state) {
  const BigFolder& f = Folder(static_cast<int>(state.range(0)));
  const std::string big = (f.root / "big").string();
  for (auto _ : state) {
    std::vector<std::pair<std::string, bool>> names;
    DIR* d = opendir(big.c_str());
    while (const dirent* e = readdir(d)) names.emplace_back(e->d_name, e->d_type == DT_DIR);
    closedir(d);
    benchmark::DoNotOptimize(names.data());
  }
  state.SetItemsProcessed(state.iterations() * state.range(0) * 2);
}
BENCHMARK(BM_BareEnumeration)->Arg(1000)->Arg(10000)->Unit(benchmark::kMillisecond);

}  // namespace
