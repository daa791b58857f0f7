// A FolderSource whose drives and network shares are folders of the host's file system: drive
// "c" might be /tmp/x. Its folders and files are real; which drives exist, which are ready and
// what they show beside their letter is up to its owner. The native build runs the window's
// logic on it, and tests use it for drives no test machine has (one without a medium).
// Names resolve without regard to letter case; names beginning with "." count as hidden.
#pragma once

#include <filesystem>
#include <map>
#include <string>

#include "app/folder_source.h"

namespace qrv3 {

class MappedFolderSource final : public FolderSource {
 public:
  struct Drive {
    std::filesystem::path root;  // the host folder that is the drive's root
    std::string note;            // shown beside the letter
    bool ready = true;           // false: a drive without a medium
    std::string current;         // the drive's current folder, "" for its root
  };

  // `letter` is lower case.
  void AddDrive(char letter, Drive drive) { drives_[letter] = std::move(drive); }
  Drive& drive(char letter) { return drives_.at(letter); }
  // "\\server\share" served from a host folder.
  void AddShare(const std::string& unc_root, std::filesystem::path root) {
    shares_[unc_root] = std::move(root);
  }
  void SetCurrentFolder(std::string folder) { current_ = std::move(folder); }
  void SetProgramFilesX86(std::string folder) { program_files_x86_ = std::move(folder); }

  // The host path of a Windows-form path, or "" when it is on no known drive or share.
  std::filesystem::path HostPath(const std::string& path) const;

  std::vector<char> Drives() override;
  std::string DriveNote(char letter) override;
  Status DriveCurrentFolder(char letter, std::string* folder) override;
  std::string CurrentFolder() override { return current_; }
  std::string ProgramFilesX86() override { return program_files_x86_; }
  Status OpenFolder(const std::string& path, std::string* folder) override;
  Status ListFolder(const std::string& folder, std::vector<FolderEntry>* entries) override;

 private:
  std::map<char, Drive> drives_;
  std::map<std::string, std::filesystem::path> shares_;
  std::string current_;
  std::string program_files_x86_;
};

// The host's side of a mapped source, one file for each platform (folder_source_mapped_win.cpp,
// folder_source_mapped_posix.cpp).
// `host` as the host's file system names it: on POSIX each component found without regard to
// letter case, as on the drives this stands in for.
std::filesystem::path HostSpelling(const std::filesystem::path& host);
// The entries of the host folder `host`, which the source calls `folder`.
Status ListHostFolder(const std::filesystem::path& host, const std::string& folder,
                      std::vector<FolderEntry>* entries);

}  // namespace qrv3
