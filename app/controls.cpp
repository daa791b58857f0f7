#include "app/controls.h"

#include <algorithm>


namespace qrv3 {
namespace {

bool IsLetter(char c) { return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z'); }

bool IsDriveDesignation(const std::string& s) {
  return s.size() >= 2 && IsLetter(s[0]) && s[1] == ':' && (s.size() == 2 || s[2] == ' ');
}
bool IsUnc(const std::string& p) {
  return p.size() >= 2 && IsPathSeparator(p[0]) && IsPathSeparator(p[1]);
}
bool IsAbsolute(const std::string& p) {
  return IsUnc(p) || (p.size() >= 3 && IsLetter(p[0]) && p[1] == ':' && IsPathSeparator(p[2]));
}

std::string Join(const std::string& folder, const std::string& name) {
  if (!folder.empty() && IsPathSeparator(folder.back())) return folder + name;
  return folder + "\\" + name;
}

// A relative path is taken from the current folder, "\dir" from the current folder's root.
std::string Absolute(const std::string& current, const std::string& path) {
  if (IsAbsolute(path)) return path;
  if (!path.empty() && IsPathSeparator(path[0]) && current.find(':') == 1) {
    return current.substr(0, 2) + path;
  }
  return Join(current, path);
}

// Length of the root part of a full path: "c:\" or "\\server\share".
size_t RootLength(const std::string& p) {
  if (!IsUnc(p)) return std::min<size_t>(3, p.size());
  size_t server_end = p.find_first_of("\\/", 2);
  if (server_end == std::string::npos) return p.size();
  size_t share_end = p.find_first_of("\\/", server_end + 1);
  return share_end == std::string::npos ? p.size() : share_end;
}

bool ByNameIgnoringCase(const std::string& a, const std::string& b) {
  const int c = CompareIgnoringCase(a, b);
  return c != 0 ? c < 0 : a < b;
}
bool PointedByNameIgnoringCase(const std::string* a, const std::string* b) {
  return ByNameIgnoringCase(*a, *b);
}

}  // namespace

namespace {
// Bytes of the character at `i`: a UTF-8 lead byte and the continuation bytes it announces, when
// they all follow; any other byte by itself. A POSIX name in another encoding ("caf\xE9.EXE" in
// Latin-1) has lead bytes that announce more than follows: taken whole, they would swallow the
// name's next characters, and the name could match no pattern.
size_t CharacterLength(const std::string& s, size_t i) {
  const auto b = static_cast<unsigned char>(s[i]);
  const size_t n = (b & 0xE0) == 0xC0 ? 2 : (b & 0xF0) == 0xE0 ? 3 : (b & 0xF8) == 0xF0 ? 4 : 1;
  for (size_t k = 1; k < n; ++k) {
    if (i + k >= s.size() || (static_cast<unsigned char>(s[i + k]) & 0xC0) != 0x80) return 1;
  }
  return n;
}
}  // namespace

bool MatchesPattern(const std::string& name, const std::string& pattern) {
  // Greedy match with backtracking to the last "*": linear in practice, no recursion, no
  // allocation. "?" takes one whole character.
  const size_t kNone = std::string::npos;
  size_t n = 0, p = 0, star = kNone, resume = 0;
  while (n < name.size()) {
    if (p < pattern.size() && pattern[p] == '?') {
      n += CharacterLength(name, n);
      ++p;
    } else if (p < pattern.size() && pattern[p] != '*' && FoldAscii(pattern[p]) == FoldAscii(name[n])) {
      ++n, ++p;
    } else if (p < pattern.size() && pattern[p] == '*') {
      star = p++;
      resume = n;
    } else if (star != kNone) {
      p = star + 1;
      resume += CharacterLength(name, resume);
      n = resume;
    } else {
      return false;
    }
  }
  while (p < pattern.size() && pattern[p] == '*') ++p;
  return p == pattern.size() && n == name.size();
}

// ---- DriveList ----

DriveList::DriveList(FolderSource& source)
    : source_(source), letters_(source.Drives()), texts_(letters_.size()) {
  // Start on the drive of the current folder, as the system's own lists do.
  const std::string cwd = source_.CurrentFolder();
  const char letter = cwd.find(':') == 1 ? FoldAscii(cwd[0]) : '\0';
  const auto at = std::find(letters_.begin(), letters_.end(), letter);
  if (!letters_.empty()) selected_ = at == letters_.end() ? 0 : static_cast<int>(at - letters_.begin());
}

const std::string& DriveList::ItemText(int index) {
  std::string& text = texts_[index];
  if (text.empty()) {
    text = std::string{letters_[index], ':'};
    const std::string note = source_.DriveNote(letters_[index]);
    if (!note.empty()) text += " " + note;
  }
  return text;
}

std::string DriveList::Drive() { return selected_ < 0 ? std::string() : ItemText(selected_); }

Status DriveList::SetDrive(const std::string& designation) {
  const char letter = designation.empty() ? '\0' : FoldAscii(designation[0]);
  const auto it = std::find(letters_.begin(), letters_.end(), letter);
  if (it == letters_.end()) {
    return Status::Error(Status::Code::kNotFound, "no drive " + designation);
  }
  const int index = static_cast<int>(it - letters_.begin());
  if (index == selected_) return Status::Ok();
  selected_ = index;
  if (on_change) on_change();
  return Status::Ok();
}

// ---- FolderList ----

FolderList::FolderList(FolderSource& source) : source_(source) {
  // Start in the current folder, quietly: nothing is listening yet.
  SetPath(source_.CurrentFolder());
}

Status FolderList::SetPath(const std::string& path_or_drive) {
  std::string wanted;
  if (IsDriveDesignation(path_or_drive)) {
    Status s = source_.DriveCurrentFolder(FoldAscii(path_or_drive[0]), &wanted);
    if (!s.ok()) return s;
  } else {
    wanted = Absolute(path_, path_or_drive);
  }
  std::string folder;
  Status s = source_.OpenFolder(wanted, &folder);
  if (!s.ok()) return s;
  // The folder the list holds, typed in another letter case, is no change: its rows keep the
  // spelling of its path.
  if (CompareIgnoringCase(folder, path_) == 0) folder = path_;
  std::vector<FolderEntry> entries;
  s = source_.ListFolder(folder, &entries);
  if (!s.ok()) return s;

  std::vector<FolderRow> rows;
  const size_t root_len = RootLength(folder);
  std::string at = folder.substr(0, root_len);
  rows.push_back({at, at, 0, true});
  for (size_t i = root_len; i < folder.size();) {
    while (IsPathSeparator(folder[i])) ++i;  // the string ends in a '\0', no separator
    const size_t end = std::min(folder.find_first_of("\\/", i), folder.size());
    if (end > i) {
      const std::string name = folder.substr(i, end - i);
      at = Join(at, name);
      rows.push_back({name, at, static_cast<int>(rows.size()), true});
    }
    i = end;
  }
  const int current = static_cast<int>(rows.size()) - 1;
  // Sorted through pointers: a folder may hold tens of thousands of entries.
  std::vector<const std::string*> subfolders;
  for (const FolderEntry& e : entries) {
    if (e.folder && !e.hidden) subfolders.push_back(&e.name);
  }
  std::sort(subfolders.begin(), subfolders.end(), PointedByNameIgnoringCase);
  rows.reserve(rows.size() + subfolders.size());
  for (const std::string* name : subfolders) {
    rows.push_back({*name, Join(folder, *name), current + 1, false});
  }

  const bool changed = CompareIgnoringCase(folder, path_) != 0;
  if (changed) path_ = folder;
  rows_ = std::move(rows);
  listing_ = std::move(entries);
  current_row_ = current;
  if (changed && on_change) on_change();
  return Status::Ok();
}

Status FolderList::Open(int index) {
  if (index < 0 || index >= static_cast<int>(rows_.size())) {
    return Status::Error(Status::Code::kNotFound, "no such row");
  }
  const std::string path = rows_[index].path;  // the rows change under SetPath
  return SetPath(path);
}

// ---- FileList ----

Status FileList::SetPath(const std::string& folder) {
  std::vector<FolderEntry> entries;
  Status s = source_.ListFolder(folder, &entries);
  if (!s.ok()) {
    path_ = folder;
    items_.clear();
    return s;
  }
  SetPath(folder, entries);
  return Status::Ok();
}

void FileList::SetPath(const std::string& folder, const std::vector<FolderEntry>& entries) {
  path_ = folder;
  std::vector<const std::string*> names;
  for (const FolderEntry& e : entries) {
    if (!e.folder && !e.hidden && MatchesPattern(e.name, pattern_)) names.push_back(&e.name);
  }
  std::sort(names.begin(), names.end(), PointedByNameIgnoringCase);
  items_.clear();
  items_.reserve(names.size());
  for (const std::string* name : names) items_.push_back(*name);
}

}  // namespace qrv3
