#include "engine/temporary_name.h"

#include <cstdio>

#include "base/names.h"

namespace qrv3 {
namespace {

constexpr std::string_view kLeftoverOfEarlierVersions = "P03.pac.qrv3-new";
constexpr std::string_view kTemporaryPrefix = "P03.pac.";
constexpr std::string_view kTemporarySuffix = ".tmp";
constexpr size_t kRandomDigits = 16;

}  // namespace

std::string TemporaryName(uint64_t random) {
  char digits[kRandomDigits + 1];
  std::snprintf(digits, sizeof digits, "%016llx", static_cast<unsigned long long>(random));
  return std::string(kTemporaryPrefix) + digits + std::string(kTemporarySuffix);
}

bool IsLeftoverName(std::string_view name) {
  if (CompareIgnoringCase(name, kLeftoverOfEarlierVersions) == 0) return true;
  if (name.size() != kTemporaryPrefix.size() + kRandomDigits + kTemporarySuffix.size()) return false;
  if (CompareIgnoringCase(name.substr(0, kTemporaryPrefix.size()), kTemporaryPrefix) != 0 ||
      CompareIgnoringCase(name.substr(name.size() - kTemporarySuffix.size()), kTemporarySuffix) != 0) {
    return false;
  }
  for (char c : name.substr(kTemporaryPrefix.size(), kRandomDigits)) {
    const char f = FoldAscii(c);
    if (!((f >= '0' && f <= '9') || (f >= 'a' && f <= 'f'))) return false;
  }
  return true;
}

}  // namespace qrv3
