// vxtool's command lines: the options and operands of one command.
#pragma once

#include <string>
#include <vector>

#include "vx_format.h"

namespace vxtool {

struct Arguments {
  int level = 9;
  bool force = false;
  bool quiet = false;
  bool haveTimes = false;
  complib::FileTimes times;
  std::vector<const char*> paths;
};

// Reads the arguments of a command that takes the options named in `accepted`: 'l' -l LEVEL,
// 'f' -f/--force, 'q' -q/--quiet, 't' --times C,A,W. After "--" everything is an operand. False
// with `problem` set when an option is unknown or its value is bad.
bool parseArguments(const char* accepted, int argc, char** argv, Arguments& out,
                    std::string& problem);

}  // namespace vxtool
