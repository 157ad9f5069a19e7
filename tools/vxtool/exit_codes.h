// vxtool's exit codes: the one table of them, which the help text is written from.
#pragma once

#include <string>

namespace vxtool {

constexpr int kExitOk = 0;
constexpr int kExitBadData = 1;  // the input is no valid container, or a data error of the codec
constexpr int kExitUsage = 2;    // the command line is wrong
constexpr int kExitFile = 3;     // a file cannot be opened, read or written

struct ExitCodeMeaning {
  int code;
  const char* meaning;  // one line per "\n"
};

inline constexpr ExitCodeMeaning kExitCodes[] = {
    {kExitOk, "success"},
    {kExitBadData,
     "the container is not valid (corrupt, truncated, shorter than its trailer), or the codec\n"
     "reported a data error"},
    {kExitUsage,
     "usage error (unknown command, wrong arguments, level outside -1..9, bad --times)"},
    {kExitFile, "a file cannot be opened, read or written, OUT exists without -f, or IN is OUT"},
};

// The "Exit codes:" section of the help text, from kExitCodes.
std::string exitCodesHelp();

}  // namespace vxtool
