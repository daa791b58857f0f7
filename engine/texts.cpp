#include "engine/texts.h"

namespace qrv3::texts {

std::string InstallationMessage(int step_counter) {
  std::string s;
  s += kInstallationSentence1;
  s += '\r';
  s += kInstallationSentence2;
  s += kErrorTag;
  s += std::to_string(step_counter);
  return s;
}

}  // namespace qrv3::texts
