// Models of the window's folder-selection controls, free of any UI toolkit. They behave as the
// classic drive, folder and file list controls do: reading and assigning their properties, and
// a Change callback that runs synchronously inside the assignment that caused it (never when
// the assigned value is the one the control already holds), so that handlers chain.
#pragma once

#include <functional>
#include <string>
#include <vector>

#include "app/folder_source.h"
#include "base/names.h"
#include "base/status.h"

namespace qrv3 {

// Matches `name` against a pattern of "*" (any run) and "?" (one character), ignoring case.
bool MatchesPattern(const std::string& name, const std::string& pattern);

// The drive list `dr`.
class DriveList {
 public:
  explicit DriveList(FolderSource& source);

  // The selected drive's designation: letter, colon, and what the system shows beside it
  // ("c: [System]"). Its first two characters are always the letter and the colon.
  std::string Drive();
  // Selects the drive whose letter `designation` begins with (the rest is ignored). Fails
  // when the computer has no such drive.
  Status SetDrive(const std::string& designation);

  const std::vector<char>& letters() const { return letters_; }
  int selected() const { return selected_; }
  // The designation of drive `index` as the list shows it; queries the drive on first use.
  const std::string& ItemText(int index);

  std::function<void()> on_change;

 private:
  FolderSource& source_;
  std::vector<char> letters_;
  std::vector<std::string> texts_;  // "" until first shown
  int selected_ = -1;
};

// One row of the folder list: the current folder's ancestors from the root down, the current
// folder, then its subfolders.
struct FolderRow {
  std::string text;  // what the row shows: the folder's name, or the root as "c:\"
  std::string path;  // the folder's full path
  int depth = 0;     // indentation level, 0 for the root
  bool open = false;  // the current folder or one of its ancestors
  friend bool operator==(const FolderRow&, const FolderRow&) = default;
};

// The folder list `di`.
class FolderList {
 public:
  explicit FolderList(FolderSource& source);

  // The current folder: no trailing "\" except for a drive's root ("c:\").
  const std::string& Path() const { return path_; }
  // Opens a folder (absolute, or relative to the current one), or, given a drive designation
  // ("d:" or "d: [label]"), that drive's current folder. Fails, changing nothing, when the
  // folder does not exist or cannot be read, or the drive is not ready.
  Status SetPath(const std::string& path_or_drive);
  // Opens the folder of row `index`, as a double-click does.
  Status Open(int index);

  const std::vector<FolderRow>& rows() const { return rows_; }
  // The row of the current folder.
  int current_row() const { return current_row_; }
  // Everything the current folder held when it was opened, files included.
  const std::vector<FolderEntry>& listing() const { return listing_; }

  std::function<void()> on_change;

 private:
  FolderSource& source_;
  std::string path_;
  std::vector<FolderRow> rows_;
  std::vector<FolderEntry> listing_;
  int current_row_ = -1;
};

// The file list `fi`.
class FileList {
 public:
  explicit FileList(FolderSource& source) : source_(source) {}

  const std::string& Path() const { return path_; }
  // Lists the files of `folder` that match the pattern, hidden and system files left out,
  // sorted ignoring case. When the folder cannot be listed the list is left empty (it never
  // shows another folder's files) and the error is returned.
  Status SetPath(const std::string& folder);
  // The same, from a listing of `folder` that the caller has just read.
  void SetPath(const std::string& folder, const std::vector<FolderEntry>& listing);

  const std::string& Pattern() const { return pattern_; }
  void SetPattern(const std::string& pattern) { pattern_ = pattern; }

  const std::vector<std::string>& items() const { return items_; }

 private:
  FolderSource& source_;
  std::string path_;
  std::string pattern_ = "*.EXE";
  std::vector<std::string> items_;
};

// The path box `te`. Program assignments are counted, so a view knows when to show the model's
// text over what the user typed.
class PathBox {
 public:
  const std::string& Text() const { return text_; }
  void SetText(const std::string& text) {
    text_ = text;
    ++assignments_;
  }
  // The user typed: the text changes, nothing else happens.
  void Type(const std::string& text) { text_ = text; }
  int assignments() const { return assignments_; }

 private:
  std::string text_;
  int assignments_ = 0;
};

}  // namespace qrv3
