// The result of a file service: ok, or a kind of failure with a message for logs and tests.
// The update run never shows these messages to the user (every rebuild failure is reported
// with the one installation message); they exist so that tests and the console can tell why.
#pragma once

#include <string>
#include <utility>

namespace qrv3 {

class Status {
 public:
  enum class Code {
    kOk,
    kNotFound,       // the file or one of its folders does not exist
    kAccessDenied,   // permissions, a read-only file, or a file that is a folder
    kInUse,          // another program holds the file without the sharing we need
    kNotReady,       // a drive without a medium, an unreachable network share
    kInvalidPath,    // the name cannot be a path at all
    kShortFile,      // the file ends before the bytes that were asked for
    kIoError,        // anything else the platform reports
    kBusy,           // another update run holds this installation; nothing was changed
    kAmbiguous,      // a name matches two or more entries that differ only in letter case
    kChanged,        // a file changed between its check and its replacement
    kNoMemory,       // memory for the new database could not be had
    kExists,         // a file that must be new is already there
    kMismatch,       // the data pieces make another database than the release's own
    kNotRelease,     // an updated-looking database that is not the one the release makes
  };

  Status() = default;
  static Status Ok() { return Status(); }
  static Status Error(Code code, std::string message) { return Status(code, std::move(message)); }

  bool ok() const { return code_ == Code::kOk; }
  Code code() const { return code_; }
  const std::string& message() const { return message_; }
  std::string ToString() const;

 private:
  Status(Code code, std::string message) : code_(code), message_(std::move(message)) {}
  Code code_ = Code::kOk;
  std::string message_;
};

const char* CodeName(Status::Code code);

}  // namespace qrv3
