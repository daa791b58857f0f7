// Breaking a label's text into lines: a carriage return (or CR LF, or LF) starts a new line,
// and a line that is wider than the label breaks after its last space that fits, or, for text
// without spaces such as Japanese, after the last character that fits.
#pragma once

#include <functional>
#include <string>
#include <string_view>
#include <vector>

namespace qrv3 {

// `fit(text)` answers how many UTF-16 units from the start of `text` fit in the width.
std::vector<std::u16string> WrapText(std::u16string_view text,
                                     const std::function<size_t(std::u16string_view)>& fit);

}  // namespace qrv3
