// Comparing names the way the product's file system does: ASCII letters without regard to
// case, every other byte as it is.
#pragma once

#include <string_view>

namespace qrv3 {

constexpr char FoldAscii(char c) {
  return c >= 'A' && c <= 'Z' ? static_cast<char>(c + ('a' - 'A')) : c;
}

// Negative, zero or positive, as a before, equal to or after b, ignoring ASCII letter case.
int CompareIgnoringCase(std::string_view a, std::string_view b);

}  // namespace qrv3
