// Which DLLs the two programs make Windows load before their first line runs. A DLL that is not
// one of the system's KnownDLLs is looked for in the exe's own folder first: one planted beside
// a downloaded updater would run as administrator. So the import tables may name KnownDLLs only,
// and comctl32, which the manifest binds to the system's side-by-side assembly.
#include <windows.h>

#include <gtest/gtest.h>

#include <algorithm>
#include <cctype>
#include <cstdio>
#include <cstring>
#include <fstream>
#include <set>
#include <string>
#include <vector>

#include "engine/utf.h"
#include "tests/test_util.h"

namespace qrv3::testing {
namespace {

// The KnownDLLs of Windows 7, the oldest system the programs run on (later ones list more).
const std::set<std::string> kKnownDlls = {
    "advapi32.dll", "clbcatq.dll", "comdlg32.dll", "difxapi.dll", "gdi32.dll", "iertutil.dll",
    "imagehlp.dll", "imm32.dll", "kernel32.dll", "lpk.dll", "msctf.dll", "msvcrt.dll",
    "normaliz.dll", "nsi.dll", "ole32.dll", "oleaut32.dll", "psapi.dll", "rpcrt4.dll",
    "sechost.dll", "setupapi.dll", "shell32.dll", "shlwapi.dll", "urlmon.dll", "user32.dll",
    "usp10.dll", "wininet.dll", "wldap32.dll", "ws2_32.dll", "ntdll.dll"};

struct Image {
  std::vector<uint8_t> bytes;
  struct Section {
    uint32_t rva, size, file_offset;
  };
  std::vector<Section> sections;
  uint32_t dirs_at = 0;  // file offset of the data directories
  uint32_t dir_count = 0;

  template <class T>
  T At(size_t offset) const {
    T v{};
    if (offset + sizeof(T) <= bytes.size()) std::memcpy(&v, bytes.data() + offset, sizeof(T));
    return v;
  }
  // The file offset of a relative virtual address, or 0 when no section holds it.
  size_t Offset(uint32_t rva) const {
    for (const Section& s : sections) {
      if (rva >= s.rva && rva < s.rva + s.size) return rva - s.rva + s.file_offset;
    }
    return 0;
  }
  std::string String(uint32_t rva) const {
    std::string s;
    for (size_t o = Offset(rva); o != 0 && o < bytes.size() && bytes[o] != 0; ++o) {
      s += static_cast<char>(std::tolower(bytes[o]));
    }
    return s;
  }
  uint32_t DirectoryRva(int index) const {
    return index < static_cast<int>(dir_count) ? At<uint32_t>(dirs_at + 8 * index) : 0;
  }
};

Image Load(const std::string& path) {
  Image img;
  img.bytes = ReadAll(BuildPath(path));
  const uint32_t pe = img.At<uint32_t>(0x3c);
  EXPECT_EQ(img.At<uint32_t>(pe), 0x00004550u) << "not a PE file: " << path;
  const uint16_t sections = img.At<uint16_t>(pe + 6);
  const uint16_t optional_size = img.At<uint16_t>(pe + 20);
  const uint32_t optional = pe + 24;
  const bool pe32plus = img.At<uint16_t>(optional) == 0x20b;
  img.dirs_at = optional + (pe32plus ? 112 : 96);
  img.dir_count = img.At<uint32_t>(optional + (pe32plus ? 108 : 92));
  for (uint32_t i = 0, s = optional + optional_size; i < sections; ++i, s += 40) {
    img.sections.push_back({img.At<uint32_t>(s + 12), std::max(img.At<uint32_t>(s + 8), img.At<uint32_t>(s + 16)),
                            img.At<uint32_t>(s + 20)});
  }
  return img;
}

// The DLLs named by the import table (directory 1) and the delay-load table (directory 13).
std::vector<std::string> ImportedDlls(const Image& img) {
  std::vector<std::string> names;
  if (uint32_t rva = img.DirectoryRva(1)) {
    for (size_t d = img.Offset(rva); d != 0 && img.At<uint32_t>(d + 12) != 0; d += 20) {
      names.push_back(img.String(img.At<uint32_t>(d + 12)));
    }
  }
  if (uint32_t rva = img.DirectoryRva(13)) {
    for (size_t d = img.Offset(rva); d != 0 && img.At<uint32_t>(d + 4) != 0; d += 32) {
      names.push_back(img.String(img.At<uint32_t>(d + 4)));
    }
  }
  return names;
}

std::string Manifest(const std::string& exe) {
  HMODULE m = LoadLibraryExW(Widen(BuildPath(exe)).c_str(), nullptr, LOAD_LIBRARY_AS_DATAFILE);
  if (m == nullptr) return "";
  std::string text;
  if (HRSRC r = FindResourceW(m, MAKEINTRESOURCEW(1), RT_MANIFEST)) {
    if (HGLOBAL g = LoadResource(m, r)) {
      text.assign(static_cast<const char*>(LockResource(g)), SizeofResource(m, r));
    }
  }
  FreeLibrary(m);
  return text;
}

TEST(Imports, BothProgramsLoadOnlyKnownDllsBeforeTheirFirstLine) {
  for (const char* exe : {QRV3_UPDATER_EXE, QRV3_CLI_EXE}) {
    SCOPED_TRACE(exe);
    const std::vector<std::string> dlls = ImportedDlls(Load(exe));
    for (const std::string& d : dlls) std::printf("%s imports %s\n", exe, d.c_str());
    EXPECT_FALSE(dlls.empty());
    for (const std::string& dll : dlls) {
      if (dll == "comctl32.dll") {
        EXPECT_NE(Manifest(exe).find("Microsoft.Windows.Common-Controls"), std::string::npos)
            << "comctl32 without the manifest's side-by-side assembly is searched for beside the exe";
        continue;
      }
      EXPECT_TRUE(kKnownDlls.count(dll)) << dll << " is no KnownDLL";
    }
  }
}

// A text of the version record, in the language the program's record is written in.
std::string VersionText(const std::string& exe, const char* language, const char* name) {
  const std::wstring file = Widen(BuildPath(exe));
  DWORD ignored = 0;
  std::vector<char> data(GetFileVersionInfoSizeW(file.c_str(), &ignored));
  if (data.empty() || !GetFileVersionInfoW(file.c_str(), 0, static_cast<DWORD>(data.size()), data.data())) {
    return "";
  }
  void* value = nullptr;
  UINT len = 0;
  const std::wstring key = Widen(std::string("\\StringFileInfo\\") + language + "\\" + name);
  if (!VerQueryValueW(data.data(), key.c_str(), &value, &len) || len == 0) return "";
  return Narrow(static_cast<const wchar_t*>(value));
}

TEST(Resources, BothProgramsCarryTheirVersionRecordAndManifest) {
  const std::string product = "『Morvanth「Quelline」アーカイヴ\u3000Vol.3』専用更新ソフト";
  const struct {
    const char *exe, *language, *name;
    std::string value;  // "~" and a part of it, "*" for any
  } texts[] = {
      {QRV3_UPDATER_EXE, "041104b0", "ProductName", product},
      {QRV3_UPDATER_EXE, "041104b0", "FileDescription", product},
      {QRV3_UPDATER_EXE, "041104b0", "FileVersion", "1.00"},
      {QRV3_UPDATER_EXE, "041104b0", "ProductVersion", "1.00"},
      {QRV3_UPDATER_EXE, "041104b0", "CompanyName", "*"},
      {QRV3_UPDATER_EXE, "041104b0", "LegalCopyright", "*"},
      {QRV3_CLI_EXE, "040904b0", "ProductName", product},
      {QRV3_CLI_EXE, "040904b0", "FileDescription", "~console updater"},
      {QRV3_CLI_EXE, "040904b0", "FileVersion", "1.00"},
      {QRV3_CLI_EXE, "040904b0", "ProductVersion", "1.00"},
      {QRV3_CLI_EXE, "040904b0", "OriginalFilename", "qrv3-updater-cli.exe"},
  };
  for (const auto& t : texts) {
    const std::string got = VersionText(t.exe, t.language, t.name);
    if (t.value == "*") {
      EXPECT_FALSE(got.empty()) << t.exe << " " << t.name;
    } else if (t.value.starts_with("~")) {
      EXPECT_NE(got.find(t.value.substr(1)), std::string::npos) << t.exe << " " << t.name << ": " << got;
    } else {
      EXPECT_EQ(got, t.value) << t.exe << " " << t.name;
    }
  }
  const std::string manifest = Manifest(QRV3_CLI_EXE);
  EXPECT_NE(manifest.find("level=\"asInvoker\""), std::string::npos) << manifest;
  EXPECT_NE(manifest.find(">true</longPathAware>"), std::string::npos) << manifest;
  for (const char* os : {"35138b9a-5d96-4fbd-8e2d-a2440225f93a", "4a2f28e3-53b9-4441-ba9c-d69d4a4a6e38",
                         "1f676c76-80e1-4239-95bb-83d0f6d0da78", "8e0f7a12-bfb3-4fe8-b9a5-48fd50a15a9a"}) {
    EXPECT_NE(manifest.find(os), std::string::npos) << os;
  }
}

}  // namespace
}  // namespace qrv3::testing
