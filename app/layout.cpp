#include "app/layout.h"

#include <algorithm>
#include <cmath>

namespace qrv3::layout {
namespace {

// a * b / c rounded half away from zero, as Win32 MulDiv rounds. For numbers the size of twips
// and dots per inch a double holds the product exactly, and a quotient that ends in a half too.
int MulDiv(int a, int b, int c) { return static_cast<int>(std::lround(static_cast<double>(a) * b / c)); }

std::string FullWidthNumber(int n) {
  std::string digits = std::to_string(n), out;
  for (char d : digits) {
    // U+FF10 is the full-width zero: EF BC 90.
    out += "\xEF\xBC";
    out += static_cast<char>(0x90 + (d - '0'));
  }
  return out;
}

int StepOf(const Control& control) {
  int step = 0;
  for (const Control& c : kControls) {
    if (c.look & kNumbered) ++step;
    if (&c == &control) return step;
  }
  return 0;
}

}  // namespace

std::string StepPrefix(int step) { return FullWidthNumber(step) + "："; }

std::string InitialText(const Control& control) {
  if (control.kind == Kind::kStatusLabel) {
    int steps = 0;
    for (const Control& c : kControls) steps += (c.look & kNumbered) ? 1 : 0;
    return "下記の" + FullWidthNumber(1) + "～" + FullWidthNumber(steps) +
           "に従って、ファイルを更新して下さい。";
  }
  if (control.look & kNumbered) return StepPrefix(StepOf(control)) + std::string(control.text);
  return std::string(control.text);
}

std::string SpokenText(const SpokenName& name) {
  std::string text(name.name);
  for (Id label : name.labels) text += InitialText(Of(label));
  return text;
}

int ToPixels(int twips, int dpi) { return MulDiv(twips, dpi, 1440); }

Rect ToPixels(const Control& c, int dpi) {
  return {ToPixels(c.left, dpi), ToPixels(c.top, dpi), ToPixels(c.width, dpi),
          ToPixels(c.height, dpi)};
}

int FontPixelHeight(Font font, int dpi) {
  for (const FontSpec& f : kFonts) {
    if (f.id == font) return MulDiv(f.centipoints, dpi, 7200);
  }
  return 0;
}

namespace {
// The start of a span of `size` on the axis from `from` to `from + room`: as close to `at` as
// lies inside, and at `from` when it does not fit.
int Inside(int at, int size, int from, int room) {
  return std::max(from, std::min(at, from + room - size));
}
}  // namespace

Rect KeptInside(const Rect& w, const Rect& area) {
  return {Inside(w.left, w.width, area.left, area.width),
          Inside(w.top, w.height, area.top, area.height), w.width, w.height};
}

Rect Centred(int width, int height, const Rect& area) {
  return KeptInside({area.left + (area.width - width) / 2, area.top + (area.height - height) / 2,
                     width, height},
                    area);
}

}  // namespace qrv3::layout
