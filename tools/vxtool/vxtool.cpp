// vxtool: packs files into VX containers, unpacks them, and shows or checks what a container holds.
// Packing and unpacking are the codec library's own operations (Comp2VXFormatFile,
// DecompVXFormat2NomFile); `info` and `verify` read a container the way the library does
// (container_info.h).
#include <cerrno>
#include <cinttypes>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include "complib.h"
#include "container_info.h"

namespace {

// Exit codes (also in the help text).
constexpr int kExitOk = 0;
constexpr int kExitBadData = 1;  // the container is not valid, or the codec reported a data error
constexpr int kExitUsage = 2;    // the command line is wrong
constexpr int kExitFile = 3;     // a file cannot be opened, read or written

const char kHelp[] =
    "Usage:\n"
    "  vxtool pack [-l LEVEL] [-f] [-q] [--times C,A,W] IN OUT\n"
    "                                  compress the file IN into the VX container OUT\n"
    "                                  (LEVEL: 0 store ... 9 smallest, -1 zlib's default 6;\n"
    "                                  default 9, as the setup's payloads). --times records\n"
    "                                  the given creation, last-access and last-write times\n"
    "                                  instead of IN's: each a UTC date-time\n"
    "                                  YYYY-MM-DDTHH:MM:SS[.fffffff]Z or a decimal FILETIME\n"
    "  vxtool unpack [-f] [-q] IN OUT  decode the VX container IN into OUT and give OUT the\n"
    "                                  trailer's file times\n"
    "  vxtool info FILE                show a container: size, body length up to the stream's "
    "end,\n"
    "                                  level hint, trailer times (UTC), bytes between stream and\n"
    "                                  trailer\n"
    "  vxtool verify [-q] FILE         decode FILE to nowhere and check its Adler-32\n"
    "  vxtool --help                   show this text\n"
    "\n"
    "A VX container is one zlib stream followed by a 24-byte trailer holding the creation,\n"
    "last-access and last-write times of the packed file (Windows FILETIME values).\n"
    "\n"
    "Exit codes:\n"
    "  0  success\n"
    "  1  the container is not valid (corrupt, truncated, not a VX container), or the codec\n"
    "     reported a data error\n"
    "  2  usage error (unknown command, wrong arguments, level outside -1..9)\n"
    "  3  a file cannot be opened, read or written\n";

int usage(const char* problem) {
  std::fprintf(stderr, "vxtool: %s\nTry 'vxtool --help'.\n", problem);
  return kExitUsage;
}

// One line naming a status of the codec library, for example "corrupt compressed data (-3)".
std::string statusText(int32_t status) {
  char text[160];
  switch (status) {
    case 0:
      return "success (0)";
    case complib::kErrOpenFormatFile:
      return "cannot open the VX-format file, or it is shorter than 24 bytes (0x80000001)";
    case complib::kErrOpenNomFile:
      return "cannot open the normal file (0x80000002)";
    case -1:
      return "write error: fewer bytes were stored than asked (-1)";
    case -2:
      return "unusable stream, preset dictionary or level (-2)";
    case -3:
      return "corrupt compressed data (-3)";
    case -4:
      return "out of memory (-4)";
    case -5:
      return "compressed data ends too early (-5)";
    default:
      std::snprintf(text, sizeof text, "unexpected status (%" PRId32 ")", status);
      return text;
  }
}

int exitCodeFor(int32_t status) {
  if (status == 0) return kExitOk;
  if (status == complib::kErrOpenFormatFile || status == complib::kErrOpenNomFile || status == -1) {
    return kExitFile;
  }
  return kExitBadData;
}

int fail(const char* command, const std::string& what, int32_t status) {
  std::fprintf(stderr, "vxtool: %s: %s: %s\n", command, what.c_str(), statusText(status).c_str());
  return exitCodeFor(status);
}

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
    if (!vxtool::parseFileTime(item, *values[field], why)) {
      problem = std::string("--times: the ") + kFields[field] + " time '" + item + "' " + why;
      return false;
    }
    start = comma + 1;
  }
  return true;
}

// The options and operands of one command.
struct Arguments {
  int level = 9;
  bool force = false;
  bool quiet = false;
  bool haveTimes = false;
  complib::FileTimes times;
  std::vector<const char*> paths;
};

// Reads the arguments of `command`, which takes the options named in `accepted` ('l' level, 'f'
// force, 'q' quiet, 't' times). Returns kExitOk, or kExitUsage after printing the problem.
int parseArguments(const char* command, const char* accepted, int argc, char** argv,
                   Arguments& out) {
  auto takes = [&](char option) { return std::strchr(accepted, option) != nullptr; };
  auto refuse = [&](const std::string& problem) {
    return usage((std::string(command) + ": " + problem).c_str());
  };
  bool operandsOnly = false;
  for (int i = 0; i < argc; ++i) {
    const std::string arg = argv[i];
    const bool isOption = !operandsOnly && arg.size() > 1 && arg[0] == '-';
    if (!isOption) {
      out.paths.push_back(argv[i]);
    } else if (arg == "--") {
      operandsOnly = true;
    } else if (takes('l') && (arg == "-l" || arg == "--level" || arg.compare(0, 2, "-l") == 0)) {
      const char* value = arg.size() > 2 && arg[1] == 'l' ? argv[i] + 2
                          : i + 1 < argc                  ? argv[++i]
                                                          : nullptr;
      if (!parseLevel(value, out.level)) return refuse("the level must be a number from -1 to 9");
    } else if (takes('f') && (arg == "-f" || arg == "--force")) {
      out.force = true;
    } else if (takes('q') && (arg == "-q" || arg == "--quiet")) {
      out.quiet = true;
    } else if (takes('t') && (arg == "--times" || arg.compare(0, 8, "--times=") == 0)) {
      const char* value = arg.size() > 7 ? argv[i] + 8 : i + 1 < argc ? argv[++i] : "";
      std::string problem;
      if (!parseTimes(value, out.times, problem)) return refuse(problem);
      out.haveTimes = true;
    } else {
      return refuse("unknown option " + arg);
    }
  }
  return kExitOk;
}

// Replaces the trailer of the container at `path` (its last 24 bytes) with `times`.
bool stampTrailer(const char* path, const complib::FileTimes& times) {
  std::FILE* file = std::fopen(path, "r+b");
  if (file == nullptr) return false;
  unsigned char trailer[complib::kTrailerSize];
  complib::encodeTrailer(times, trailer);
  const bool ok = std::fseek(file, -static_cast<long>(complib::kTrailerSize), SEEK_END) == 0 &&
                  std::fwrite(trailer, 1, sizeof trailer, file) == sizeof trailer;
  return std::fclose(file) == 0 && ok;
}

int pack(int argc, char** argv) {
  Arguments args;
  if (parseArguments("pack", "lfqt", argc, argv, args) != kExitOk) return kExitUsage;
  if (args.paths.size() != 2) return usage("pack needs IN and OUT");
  const char* in = args.paths[0];
  const char* out = args.paths[1];
  const int32_t status = Comp2VXFormatFile(in, out, args.level);
  if (status != 0) return fail("pack", std::string(in) + " -> " + out, status);
  if (args.haveTimes && !stampTrailer(out, args.times)) {
    std::fprintf(stderr, "vxtool: pack: %s: cannot write the trailer (%s)\n", out,
                 std::strerror(errno));
    return kExitFile;
  }
  return kExitOk;
}

int unpack(int argc, char** argv) {
  Arguments args;
  if (parseArguments("unpack", "fq", argc, argv, args) != kExitOk) return kExitUsage;
  if (args.paths.size() != 2) return usage("unpack needs IN and OUT");
  const char* in = args.paths[0];
  const char* out = args.paths[1];
  const int32_t status = DecompVXFormat2NomFile(in, out);
  if (status != 0) return fail("unpack", std::string(in) + " -> " + out, status);
  return kExitOk;
}

// Reads FILE for info/verify; prints the error and returns false when it cannot be read.
bool load(const char* command, const char* path, vxtool::ContainerInfo& info, int& exitCode) {
  if (!vxtool::inspectFile(path, info)) {
    std::fprintf(stderr, "vxtool: %s: %s: cannot open the file (%s)\n", command, path,
                 std::strerror(errno));
    exitCode = kExitFile;
    return false;
  }
  return true;
}

int info(int argc, char** argv) {
  if (argc != 1) return usage("info needs one FILE");
  vxtool::ContainerInfo c;
  int exitCode = kExitOk;
  if (!load("info", argv[0], c, exitCode)) return exitCode;

  std::printf("file:                   %s\n", argv[0]);
  std::printf("size:                   %" PRIu64 " bytes\n", c.fileSize);
  std::printf("level hint:             ");
  if (c.levelHint >= 0) {
    std::printf("%d, %s%s\n", c.levelHint, vxtool::levelHintText(c.levelHint),
                c.presetDictionary ? ", asks for a preset dictionary" : "");
  } else {
    std::printf("%s\n", vxtool::levelHintText(c.levelHint));
  }
  if (c.fileSize < complib::kTrailerSize) {
    std::fprintf(stderr, "vxtool: info: %s: not a VX container: shorter than the 24-byte trailer\n",
                 argv[0]);
    return kExitBadData;
  }
  if (c.streamEnded) {
    std::printf("body:                   %" PRIu64 " bytes up to the stream's end\n", c.streamEnd);
    std::printf("content:                %" PRIu64 " bytes, Adler-32 0x%08" PRIx32 "\n",
                c.contentSize, c.adler32);
    std::printf("between stream/trailer: %" PRIu64 " bytes\n", c.bytesBeforeTrailer);
  } else {
    std::printf("body:                   no complete stream (decoding stopped after %" PRIu64
                " bytes, %" PRIu64 " bytes decoded)\n",
                c.streamEnd, c.contentSize);
  }
  std::printf("trailer:                at offset %" PRIu64, c.trailerOffset);
  if (c.paddingAfterTrailer > 0) {
    std::printf(", followed by %" PRIu64 " zero byte(s) of padding", c.paddingAfterTrailer);
  }
  std::printf("\n");
  std::printf("creation time:          %s\n", vxtool::formatFileTime(c.times.creation).c_str());
  std::printf("last-access time:       %s\n", vxtool::formatFileTime(c.times.lastAccess).c_str());
  std::printf("last-write time:        %s\n", vxtool::formatFileTime(c.times.lastWrite).c_str());
  if (c.status != 0) return fail("info", argv[0], c.status);
  return kExitOk;
}

int verify(int argc, char** argv) {
  Arguments args;
  if (parseArguments("verify", "q", argc, argv, args) != kExitOk) return kExitUsage;
  if (args.paths.size() != 1) return usage("verify needs one FILE");
  const char* path = args.paths[0];
  vxtool::ContainerInfo c;
  int exitCode = kExitOk;
  if (!load("verify", path, c, exitCode)) return exitCode;
  if (c.fileSize < complib::kTrailerSize) {
    std::fprintf(
        stderr, "vxtool: verify: %s: not a VX container: shorter than the 24-byte trailer\n", path);
    return kExitBadData;
  }
  if (c.status != 0) return fail("verify", path, c.status);
  std::printf("%s: OK, %" PRIu64 " bytes of content, Adler-32 0x%08" PRIx32 "\n", path,
              c.contentSize, c.adler32);
  return kExitOk;
}

}  // namespace

int main(int argc, char** argv) {
  if (argc < 2) {
    std::fputs(kHelp, stderr);
    return kExitUsage;
  }
  const std::string command = argv[1];
  if (command == "--help" || command == "-h" || command == "help") {
    std::fputs(kHelp, stdout);
    return kExitOk;
  }
  int rest = argc - 2;
  char** args = argv + 2;
  if (command == "pack") return pack(rest, args);
  if (command == "unpack") return unpack(rest, args);
  if (command == "info") return info(rest, args);
  if (command == "verify") return verify(rest, args);
  return usage(("unknown command '" + command + "'").c_str());
}
