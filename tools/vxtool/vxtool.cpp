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
    "  vxtool pack [-l LEVEL] IN OUT   compress the file IN into the VX container OUT\n"
    "                                  (LEVEL: 0 store ... 9 smallest, -1 zlib's default 6;\n"
    "                                  default 9, as the setup's payloads)\n"
    "  vxtool unpack IN OUT            decode the VX container IN into OUT and give OUT the\n"
    "                                  trailer's file times\n"
    "  vxtool info FILE                show a container: size, body length up to the stream's "
    "end,\n"
    "                                  level hint, trailer times (UTC), bytes between stream and\n"
    "                                  trailer\n"
    "  vxtool verify FILE              decode FILE to nowhere and check its Adler-32\n"
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

int pack(int argc, char** argv) {
  int level = 9;
  const char* paths[2] = {nullptr, nullptr};
  int count = 0;
  for (int i = 0; i < argc; ++i) {
    const char* arg = argv[i];
    if (std::strcmp(arg, "-l") == 0 || std::strcmp(arg, "--level") == 0) {
      if (i + 1 >= argc || !parseLevel(argv[i + 1], level)) {
        return usage("pack: the level must be a number from -1 to 9");
      }
      ++i;
    } else if (std::strncmp(arg, "-l", 2) == 0 && arg[2] != '\0') {
      if (!parseLevel(arg + 2, level))
        return usage("pack: the level must be a number from -1 to 9");
    } else if (arg[0] == '-' && arg[1] != '\0' && std::strcmp(arg, "--") != 0) {
      return usage((std::string("pack: unknown option ") + arg).c_str());
    } else if (std::strcmp(arg, "--") == 0) {
      for (++i; i < argc && count < 3; ++i) {
        if (count < 2) paths[count] = argv[i];
        ++count;
      }
      break;
    } else {
      if (count < 2) paths[count] = arg;
      ++count;
    }
  }
  if (count != 2) return usage("pack needs IN and OUT");
  const int32_t status = Comp2VXFormatFile(paths[0], paths[1], level);
  if (status != 0) return fail("pack", std::string(paths[0]) + " -> " + paths[1], status);
  return kExitOk;
}

int unpack(int argc, char** argv) {
  if (argc != 2) return usage("unpack needs IN and OUT");
  const int32_t status = DecompVXFormat2NomFile(argv[0], argv[1]);
  if (status != 0) return fail("unpack", std::string(argv[0]) + " -> " + argv[1], status);
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
  if (argc != 1) return usage("verify needs one FILE");
  vxtool::ContainerInfo c;
  int exitCode = kExitOk;
  if (!load("verify", argv[0], c, exitCode)) return exitCode;
  if (c.fileSize < complib::kTrailerSize) {
    std::fprintf(stderr,
                 "vxtool: verify: %s: not a VX container: shorter than the 24-byte trailer\n",
                 argv[0]);
    return kExitBadData;
  }
  if (c.status != 0) return fail("verify", argv[0], c.status);
  std::printf("%s: OK, %" PRIu64 " bytes of content, Adler-32 0x%08" PRIx32 "\n", argv[0],
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
