#include "app/win32/fonts_win.h"

#include <cwchar>

#include "engine/utf.h"

namespace qrv3::win {
namespace {

// Whether the system really has `face`, rather than substituting another for it.
bool HasFace(HDC dc, const std::wstring& face) {
  LOGFONTW lf = {};
  lf.lfHeight = -12;
  lf.lfCharSet = SHIFTJIS_CHARSET;
  wcsncpy(lf.lfFaceName, face.c_str(), LF_FACESIZE - 1);
  Gdi<HFONT> font(CreateFontIndirectW(&lf));
  if (!font.get()) return false;
  Selected sel(dc, font.get());
  wchar_t got[LF_FACESIZE] = {};
  GetTextFaceW(dc, LF_FACESIZE, got);
  return _wcsicmp(got, face.c_str()) == 0;
}

}  // namespace

const std::wstring& FontFace() {
  static const std::wstring face = [] {
    // IPAex Gothic comes before IPA Gothic: at 9 pt the latter loses its underscores, and
    // "Qrv_3.exe" is a name the user has to recognise.
    const std::wstring candidates[] = {
        Widen(layout::kFontFace), L"MS Gothic", L"Yu Gothic", L"Meiryo", L"IPAexGothic",
        L"IPAGothic", L"Noto Sans CJK JP", L"Noto Sans Mono CJK JP"};
    HDC dc = GetDC(nullptr);
    std::wstring chosen = candidates[0];  // the system's substitute for it, if none is found
    for (const std::wstring& c : candidates) {
      if (HasFace(dc, c)) {
        chosen = c;
        break;
      }
    }
    ReleaseDC(nullptr, dc);
    return chosen;
  }();
  return face;
}

void FontSet::Make(int dpi) {
  for (const layout::FontSpec& font : layout::kFonts) {
    LOGFONTW lf = {};
    lf.lfHeight = -layout::FontPixelHeight(font.id, dpi);
    lf.lfWeight = font.weight;
    lf.lfCharSet = layout::kFontCharset;
    lf.lfQuality = DEFAULT_QUALITY;
    lf.lfOutPrecision = OUT_DEFAULT_PRECIS;
    lf.lfClipPrecision = CLIP_DEFAULT_PRECIS;
    lf.lfPitchAndFamily = FIXED_PITCH | FF_MODERN;
    wcsncpy(lf.lfFaceName, FontFace().c_str(), LF_FACESIZE - 1);
    fonts_[static_cast<int>(font.id)].reset(CreateFontIndirectW(&lf));
  }
}

}  // namespace qrv3::win
