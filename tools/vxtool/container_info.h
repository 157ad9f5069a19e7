// What vxtool's `info` and `verify` report about a VX-format file, computed the way the codec
// library reads one: the library's engine decodes the whole file (zlib header, window bits 15) to
// nowhere, stopping at the stream's end, and the trailer is found by the library's rule
// (vx_format.h). Safe on any input: a fuzzer may call inspectBuffer directly.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>

#include "codec_engine.h"
#include "file_time_text.h"
#include "vx_format.h"

namespace vxtool {

// vxtool's piece size: large pieces let zlib decode matches from its output buffer rather than
// from its window, which makes decoding markedly faster than with the library's 4096 bytes.
constexpr size_t kBufferSize = 256 * 1024;

struct ContainerInfo {
  uint64_t fileSize = 0;
  // 0 when the body is one complete zlib stream whose Adler-32 matches; otherwise the status the
  // library would return (zlib's negative codes; kErrOpenFormatFile for a file under 24 bytes;
  // Z_ERRNO when a read of the file failed, with the system's code in systemError).
  int32_t status = 0;
  int systemError = 0;

  // Level hint of the zlib header (FLEVEL, 0..3), or -1 when the file does not start with a valid
  // zlib header (method 8, window 32 KiB, header check).
  int levelHint = -1;
  bool presetDictionary = false;  // the header asks for one (FDICT)

  // Decoding: where the stream ended (the body's length) when it did, else the bytes consumed up
  // to the failure. contentSize counts the bytes decoded either way.
  bool streamEnded = false;
  uint64_t streamEnd = 0;
  uint64_t contentSize = 0;
  uint32_t adler32 = 0;  // of the decoded content

  // The trailer (when fileSize >= 24): its offset, its times, the bytes between the stream's end
  // and the trailer, and the zero bytes behind it (a padded stored payload).
  bool hasTrailer = false;
  uint64_t trailerOffset = 0;
  complib::FileTimes times;
  uint64_t bytesBeforeTrailer = 0;
  uint64_t paddingAfterTrailer = 0;
};

// Random access to the bytes of a container.
class ByteSource {
 public:
  static constexpr size_t kReadFailed = complib::ByteReader::kReadFailed;
  virtual ~ByteSource() = default;
  virtual uint64_t size() const = 0;
  // Reads up to `length` bytes at `offset`; returns how many were read, 0 at the end, or
  // kReadFailed when the read failed.
  virtual size_t read(uint64_t offset, unsigned char* data, size_t length) = 0;
};

// `hook` (may be null) runs at every piece of the decode.
ContainerInfo inspect(ByteSource& source, complib::PieceHook* hook = nullptr);
ContainerInfo inspectBuffer(const unsigned char* data, size_t size);
// False when the file cannot be opened or its size cannot be read (complib::lastSystemError()
// says why).
bool inspectFile(const char* path, ContainerInfo& info, complib::PieceHook* hook = nullptr);

// What a level hint means: "maximum compression (levels 7-9)".
const char* levelHintText(int levelHint);

}  // namespace vxtool
