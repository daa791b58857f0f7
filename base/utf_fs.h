// The one conversion of base/utf.h for std::filesystem, whose own would differ from it on
// Windows. Apart, because <filesystem> alone costs most translation units more to compile than
// their own code.
#pragma once

#include <filesystem>
#include <string>
#include <string_view>

namespace qrv3 {

std::filesystem::path FsPath(std::string_view utf8);
std::string Utf8Path(const std::filesystem::path& path);

}  // namespace qrv3
