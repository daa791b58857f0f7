// The path rule turns the folder list's folder into the install path: the folder followed by one
// "\", a drive's root "c:\" giving itself. Whatever the folder, the result ends in exactly one
// "\", and applying the rule to it again changes nothing.
#include "app/form1.h"
#include "fuzz/fuzz.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  const std::string folder = qrv3::fuzz::Text(data, size);
  const std::string path = qrv3::PathRule(folder);
  FUZZ_CHECK(!path.empty() && path.back() == '\\');
  FUZZ_CHECK(path.size() == 1 || path[path.size() - 2] != '\\');
  FUZZ_CHECK(qrv3::PathRule(path) == path);
  // The separator goes after the folder; nothing else changes.
  if (folder.empty() || folder.back() != '\\') FUZZ_CHECK(path == folder + "\\");
  return 0;
}
