// The file list shows the names that match its pattern ("*.EXE", letter case aside): "*" any run
// of characters, "?" one character. MatchesPattern must give the verdict of a plain matcher over
// whole characters. The input is a name, or a pattern, a NUL and a name.
#include <vector>

#include "app/controls.h"
#include "fuzz/fuzz.h"

namespace {

bool Continuation(char c) { return (static_cast<uint8_t>(c) & 0xC0) == 0x80; }

// The characters of a name: a UTF-8 lead byte with the continuation bytes it announces, when they
// all follow; any other byte (a name in another encoding) is one by itself.
std::vector<std::string> Characters(std::string_view s) {
  std::vector<std::string> out;
  for (size_t i = 0; i < s.size();) {
    const auto b = static_cast<uint8_t>(s[i]);
    size_t n = b >> 5 == 0x06 ? 2 : b >> 4 == 0x0E ? 3 : b >> 3 == 0x1E ? 4 : 1;
    for (size_t k = 1; k < n; ++k) {
      if (i + k >= s.size() || !Continuation(s[i + k])) n = 1;
    }
    out.emplace_back(s.substr(i, n));
    i += n;
  }
  return out;
}

// Every place where pattern[0, p) matches name[0, n), worked out row by row.
bool Reference(const std::vector<std::string>& pattern, const std::vector<std::string>& name) {
  std::vector<bool> row(name.size() + 1, false);
  row[0] = true;
  for (const std::string& p : pattern) {
    std::vector<bool> next(name.size() + 1, false);
    for (size_t n = 0; n <= name.size(); ++n) {
      if (p == "*") next[n] = row[n] || (n > 0 && next[n - 1]);
      else if (n > 0 && row[n - 1]) next[n] = p == "?" || qrv3::fuzz::Lower(p) == qrv3::fuzz::Lower(name[n - 1]);
    }
    row = std::move(next);
  }
  return row[name.size()];
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  std::vector<std::string> fields = qrv3::fuzz::Fields(data, size, '\0');
  const std::string pattern = fields.size() > 1 ? fields[0] : "*.EXE";
  const std::string name = fields.back();
  const bool verdict = qrv3::MatchesPattern(name, pattern);
  const std::vector<std::string> p = Characters(pattern), n = Characters(name);
  // A pattern is the program's own text: whole characters only.
  for (const std::string& c : p) {
    if (static_cast<uint8_t>(c[0]) >= 0x80 && c.size() == 1) return 0;
  }
  if (p.size() * n.size() <= 1 << 20) FUZZ_CHECK(verdict == Reference(p, n));
  return 0;
}
