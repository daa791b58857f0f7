// Comparing names the way the product's file system does: ASCII letters without regard to
// case, every other byte as it is.
#pragma once

#include <cstddef>
#include <string_view>

namespace qrv3 {

constexpr char FoldAscii(char c) {
  return c >= 'A' && c <= 'Z' ? static_cast<char>(c + ('a' - 'A')) : c;
}

// Windows takes either slash between the parts of a path.
constexpr bool IsPathSeparator(char c) { return c == '\\' || c == '/'; }

// Negative, zero or positive, as a before, equal to or after b, ignoring ASCII letter case.
constexpr int CompareIgnoringCase(std::string_view a, std::string_view b) {
  const size_t n = a.size() < b.size() ? a.size() : b.size();
  for (size_t i = 0; i < n; ++i) {
    const auto x = static_cast<unsigned char>(FoldAscii(a[i]));
    const auto y = static_cast<unsigned char>(FoldAscii(b[i]));
    if (x != y) return x < y ? -1 : 1;
  }
  return a.size() == b.size() ? 0 : (a.size() < b.size() ? -1 : 1);
}

}  // namespace qrv3
