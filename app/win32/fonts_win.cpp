#include "app/win32/fonts_win.h"

#include <cwchar>

#include "base/utf.h"

namespace qrv3::win {
namespace {

// Every font of the window is asked for this way. No pitch is asked for: 「ＭＳ ゴシック」 is
// fixed-pitch anyway, and a substitute that is not would lose to any fixed-pitch face the
// font mapper found instead.
LOGFONTW Describe(const std::wstring& face, int pixel_height, int weight) {
  LOGFONTW lf = {};
  lf.lfHeight = -pixel_height;
  lf.lfWeight = weight;
  lf.lfCharSet = layout::kFontCharset;
  lf.lfOutPrecision = OUT_DEFAULT_PRECIS;
  lf.lfClipPrecision = CLIP_DEFAULT_PRECIS;
  lf.lfQuality = DEFAULT_QUALITY;
  lf.lfPitchAndFamily = DEFAULT_PITCH | FF_MODERN;
  wcsncpy(lf.lfFaceName, face.c_str(), LF_FACESIZE - 1);
  return lf;
}

// The face the system really draws with when asked for `face`.
std::wstring FaceSelectedFor(HDC dc, const std::wstring& face) {
  const LOGFONTW lf = Describe(face, 12, FW_NORMAL);
  Gdi<HFONT> font(CreateFontIndirectW(&lf));
  if (!font.get()) return {};
  Selected sel(dc, font.get());
  wchar_t got[LF_FACESIZE] = {};
  GetTextFaceW(dc, LF_FACESIZE, got);
  return got;
}

}  // namespace

const std::wstring& FontFace() {
  static const std::wstring face = [] {
    // IPAex Gothic comes before IPA Gothic: at 9 pt the latter loses its underscores, and
    // "Qrv_3.exe" is a name the user has to recognise.
    const std::wstring candidates[] = {
        Widen(layout::kFontFace), L"MS Gothic", L"Yu Gothic", L"Meiryo", L"IPAexGothic",
        L"IPAGothic", L"Noto Sans CJK JP", L"Noto Sans Mono CJK JP"};
    const WindowDc screen(nullptr);
    HDC dc = screen.get();
    std::wstring chosen;
    for (const std::wstring& c : candidates) {
      if (_wcsicmp(FaceSelectedFor(dc, c).c_str(), c.c_str()) == 0) {
        chosen = c;
        break;
      }
    }
    // None of them: whatever the system puts in the place of 「ＭＳ ゴシック」, named as it is,
    // so that every font asks for the face it really gets.
    if (chosen.empty()) chosen = FaceSelectedFor(dc, candidates[0]);
    if (chosen.empty()) chosen = candidates[0];
    return chosen;
  }();
  return face;
}

void FontSet::Make(int dpi) {
  for (const layout::FontSpec& font : layout::kFonts) {
    const LOGFONTW lf = Describe(FontFace(), layout::FontPixelHeight(font.id, dpi), font.weight);
    fonts_[static_cast<int>(font.id)].reset(CreateFontIndirectW(&lf));
  }
}

}  // namespace qrv3::win
