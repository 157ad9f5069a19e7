// CodecEngine: the streaming engine around zlib. One engine serves one pass: it reads its input in
// pieces of its buffer size, hands them to zlib, and writes zlib's output in pieces of the same
// size. Memory use does not depend on the size of what passes through.
//
// The exported operations run it with 4096-byte pieces and dispatch window messages at every piece
// (a fixed part of the library's contract); vxtool runs it with larger pieces and shows progress at
// every piece. Both go through the same two loops.
#pragma once

#include <zlib.h>

#include <cstddef>
#include <cstdint>
#include <memory>

#include "vx_format.h"

namespace complib {

// A pass stopped by its hook (never returned by the exported operations, whose hook never stops).
constexpr int32_t kErrCancelled = static_cast<int32_t>(0x80000003u);

// Where a pass reads from: up to `length` bytes in order. Returns how many were read, 0 at the end
// of the input, or kReadFailed when the read failed (with the system's error code set). A failed
// read is not an end: the pass stops with Z_ERRNO, so that content cut short is never taken for the
// whole.
class ByteReader {
 public:
  static constexpr size_t kReadFailed = static_cast<size_t>(-1);
  virtual ~ByteReader() = default;
  virtual size_t read(unsigned char* data, size_t length) = 0;
};

// Where a pass writes to: false when fewer than `length` bytes were stored.
class ByteSink {
 public:
  virtual ~ByteSink() = default;
  virtual bool write(const unsigned char* data, size_t length) = 0;
};

// Runs before every piece is read and every piece is written, the finish loop included.
class PieceHook {
 public:
  virtual ~PieceHook() = default;
  // `inputRead`: bytes taken from the input so far. False stops the pass with kErrCancelled.
  virtual bool onPiece(uint64_t inputRead) = 0;
};

class CodecEngine {
 public:
  // The exported operations' piece size.
  static constexpr size_t kLibraryBufferSize = 4096;

  // `hook` may be null; it must outlive the engine's passes.
  explicit CodecEngine(size_t bufferSize = kLibraryBufferSize, PieceHook* hook = nullptr);
  ~CodecEngine();
  CodecEngine(const CodecEngine&) = delete;
  CodecEngine& operator=(const CodecEngine&) = delete;

  // Writes one complete zlib stream of `input`'s content to `output` (created or emptied). Returns
  // 0 or a negative zlib status; after a failed read of the input, Z_ERRNO and an output that
  // holds no finished stream. `inputTimes` (may be null) receives the input's times, read from the
  // open input once the pass has read all of it; kErrOpenNomFile when they cannot be read. A level
  // outside -1..9 returns Z_STREAM_ERROR before any file is opened; an input that cannot be opened
  // returns kErrOpenNomFile (and creates no output), an output that cannot be opened
  // kErrOpenFormatFile.
  int32_t compressFile(const char* input, const char* output, int level,
                       FileTimes* inputTimes = nullptr);

  // Decodes the zlib stream at the start of `input` into `output` (created or emptied); bytes
  // behind the stream's end are never decoded. Returns 0 or a negative zlib status; an input that
  // cannot be opened returns kErrOpenFormatFile, an output kErrOpenNomFile.
  int32_t expandFile(const char* input, const char* output);

  // The same passes between a reader and a sink, which the caller opens and closes.
  int32_t compress(ByteReader& input, ByteSink& output, int level);
  int32_t expand(ByteReader& input, ByteSink& output);

  // After a pass: the offset in the input at which the zlib stream ended, or -1 when it did not
  // end (the decode failed); the bytes read and written (64-bit counts: zlib's uLong totals are
  // 32 bits wide on Windows and on 32-bit Linux); the Adler-32 of the uncompressed side so far.
  int64_t streamEnd() const { return streamEnd_; }
  uint64_t inputRead() const { return inputRead_; }
  // Bytes of the input that zlib took (the rest of the last piece was not needed).
  uint64_t inputConsumed() const { return inputConsumed_; }
  uint64_t outputWritten() const { return outputWritten_; }
  uint32_t adler32() const { return adler32_; }
  // The system's code (os.h: errno on Linux, GetLastError's on Windows) of the failed open, read
  // or write behind a status; 0 when there was none.
  int systemError() const { return systemError_; }
  // Whether the failure behind systemError() was on the input's side (its open or a read) rather
  // than on the output's.
  bool inputFailed() const { return inputFailed_; }

 private:
  enum class Kind { Deflate, Inflate };
  int32_t runFiles(Kind kind, const char* input, const char* output, int level,
                   FileTimes* inputTimes);
  int32_t run(Kind kind, ByteReader& input, ByteSink& output, int level);
  int code(Kind kind, int flush);

  bool piece();
  size_t fillInput();
  size_t drainOutput();

  // The engine's state, in this order: zlib's stream, the input and output, the status, the two
  // buffers.
  z_stream stream_;
  ByteReader* input_ = nullptr;
  ByteSink* output_ = nullptr;
  int32_t status_ = 0;
  const size_t bufferSize_;
  std::unique_ptr<unsigned char[]> inputBuffer_;
  std::unique_ptr<unsigned char[]> outputBuffer_;

  // Bookkeeping for the rules around the fields: a failed read or write is final, a hook can stop
  // the pass, and the offset of the stream's end locates a padded trailer.
  PieceHook* hook_;
  bool readFailed_ = false;
  bool writeFailed_ = false;
  bool inputFailed_ = false;
  bool cancelled_ = false;
  uint64_t inputRead_ = 0;
  uint64_t inputConsumed_ = 0;
  uint64_t outputWritten_ = 0;
  int64_t streamEnd_ = -1;
  uint32_t adler32_ = 1;
  int systemError_ = 0;
};

}  // namespace complib
