#include "exit_codes.h"

namespace vxtool {

std::string exitCodesHelp() {
  std::string text = "Exit codes:\n";
  for (const ExitCodeMeaning& entry : kExitCodes) {
    text += "  " + std::to_string(entry.code) + "  ";
    for (const char* c = entry.meaning; *c != '\0'; ++c) {
      text += *c;
      if (*c == '\n') text += "     ";  // continuation lines under the first one's text
    }
    text += '\n';
  }
  return text;
}

}  // namespace vxtool
