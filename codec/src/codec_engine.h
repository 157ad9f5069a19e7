// CodecEngine: the file-to-file streaming engine around zlib. One engine serves one
// pass; the exported operations create it on the heap and destroy it before they return. Memory
// use does not depend on file size: the content streams through the two 4096-byte buffers.
#pragma once

#include <zlib.h>

#include <cstddef>
#include <cstdint>
#include <cstdio>

namespace complib {

class CodecEngine {
 public:
  static constexpr size_t kBufferSize = 4096;

  CodecEngine();
  ~CodecEngine();
  CodecEngine(const CodecEngine&) = delete;
  CodecEngine& operator=(const CodecEngine&) = delete;

  // Writes one complete zlib stream of `input`'s content to `output` (created or emptied). Returns
  // 0 or a negative zlib status. A level outside -1..9 returns Z_STREAM_ERROR before any file is
  // opened; an input that cannot be opened returns kErrOpenNomFile (and creates no output), an
  // output that cannot be opened kErrOpenFormatFile.
  int32_t compressFile(const char* input, const char* output, int level);

  // Decodes the zlib stream at the start of `input` into `output` (created or emptied); bytes
  // behind the stream's end are never decoded. Returns 0 or a negative zlib status; an input that
  // cannot be opened returns kErrOpenFormatFile, an output kErrOpenNomFile.
  int32_t expandFile(const char* input, const char* output);

  // After expandFile: the offset in the input at which the zlib stream ended, or -1 when it did not
  // end (the decode failed).
  int64_t streamEnd() const { return streamEnd_; }

 private:
  enum class Kind { Deflate, Inflate };
  int32_t run(Kind kind, const char* input, const char* output, int level);
  int code(Kind kind, int flush);

  void pumpMessages();
  size_t fillInput();
  size_t drainOutput();

  // The engine's state, in this order.
  z_stream stream_;
  std::FILE* input_ = nullptr;
  std::FILE* output_ = nullptr;
  int32_t status_ = 0;
  unsigned char inputBuffer_[kBufferSize];
  unsigned char outputBuffer_[kBufferSize];

  // Bookkeeping for the rules around the fields: a failed write is final, and the offset of the
  // stream's end locates a padded trailer (uLong total_in is 32 bits on Windows, so count here).
  bool writeFailed_ = false;
  uint64_t inputRead_ = 0;
  int64_t streamEnd_ = -1;
};

}  // namespace complib
