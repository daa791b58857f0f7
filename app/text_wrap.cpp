#include "app/text_wrap.h"

namespace qrv3 {
namespace {

bool IsLowSurrogate(char16_t c) { return c >= 0xDC00 && c <= 0xDFFF; }

void WrapParagraph(std::u16string_view p, const std::function<size_t(std::u16string_view)>& fit,
                   std::vector<std::u16string>& lines) {
  while (true) {
    size_t n = fit(p);
    if (n >= p.size()) {
      lines.emplace_back(p);
      return;
    }
    size_t space = p.substr(0, n + 1).find_last_of(u' ');
    size_t cut;
    size_t next;
    if (space != std::u16string_view::npos && space > 0) {
      cut = space;
      next = space + 1;
    } else {
      cut = n == 0 ? 1 : n;  // always make progress, even when one character is too wide
      if (cut < p.size() && IsLowSurrogate(p[cut])) cut += (cut == 1 ? 1 : -1);
      next = cut;
    }
    lines.emplace_back(p.substr(0, cut));
    p.remove_prefix(next);
  }
}

}  // namespace

std::vector<std::u16string> WrapText(std::u16string_view text,
                                     const std::function<size_t(std::u16string_view)>& fit) {
  std::vector<std::u16string> lines;
  size_t start = 0;
  while (true) {
    const size_t end = text.find_first_of(u"\r\n", start);
    WrapParagraph(text.substr(start, end == std::u16string_view::npos ? end : end - start), fit, lines);
    if (end == std::u16string_view::npos) break;
    start = end + (text.substr(end, 2) == u"\r\n" ? 2 : 1);
  }
  return lines;
}

}  // namespace qrv3
