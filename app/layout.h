// The window Form1 as data: every control's kind, place, size, text, font and look, in twips
// from the client area's top-left corner, and the texts and fonts of the window itself. The
// Win32 code creates the window from these tables; nothing about the look lives elsewhere.
#pragma once

#include <cstddef>
#include <cstdint>
#include <iterator>
#include <span>
#include <string>
#include <string_view>

namespace qrv3::layout {

inline constexpr std::string_view kCaption =
    "『Morvanth「Quelline」アーカイヴ\u3000Vol.3』専用\u3000更新ソフト";
inline constexpr int kClientWidth = 8940;  // twips
inline constexpr int kClientHeight = 8400;
inline constexpr std::string_view kCopyright = "Copyright (C) 2002 Brackwell. All rights reserved.";

// The fonts, in points times 100: "ＭＳ ゴシック" (or a Japanese substitute), Shift-JIS.
enum class Font { kNormal, kStatus, kBold, kVersion };
struct FontSpec {
  Font id;
  int centipoints;
  int weight;
};
inline constexpr FontSpec kFonts[] = {
    {Font::kNormal, 900, 400},
    {Font::kStatus, 1200, 700},
    {Font::kBold, 900, 700},
    {Font::kVersion, 975, 700},
};
inline constexpr std::string_view kFontFace = "ＭＳ ゴシック";
inline constexpr int kFontCharset = 128;  // SHIFTJIS_CHARSET

enum class Kind { kStatusLabel, kLabel, kPathBox, kDriveList, kFolderList, kFileList, kButton, kFrame, kLine };

enum Look : uint32_t {
  kSizedToText = 1 << 0,  // takes the size of its text on one line
  kTransparent = 1 << 1,  // paints no background of its own
  kSunken = 1 << 2,       // sunken three-dimensional border
  kCentred = 1 << 3,      // text centred
  kNumbered = 1 << 4,     // an instruction step: its text gets the step prefix "１："
  kTabStop = 1 << 5,      // takes the keyboard focus with Tab
};

// Every control of the window by its name in the design, in the order of kControls below: a
// name mistyped anywhere in the code is a compile error. kCount is no control.
enum class Id {
  Lab1, Label9, Label4, te, dr, Label10, di, Label2, Command1, fi, Label6, Label5, Label7, Line1,
  Label8, kCount
};

struct Control {
  Id name;
  Kind kind;
  int id;  // the child window's control ID
  int left, top, width, height;  // twips
  std::string_view text;
  Font font;
  uint32_t look;
};

// In the order the child windows are made, which is also the Tab order of those that take the
// focus (te, dr, di, Command1, fi), and which puts each text box and list right after the label
// that names it for screen readers.
inline constexpr Control kControls[] = {
    {Id::Lab1, Kind::kStatusLabel, 101, 120, 120, 8685, 660, "", Font::kStatus, kSunken | kCentred},
    {Id::Label9, Kind::kLabel, 102, 120, 2160, 6300, 180,
     "『Morvanth「Quelline」アーカイヴ Vol.3』をインストールした場所", Font::kNormal,
     kNumbered | kSizedToText | kTransparent},
    {Id::Label4, Kind::kLabel, 103, 480, 2400, 4050, 180, "（「Qrv_3.exe」がある場所）を選択して下さい。",
     Font::kNormal, kSizedToText | kTransparent},
    {Id::te, Kind::kPathBox, 104, 720, 2640, 7455, 270, "", Font::kNormal, kTabStop},
    {Id::dr, Kind::kDriveList, 105, 720, 3000, 5175, 300, "", Font::kNormal, kTabStop},
    {Id::Label10, Kind::kLabel, 106, 6000, 3360, 2175, 780,
     "※下部に実行ファイルである「Qrv_3.exe」が表示されるフォルダを選択して下さい。", Font::kNormal,
     kTransparent},
    {Id::di, Kind::kFolderList, 107, 720, 3360, 5175, 3450, "", Font::kNormal, kTabStop},
    {Id::Label2, Kind::kLabel, 108, 120, 7080, 3420, 180, "「更新開始」ボタンを押して下さい。",
     Font::kNormal, kNumbered | kSizedToText | kTransparent},
    {Id::Command1, Kind::kButton, 109, 720, 7440, 1335, 375, "更新開始", Font::kNormal, kTabStop},
    {Id::fi, Kind::kFileList, 110, 6000, 4200, 2175, 2610, "", Font::kNormal, kTabStop},
    {Id::Label6, Kind::kFrame, 111, 3600, 6960, 5055, 1335, "", Font::kNormal, kSunken | kTransparent},
    {Id::Label5, Kind::kLabel, 112, 3645, 7080, 4935, 180, "『Morvanth「Quelline」アーカイヴ Vol.3』",
     Font::kBold, kCentred | kTransparent},
    {Id::Label7, Kind::kLabel, 113, 3600, 7350, 5040, 285, "専用更新ソフト\u3000Version1.0",
     Font::kVersion, kCentred | kTransparent},
    {Id::Line1, Kind::kLine, 114, 3720, 7680, 4800, 0, "", Font::kNormal, 0},
    {Id::Label8, Kind::kLabel, 115, 3720, 7920, 4740, 300, kCopyright, Font::kNormal, kCentred},
};
inline constexpr size_t kControlCount = std::size(kControls);

// The row of a control in kControls.
constexpr const Control& Of(Id id) { return kControls[static_cast<size_t>(id)]; }

static_assert(
    [] {
      for (size_t i = 0; i < kControlCount; ++i) {
        if (kControls[i].name != static_cast<Id>(i)) return false;
      }
      return kControlCount == static_cast<size_t>(Id::kCount);
    }(),
    "kControls has one row per Id, in the order of Id");

inline constexpr int kLineThickness = 3;  // pixels at 96 dpi

// Names for screen readers, for the controls that take the focus but have no label of their own
// right before them (another control that takes the focus comes first), or whose label says
// only half of what they are for. Windows names an edit box, list or combo box after the static
// text right before it in z-order; each of these becomes such a text, hidden, so the window looks
// the same. The folder list and the button are named by the note and their caption.
struct SpokenName {
  Id control;
  std::string_view name;       // a name of its own, or
  std::span<const Id> labels;  // the texts of these labels, one after the other
};
inline constexpr Id kStep1Labels[] = {Id::Label9, Id::Label4};  // step 1 takes two lines
inline constexpr SpokenName kSpokenNames[] = {
    {Id::te, "", kStep1Labels},
    {Id::dr, "ドライブ", {}},
    {Id::fi, "実行ファイル", {}},
};
// The name a SpokenName gives its control.
std::string SpokenText(const SpokenName& name);

// The text a control shows at start: its table text, after the step prefix for a numbered
// instruction; for the status label, the opening instruction naming the range of steps.
std::string InitialText(const Control& control);
// "１：" for step 1: full-width digits and colon.
std::string StepPrefix(int step);

struct Rect {
  int left, top, width, height;
  friend bool operator==(const Rect&, const Rect&) = default;
};
// Twips to pixels at `dpi` (1440 twips to the inch), rounding as MulDiv does.
int ToPixels(int twips, int dpi);
Rect ToPixels(const Control& control, int dpi);
// A font's height in pixels (as a negative LOGFONT height: the character height) at `dpi`.
int FontPixelHeight(Font font, int dpi);

// Where a window goes on a monitor's work area (all in pixels, left and top in screen
// coordinates). The caption is the only handle by which the user can move the window, so a
// window taller or wider than the area keeps its top and left edges on the area's rather than
// being cut off at both ends.
//
// The window `width` x `height` centred on `area`.
Rect Centred(int width, int height, const Rect& area);
// `window` moved as little as possible to lie inside `area`; when it is larger than the area,
// its top and left edges lie on the area's.
Rect KeptInside(const Rect& window, const Rect& area);

}  // namespace qrv3::layout
