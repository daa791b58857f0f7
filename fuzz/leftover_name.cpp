// A name in the database's folder, which anyone who can write there may have chosen, is removed
// when IsLeftoverName takes it for what an interrupted run left. It must take only names that
// TemporaryName makes ("P03.pac.", 16 hexadecimal digits, ".tmp"), letter case aside, or the
// fixed name of earlier versions; and every name TemporaryName makes, however cased.
#include <cstring>

#include "engine/temporary_name.h"
#include "fuzz/fuzz.h"

namespace {

using qrv3::fuzz::Lower;

// The number 16 hexadecimal digits write, or false for anything else.
bool ParseHex(std::string_view digits, uint64_t* value) {
  constexpr std::string_view kDigits = "0123456789abcdef";
  *value = 0;
  for (char c : digits) {
    const size_t d = kDigits.find(Lower(std::string_view(&c, 1))[0]);
    if (d == std::string_view::npos) return false;
    *value = *value * 16 + d;
  }
  return digits.size() == 16;
}

bool MadeByTemporaryName(const std::string& name) {
  const std::string lower = Lower(name);
  uint64_t random = 0;
  return lower.size() == 28 && lower.starts_with("p03.pac.") && lower.ends_with(".tmp") &&
         ParseHex(std::string_view(lower).substr(8, 16), &random) &&
         Lower(qrv3::TemporaryName(random)) == lower;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  const std::string name = qrv3::fuzz::Text(data, size);
  if (qrv3::IsLeftoverName(name)) {
    FUZZ_CHECK(Lower(name) == "p03.pac.qrv3-new" || MadeByTemporaryName(name));
  }
  // The first 8 bytes pick the number, the bits of the rest the letters to upper-case.
  if (size >= 8) {
    uint64_t random;
    std::memcpy(&random, data, sizeof random);
    std::string made = qrv3::TemporaryName(random);
    for (size_t i = 0; i < made.size() && 8 + i < size; ++i) {
      if ((data[8 + i] & 1) && made[i] >= 'a' && made[i] <= 'z') made[i] = static_cast<char>(made[i] - 'a' + 'A');
    }
    FUZZ_CHECK(qrv3::IsLeftoverName(made));
  }
  return 0;
}
