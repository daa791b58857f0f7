// The file services the update engine needs, behind one narrow interface, so that the engine is
// the same code on Windows and POSIX and tests can inject a failure at any call.
//
// Paths are UTF-8 text formed the product's way: a folder text and a relative name joined with
// no separator added, "\" between components. Names resolve without regard to letter case, as
// on the product's file system: the Windows implementation gets that from the system; the POSIX
// one turns "\" into "/" and takes, for each component that does not exist as written, the one
// entry of its folder that equals it ignoring ASCII letter case: two or more are ambiguous
// (kAmbiguous). Only "no such entry" counts as absent: any other failure of a lookup is reported
// as that failure.
//
// Every method is one call of the platform as far as failure goes: it either does all it says
// or reports why not, and none of them throws.
#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "base/status.h"

namespace qrv3 {

// A file's last-modification time in local time, to the second.
struct FileStamp {
  int year = 0, month = 0, day = 0, hour = 0, minute = 0, second = 0;
  friend bool operator==(const FileStamp&, const FileStamp&) = default;
};

// "yyyy/mm/dd hh:mm:ss", every field zero-padded.
std::string FormatStamp(const FileStamp& stamp);

// What an open file is.
struct EntryInfo {
  bool read_only = false;  // the read-only attribute (POSIX: no write permission bit)
  uint64_t size = 0;
  FileStamp stamp;  // last write, local time
  // The file itself, whatever its names: two files are one exactly when both are equal.
  uint64_t volume = 0, index = 0;
};

// What a file carries besides its bytes and times, as the platform keeps it: on Windows its
// attributes and DACL, on POSIX its permission bits, owner and group. Read from one file and given
// to another of the same Env; the engine only passes it on.
struct FileMetadata {
  std::vector<uint8_t> bytes;
};

// A plain file open for reading: opened once, never through a link, and never a folder, device
// or FIFO. Whatever is done to its name afterwards, it reads the file that was opened.
class ReadableFile {
 public:
  virtual ~ReadableFile() = default;
  virtual Status Info(EntryInfo* info) = 0;
  // Reads exactly n bytes starting at the 0-based byte `offset` into dst; a file that ends
  // before offset + n gives kShortFile.
  virtual Status ReadAt(uint64_t offset, size_t n, uint8_t* dst) = 0;
  virtual Status GetMetadata(FileMetadata* metadata) = 0;
};

// A new file in a Folder, created under a name of its own and written before it takes the place
// of another entry. Destroying it removes what is still under its own name: the file itself
// before a ReplaceInto(), afterwards only an entry still there (ignoring errors).
class NewFile {
 public:
  virtual ~NewFile() = default;
  // Writes all n bytes at the end of what was written so far.
  virtual Status Append(const uint8_t* data, size_t n) = 0;
  // Returns once everything appended is on the disk, not only in the system's cache.
  virtual Status Sync() = 0;
  // Gives the file what another file carries besides its bytes, as the system's own replace
  // would: on Windows the DACL as it stands and the attributes other than read-only, on POSIX the
  // permission bits and, for root, the owner and group. Never more access than the model gives.
  virtual Status SetMetadata(const FileMetadata& model) = 0;
  // Renames the open file over the entry `name` of its folder, in one step that either happens
  // whole or not at all, without looking its own name up again. Another program holding `name`
  // open makes it fail (kInUse or kAccessDenied), with nothing changed. What it reports is the
  // system's word only: a failure may come after the rename took place, and where another
  // program can rename what lies under the file's own name, a success may have moved another
  // file. IsEntry tells which; Folder::Sync makes it last.
  virtual Status ReplaceInto(const std::string& name) = 0;
  // Whether the entry `name` of the folder is this very file, as the disk has it now; a missing
  // entry, or a link, is not. Only asks.
  virtual Status IsEntry(const std::string& name, bool* same) = 0;
  // Deletes the file through its own handle (POSIX: by its name in the folder) and closes it.
  virtual Status Discard() = 0;
};

// Held while it exists; see Folder::Lock.
class FolderLock {
 public:
  virtual ~FolderLock() = default;
};

// A folder opened once, its entries named by their own names (no separators) and never reached
// through a link: the folder cannot be swapped for another while it is open.
class Folder {
 public:
  virtual ~Folder() = default;
  // An exclusive lock between processes, tied to the entry `name`: kBusy while another holds it.
  // A lock file the lock creates is removed when the lock goes (or its process ends).
  virtual Status Lock(const std::string& name, std::unique_ptr<FolderLock>* lock) = 0;
  // The names of the folder's entries, "." and ".." left out, in no particular order.
  virtual Status List(std::vector<std::string>* names) = 0;
  // Opens the entry `name` as a ReadableFile: a link there, a folder, a device or a FIFO is refused
  // (kAccessDenied) and never opened. A file that another program holds without sharing reading,
  // or that may not be read, still opens for its Info and GetMetadata; its ReadAt then fails.
  virtual Status OpenFile(const std::string& name, std::unique_ptr<ReadableFile>* file) = 0;
  // Creates the entry `name` as a new, empty, plain file that nothing else has open: kExists when
  // anything, a link included, is there already.
  virtual Status CreateNew(const std::string& name, std::unique_ptr<NewFile>* file) = 0;
  // Removes the entry `name` when it is a file or a link (the link itself, never what it points
  // to); a folder is not removed.
  virtual Status Remove(const std::string& name) = 0;
  // Returns once the folder's entries as they stand, a rename into it included, are on the disk
  // and would survive a power cut. A file system that cannot be asked to (FAT, a share) refuses.
  virtual Status Sync() = 0;
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

  // Opens the file `path` as a ReadableFile. A link in the place of its last component, a folder, a
  // device or a FIFO is refused (kAccessDenied) and never opened.
  virtual Status OpenFile(const std::string& path, std::unique_ptr<ReadableFile>* file) = 0;

  // Opens the folder `path` for the work of a Folder. A link or reparse point in its place is
  // refused (kAccessDenied): the folder is the installation's own or nothing.
  virtual Status OpenFolder(const std::string& path, std::unique_ptr<Folder>* folder) = 0;

  virtual void SleepForMilliseconds(int ms) = 0;
};

// The folder that holds the running program, without a trailing separator: a program in the
// root of drive C gives "C:" (and on POSIX one in "/" gives ""), so that joining it with a name
// that begins with "\" puts exactly one separator between them.
std::string UpdaterFolder();

}  // namespace qrv3
