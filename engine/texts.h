// Every text the update run writes into the window, exactly as the user sees it.
#pragma once

#include <string>
#include <string_view>

namespace qrv3::texts {

inline constexpr std::string_view kWorking = "更新中";  // status label and button alike
inline constexpr std::string_view kFinishedStatus =
    "更新が終了しました。この更新ソフトをパソコンから削除して下さい。";
inline constexpr std::string_view kFinishedButton = "更新終了";
inline constexpr std::string_view kReadyButton = "更新開始";
inline constexpr std::string_view kInstallationSentence1 =
    "「Morvanthアーカイヴ Vol.3」が正しくインストールされていないか、";
inline constexpr std::string_view kInstallationSentence2 = "インストールした場所が指定されていません。";
// Two ideographic spaces, then ASCII.
inline constexpr std::string_view kErrorTag = "\u3000\u3000Error=";

// Sentence 1, a lone carriage return, sentence 2, the error tag, then the number of checks
// that passed in plain decimal digits.
std::string InstallationMessage(int step_counter);

}  // namespace qrv3::texts
