// vxtool: packs files into VX containers, unpacks them, and shows or checks what a container holds.
// Packing and unpacking are the codec library's own operations (vx_operations.h) with larger
// pieces, progress and an output that appears only when complete (output_file.h); `info` and
// `verify` decode with the library's engine (container_info.h).
#include <cinttypes>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>

#include "arguments.h"
#include "complib.h"
#include "container_info.h"
#include "exit_codes.h"
#include "output_file.h"
#include "progress.h"
#include "vx_operations.h"

namespace {

using vxtool::kExitBadData;
using vxtool::kExitFile;
using vxtool::kExitOk;
using vxtool::kExitUsage;

// Followed by the exit codes (exit_codes.h).
const char kHelp[] =
    "Usage:\n"
    "  vxtool pack [-l LEVEL] [-f] [-q] [--times C,A,W] IN OUT\n"
    "      compress the file IN into the VX container OUT. LEVEL: 0 store ... 9 smallest,\n"
    "      -1 zlib's default 6; default 9, as the setup's payloads. --times records the given\n"
    "      creation, last-access and last-write times instead of IN's: each a UTC date-time\n"
    "      YYYY-MM-DDTHH:MM:SS[.fffffff]Z or a decimal FILETIME\n"
    "  vxtool unpack [-f] [-q] IN OUT\n"
    "      decode the VX container IN into OUT and give OUT the trailer's file times\n"
    "  vxtool info FILE\n"
    "      show a container: size, body length up to the stream's end, content size and\n"
    "      Adler-32, level hint, trailer times (UTC), bytes between stream and trailer\n"
    "  vxtool verify [-q] FILE\n"
    "      decode FILE to nowhere and check its Adler-32\n"
    "  vxtool --help\n"
    "      show this text\n"
    "  vxtool --version\n"
    "      show vxtool's version\n"
    "\n"
    "  -f, --force  replace an existing OUT, also one that appears while vxtool runs (never IN\n"
    "               itself, however it is named)\n"
    "  -q, --quiet  no progress line (shown on a terminal for inputs above 64 MiB)\n"
    "IN may be a pipe or /dev/stdin. OUT appears only when the whole operation succeeded; after a\n"
    "failure (a failed read of IN included), an interrupt or a file-size limit it is as it was.\n"
    "\n"
    "A VX container is one zlib stream followed by a 24-byte trailer holding the creation,\n"
    "last-access and last-write times of the packed file (Windows FILETIME values).\n"
    "\n";

std::string help() {
  return kHelp + vxtool::exitCodesHelp();
}

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
      return "cannot open the VX-format file (0x80000001)";
    case complib::kErrOpenNomFile:
      return "cannot open the normal file (0x80000002)";
    case -1:
      return "a read or write failed (-1)";
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

std::string hex(int32_t status) {
  char text[16];
  std::snprintf(text, sizeof text, "0x%08" PRIX32, static_cast<uint32_t>(status));
  return text;
}

// "cannot read in.txt: No such file or directory (0x80000002)": what failed, on which file, the
// system's reason, and the status.
int failOn(const char* command, const char* action, const char* path, const complib::Outcome& o) {
  const std::string reason =
      o.systemError != 0 ? complib::systemErrorText(o.systemError) : "reason unknown";
  std::fprintf(stderr, "vxtool: %s: cannot %s %s: %s (%s)\n", command, action, path, reason.c_str(),
               (o.status == Z_ERRNO ? std::to_string(o.status) : hex(o.status)).c_str());
  return exitCodeFor(o.status);
}

int interrupted(const char* command) {
  std::fprintf(stderr, "vxtool: %s: interrupted; nothing was written\n", command);
  return vxtool::kExitInterrupted;
}

// The checks before pack or unpack writes OUT: OUT is replaced only when asked, and never when it
// is IN itself (by identity: another spelling or a link of IN counts).
bool mayWrite(const char* command, const char* in, const char* out, bool force, int& exitCode) {
  exitCode = kExitFile;
  if (complib::isSameFile(in, out)) {
    std::fprintf(stderr, "vxtool: %s: %s and %s are the same file; refused, also with -f\n",
                 command, in, out);
    return false;
  }
  if (!force && vxtool::pathExists(out)) {
    std::fprintf(stderr, "vxtool: %s: %s exists; use -f to replace it\n", command, out);
    return false;
  }
  return true;
}

// Puts `temp` in OUT's place. Without -f, an OUT that another process created during the run is
// kept: the checks before the run cannot see it.
int commit(const char* command, const char* out, bool force, vxtool::OutputFile& output) {
  if (output.commit(force)) return kExitOk;
  if (!force && vxtool::pathExists(out)) {
    std::fprintf(stderr,
                 "vxtool: %s: %s appeared during the run and is kept; use -f to replace it\n",
                 command, out);
  } else {
    std::fprintf(stderr, "vxtool: %s: cannot %s %s: %s\n", command, force ? "replace" : "create",
                 out, complib::systemErrorText(output.error()).c_str());
  }
  return kExitFile;
}

// pack and unpack: reads the arguments, checks that OUT may be written, runs
// `pass(args, in, temp, options)` into a temporary file beside OUT at vxtool's piece size with
// progress, and puts it in OUT's place when it succeeded; `explain(outcome, in, out)` reports a
// failed outcome and gives the exit code.
template <typename Pass, typename Explain>
int writeCommand(const char* command, const char* accepted, int argc, char** argv, Pass pass,
                 Explain explain) {
  vxtool::Arguments args;
  std::string problem;
  if (!vxtool::parseArguments(accepted, argc, argv, args, problem)) {
    return usage((std::string(command) + ": " + problem).c_str());
  }
  if (args.paths.size() != 2) return usage((std::string(command) + " needs IN and OUT").c_str());
  const char* in = args.paths[0];
  const char* out = args.paths[1];
  int exitCode = kExitOk;
  if (!mayWrite(command, in, out, args.force, exitCode)) return exitCode;

  vxtool::OutputFile output(out);
  if (!output.isOpen()) {
    std::fprintf(stderr, "vxtool: %s: cannot create a file beside %s: %s\n", command, out,
                 complib::systemErrorText(output.error()).c_str());
    return kExitFile;
  }
  vxtool::Progress progress(command, vxtool::fileSizeOf(in), args.quiet);
  complib::PassOptions options;
  options.bufferSize = vxtool::kBufferSize;
  options.hook = &progress;
  const complib::Outcome o = pass(args, in, output.tempPath().c_str(), options);
  if (o.status == complib::kErrCancelled) return interrupted(command);
  if (o.status != 0) return explain(o, in, out);
  return commit(command, out, args.force, output);
}

int pack(int argc, char** argv) {
  auto pass = [](const vxtool::Arguments& args, const char* in, const char* temp,
                 complib::PassOptions& options) {
    options.times = args.haveTimes ? &args.times : nullptr;
    return complib::compressToVX(in, temp, args.level, options);
  };
  auto explain = [](const complib::Outcome& o, const char* in, const char* out) {
    if (o.status == complib::kErrOpenNomFile || (o.status == Z_ERRNO && o.inputFailed)) {
      return failOn("pack", "read", in, o);
    }
    if (o.status == complib::kErrOpenFormatFile || o.status == Z_ERRNO) {
      return failOn("pack", "write", out, o);
    }
    return fail("pack", std::string(in) + " -> " + out, o.status);
  };
  return writeCommand("pack", "lfqt", argc, argv, pass, explain);
}

int unpack(int argc, char** argv) {
  auto pass = [](const vxtool::Arguments&, const char* in, const char* temp,
                 complib::PassOptions& options) {
    options.copySource = false;                // IN is not the output: writeCommand made sure
    options.keepDestinationOnFailure = false;  // the output is vxtool's own new file
    return complib::expandFromVX(in, temp, options);
  };
  auto explain = [](const complib::Outcome& o, const char* in, const char* out) {
    if (o.status == complib::kErrOpenFormatFile && o.systemError == 0) {
      std::fprintf(stderr, "vxtool: unpack: %s: not a VX container: shorter than 24 bytes (%s)\n",
                   in, hex(o.status).c_str());
      return kExitBadData;
    }
    if (o.status == complib::kErrOpenFormatFile || (o.status == Z_ERRNO && o.inputFailed)) {
      return failOn("unpack", "read", in, o);
    }
    if (o.status == complib::kErrOpenNomFile || o.status == Z_ERRNO) {
      return failOn("unpack", "write", out, o);
    }
    return fail("unpack", in, o.status);
  };
  return writeCommand("unpack", "fq", argc, argv, pass, explain);
}

// Reads FILE for info/verify; prints the error and returns false when it cannot be read.
bool load(const char* command, const char* path, complib::PieceHook* hook,
          vxtool::ContainerInfo& info, int& exitCode) {
  if (!vxtool::inspectFile(path, info, hook)) {
    std::fprintf(stderr, "vxtool: %s: cannot open the file %s: %s\n", command, path,
                 complib::systemErrorText(complib::lastSystemError()).c_str());
    exitCode = kExitFile;
    return false;
  }
  if (info.status == complib::kErrCancelled) {
    exitCode = interrupted(command);
    return false;
  }
  if (info.status == Z_ERRNO) {
    complib::Outcome o;
    o.status = info.status;
    o.systemError = info.systemError;
    exitCode = failOn(command, "read", path, o);
    return false;
  }
  return true;
}

int info(int argc, char** argv) {
  if (argc != 1) return usage("info needs one FILE");
  vxtool::ContainerInfo c;
  int exitCode = kExitOk;
  if (!load("info", argv[0], nullptr, c, exitCode)) return exitCode;

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
  vxtool::Arguments args;
  std::string problem;
  if (!vxtool::parseArguments("q", argc, argv, args, problem)) {
    return usage(("verify: " + problem).c_str());
  }
  if (args.paths.size() != 1) return usage("verify needs one FILE");
  const char* path = args.paths[0];
  vxtool::ContainerInfo c;
  int exitCode = kExitOk;
  vxtool::Progress progress("verify", vxtool::fileSizeOf(path), args.quiet);
  if (!load("verify", path, &progress, c, exitCode)) return exitCode;
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
    std::fputs(help().c_str(), stderr);
    return kExitUsage;
  }
  const std::string command = argv[1];
  if (command == "--help" || command == "-h" || command == "help") {
    std::fputs(help().c_str(), stdout);
    return kExitOk;
  }
  if (command == "--version") {
    std::printf("vxtool %s\n", VXTOOL_VERSION);
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
