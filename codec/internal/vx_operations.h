// The codec's two operations, file to file, as the exported functions (complib.h) and vxtool run
// them. The exports fix the options (4096-byte pieces, window messages at every piece, a private
// copy of the container); vxtool chooses its own.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>

#include "codec_engine.h"
#include "vx_format.h"

namespace complib {

struct PassOptions {
  size_t bufferSize = CodecEngine::kLibraryBufferSize;
  PieceHook* hook = nullptr;
  // Decompress: decode a private copy of the container, so that the container is read only once
  // and may even be the destination. Without it the container itself is decoded, and the caller
  // makes sure it is not the destination.
  bool copySource = true;
  // Decompress: a destination that is there before the call keeps its content and times when the
  // decode fails (it is decoded into a temporary file first and then replaced in place). Off for a
  // caller whose destination is a new file of its own.
  bool keepDestinationOnFailure = true;
  // Compress: the times to record in the trailer instead of the source's own (which are read from
  // the open source, so that a pipe or /dev/stdin can be the source).
  const FileTimes* times = nullptr;
};

// A status (complib.h, or kErrCancelled) and, for a failed open, read or write, the system's code
// behind it (errno on Linux, GetLastError's on Windows; see systemErrorText) and whether it was the
// source's side (its open or a read of it) that failed.
struct Outcome {
  int32_t status = 0;
  int systemError = 0;
  bool inputFailed = false;
};

// Compresses `source` into the VX-format file `destination`. One file as both (by identity: any
// spelling, a symbolic or hard link) is refused with kErrOpenFormatFile and left untouched.
Outcome compressToVX(const char* source, const char* destination, int level,
                     const PassOptions& options);

// Decodes the VX-format file `source` into `destination` and gives it the recorded times. With
// keepDestinationOnFailure, a failed decode leaves a destination that was there as it was, content
// and times (the source itself too, with copySource); a new one holds what was decoded.
Outcome expandFromVX(const char* source, const char* destination, const PassOptions& options);

// Whether both paths name one existing file (see compressToVX).
bool isSameFile(const char* a, const char* b);

// The system's code for the failure of the file call just made (errno on Linux, GetLastError's on
// Windows), and the system's own one-line text for such a code or for Outcome::systemError.
int lastSystemError();
std::string systemErrorText(int code);

}  // namespace complib
