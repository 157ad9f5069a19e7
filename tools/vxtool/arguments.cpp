#include "arguments.h"

#include <cerrno>
#include <cstdlib>
#include <cstring>

#include "file_time_text.h"

namespace vxtool {

namespace {

bool parseLevel(const char* text, int& level) {
  if (text == nullptr || *text == '\0') return false;
  char* end = nullptr;
  errno = 0;
  const long value = std::strtol(text, &end, 10);
  if (errno != 0 || *end != '\0' || value < -1 || value > 9) return false;
  level = static_cast<int>(value);
  return true;
}

// "C,A,W": creation, last-access and last-write time. On failure `problem` names the field.
bool parseTimes(const std::string& text, complib::FileTimes& times, std::string& problem) {
  static const char* const kFields[3] = {"creation", "last-access", "last-write"};
  uint64_t* const values[3] = {&times.creation, &times.lastAccess, &times.lastWrite};
  size_t start = 0;
  for (int field = 0; field < 3; ++field) {
    const size_t comma = text.find(',', start);
    if ((field < 2) != (comma != std::string::npos)) {
      problem = "--times needs three times C,A,W (creation, last access, last write)";
      return false;
    }
    const std::string item = text.substr(start, field < 2 ? comma - start : std::string::npos);
    std::string why;
    if (!parseFileTime(item, *values[field], why)) {
      problem = std::string("--times: the ") + kFields[field] + " time '" + item + "' " + why;
      return false;
    }
    start = comma + 1;
  }
  return true;
}

}  // namespace

bool parseArguments(const char* accepted, int argc, char** argv, Arguments& out,
                    std::string& problem) {
  auto takes = [&](char option) { return std::strchr(accepted, option) != nullptr; };
  bool operandsOnly = false;
  for (int i = 0; i < argc; ++i) {
    const std::string arg = argv[i];
    const bool isOption = !operandsOnly && arg.size() > 1 && arg[0] == '-';
    if (!isOption) {
      out.paths.push_back(argv[i]);
    } else if (arg == "--") {
      operandsOnly = true;
    } else if (takes('l') && (arg == "--level" || arg.compare(0, 2, "-l") == 0)) {
      const char* value = arg.size() > 2 && arg[1] == 'l' ? argv[i] + 2
                          : i + 1 < argc                  ? argv[++i]
                                                          : nullptr;
      if (!parseLevel(value, out.level)) {
        problem = "the level must be a number from -1 to 9";
        return false;
      }
    } else if (takes('f') && (arg == "-f" || arg == "--force")) {
      out.force = true;
    } else if (takes('q') && (arg == "-q" || arg == "--quiet")) {
      out.quiet = true;
    } else if (takes('t') && (arg == "--times" || arg.compare(0, 8, "--times=") == 0)) {
      const char* value = arg.size() > 7 ? argv[i] + 8 : i + 1 < argc ? argv[++i] : "";
      if (!parseTimes(value, out.times, problem)) return false;
      out.haveTimes = true;
    } else {
      problem = "unknown option " + arg;
      return false;
    }
  }
  return true;
}

}  // namespace vxtool
