// Names from a listing are compared without regard to letter case, to find an entry and to sort
// the lists the window shows. CompareIgnoringCase must order as a plain comparison of the
// lower-cased bytes does, and the file list must come out in that order, every matching name
// once. The input is a listing: names separated by NUL, as no name holds one.
#include <algorithm>

#include "app/controls.h"
#include "app/folder_source_mapped.h"
#include "base/names.h"
#include "fuzz/fuzz.h"

namespace {

using qrv3::fuzz::Lower;
using qrv3::fuzz::Sign;

// Before, by the lower-cased bytes (compared as unsigned), then by the bytes as they are.
bool Before(const std::string& a, const std::string& b) {
  const int c = Lower(a).compare(Lower(b));
  return c != 0 ? c < 0 : a < b;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  const std::vector<std::string> names = qrv3::fuzz::Fields(data, size, '\0');
  for (size_t i = 0; i < names.size(); ++i) {
    const std::string& a = names[i];
    const std::string& b = names[(i + 1) % names.size()];
    const int c = qrv3::CompareIgnoringCase(a, b);
    FUZZ_CHECK(Sign(c) == Sign(Lower(a).compare(Lower(b))));
    FUZZ_CHECK(Sign(qrv3::CompareIgnoringCase(b, a)) == -Sign(c));
    FUZZ_CHECK(qrv3::CompareIgnoringCase(a, Lower(a)) == 0);
  }
  std::vector<qrv3::FolderEntry> listing;
  for (const std::string& n : names) listing.push_back({n, false, false});
  qrv3::MappedFolderSource nothing;
  qrv3::FileList files(nothing);
  files.SetPattern("*");
  files.SetPath("c:\\", listing);
  std::vector<std::string> want = names;
  std::sort(want.begin(), want.end(), Before);
  FUZZ_CHECK(files.items() == want);
  return 0;
}
