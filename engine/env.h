// The file services the update engine needs, behind one narrow interface, so that the engine is
// the same code on Windows and POSIX and tests can inject a failure at any call.
//
// Paths are UTF-8 text formed the product's way: a folder text and a relative name joined with
// no separator added, "\" between components. Names resolve without regard to letter case, as
// on the product's file system: the Windows implementation gets that from the system; the POSIX
// one turns "\" into "/" and, for each component that does not exist as written, takes the
// entry of its folder that matches it ignoring ASCII letter case.
//
// Every method is one call of the platform as far as failure goes: it either does all it says
// or reports why not, and none of them throws.
#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>

#include "engine/status.h"

namespace qrv3 {

// A file's last-modification time in local time, to the second.
struct FileStamp {
  int year = 0, month = 0, day = 0, hour = 0, minute = 0, second = 0;
  friend bool operator==(const FileStamp&, const FileStamp&) = default;
};

// "yyyy/mm/dd hh:mm:ss", every field zero-padded.
std::string FormatStamp(const FileStamp& stamp);

// A file being written. Destroying it closes it if Close() was not called (ignoring errors), so
// an abandoned file can always be removed afterwards.
class WritableFile {
 public:
  virtual ~WritableFile() = default;
  // Writes all n bytes at the end of what was written so far.
  virtual Status Append(const uint8_t* data, size_t n) = 0;
  // Returns once everything appended is on the disk, not only in the system's cache.
  virtual Status Sync() = 0;
  virtual Status Close() = 0;
};

class Env {
 public:
  virtual ~Env() = default;

  // The platform's process-wide implementation.
  static Env* Default();

  // True when the attributes of `path` can be queried: a file or a folder. Never fails
  // otherwise: a missing file, an invalid name or an unready drive all give false.
  virtual bool FileExists(const std::string& path) = 0;

  // The length of a file in bytes. A folder is not a file: kAccessDenied.
  virtual Status GetFileSize(const std::string& path, uint64_t* size) = 0;

  // The last-write time of a file converted to local time, with the rules of the time zone
  // that applied on that date.
  virtual Status GetFileStamp(const std::string& path, FileStamp* stamp) = 0;

  // Whether a file carries the read-only attribute (POSIX: no write permission bit set). A
  // missing file is not read-only.
  virtual Status IsReadOnly(const std::string& path, bool* read_only) = 0;

  // Reads exactly n bytes starting at the 0-based byte `offset` into dst; a file that ends
  // before offset + n gives kShortFile.
  virtual Status ReadFileAt(const std::string& path, uint64_t offset, size_t n, uint8_t* dst) = 0;

  // Creates `path`, or truncates it when it exists, for writing from its first byte.
  virtual Status NewWritableFile(const std::string& path, std::unique_ptr<WritableFile>* file) = 0;

  // Puts the closed file `from` in the place of `to` in one step that either happens whole or
  // not at all, and returns once the change is on the disk. `to` need not exist; when it does
  // and another program holds it open, or it is read-only on Windows, this fails and nothing
  // changes. Both must be in the same folder.
  virtual Status ReplaceFile(const std::string& from, const std::string& to) = 0;

  virtual Status RemoveFile(const std::string& path) = 0;
};

// The folder that holds the running program, without a trailing separator: a program in the
// root of drive C gives "C:" (and on POSIX one in "/" gives ""), so that joining it with a name
// that begins with "\" puts exactly one separator between them.
std::string UpdaterFolder();

}  // namespace qrv3
