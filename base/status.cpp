#include "base/status.h"

namespace qrv3 {

const char* CodeName(Status::Code code) {
  switch (code) {
    case Status::Code::kOk: return "ok";
    case Status::Code::kNotFound: return "not found";
    case Status::Code::kAccessDenied: return "access denied";
    case Status::Code::kInUse: return "in use";
    case Status::Code::kNotReady: return "not ready";
    case Status::Code::kInvalidPath: return "invalid path";
    case Status::Code::kShortFile: return "file too short";
    case Status::Code::kIoError: return "I/O error";
    case Status::Code::kBusy: return "another update is running on this installation";
    case Status::Code::kAmbiguous: return "ambiguous name";
    case Status::Code::kChanged: return "changed since it was checked";
    case Status::Code::kNoMemory: return "out of memory";
    case Status::Code::kExists: return "already exists";
    case Status::Code::kMismatch: return "the data pieces do not hold the expected database";
    case Status::Code::kNotRelease: return "the installed database is not the release's";
  }
  return "?";
}

std::string Status::ToString() const {
  if (ok()) return "ok";
  std::string s = CodeName(code_);
  if (!message_.empty()) s += ": " + message_;
  return s;
}

}  // namespace qrv3
