#include "codec_engine.h"

#include <cassert>
#include <cstring>

#include "complib.h"
#include "os.h"

namespace complib {

namespace {

// The engine keeps its two 4096-byte buffers as specified; the buffered streams underneath get
// larger buffers of their own so that each 4096-byte piece is not a system call of its own.
constexpr size_t kStreamBufferSize = 64 * 1024;

std::FILE* openBuffered(const char* path, const char* mode) {
  std::FILE* file = os::openStream(path, mode);
  if (file != nullptr) std::setvbuf(file, nullptr, _IOFBF, kStreamBufferSize);
  return file;
}

}  // namespace

CodecEngine::CodecEngine() {
  std::memset(&stream_, 0, sizeof stream_);
}

CodecEngine::~CodecEngine() {
  if (input_ != nullptr) std::fclose(input_);
  if (output_ != nullptr) std::fclose(output_);
}

int32_t CodecEngine::compressFile(const char* input, const char* output, int level) {
  // zlib would refuse the level too, but only after the output had been created or emptied.
  if (level < Z_DEFAULT_COMPRESSION || level > Z_BEST_COMPRESSION) return Z_STREAM_ERROR;
  return run(Kind::Deflate, input, output, level);
}

int32_t CodecEngine::expandFile(const char* input, const char* output) {
  return run(Kind::Inflate, input, output, 0);
}

int32_t CodecEngine::run(Kind kind, const char* input, const char* output, int level) {
  // 1. Status 0, input buffer empty, the whole output buffer free.
  status_ = 0;
  writeFailed_ = false;
  inputRead_ = 0;
  streamEnd_ = -1;
  std::memset(&stream_, 0, sizeof stream_);  // zalloc/zfree/opaque empty: zlib's own allocator
  stream_.next_in = inputBuffer_;
  stream_.avail_in = 0;
  stream_.next_out = outputBuffer_;
  stream_.avail_out = kBufferSize;

  // 2. Open the input "rb" and the output "wb". The input first, so that a missing input does not
  // empty the output.
  input_ = openBuffered(input, "rb");
  if (input_ == nullptr) return kind == Kind::Deflate ? kErrOpenNomFile : kErrOpenFormatFile;
  output_ = openBuffered(output, "wb");
  if (output_ == nullptr) {
    std::fclose(input_);
    input_ = nullptr;
    return kind == Kind::Deflate ? kErrOpenFormatFile : kErrOpenNomFile;
  }

  // 3. Window bits 15, memory level 8, default strategy (deflateInit's defaults); zlib header.
  status_ = kind == Kind::Deflate ? deflateInit(&stream_, level) : inflateInit(&stream_);
  if (status_ == Z_OK) {
    // 4. Main loop.
    for (;;) {
      if (fillInput() == 0) break;
      status_ = code(kind, Z_NO_FLUSH);
      drainOutput();
      if (status_ != Z_OK) break;
    }
    // 5. Finish loop.
    for (;;) {
      status_ = code(kind, Z_FINISH);
      if (drainOutput() == 0) break;
      if (status_ != Z_OK) break;
    }
    // 6. End the (de)compressor.
    if (kind == Kind::Deflate) {
      deflateEnd(&stream_);
    } else {
      inflateEnd(&stream_);
    }
  }

  // 7. Stream end is success; a failed write is final, whatever zlib reported after it. A stream
  // that asks for a preset dictionary ends as Z_STREAM_ERROR (zlib 1.1.3 said so on the call after
  // Z_NEED_DICT; newer zlibs keep answering Z_NEED_DICT, which must not leave the engine).
  if (status_ == Z_STREAM_END) status_ = Z_OK;
  if (status_ == Z_NEED_DICT) status_ = Z_STREAM_ERROR;
  if (writeFailed_) status_ = Z_ERRNO;

  // 8. Close both files. A close that cannot flush the stream's last bytes is a short write too.
  if (std::fclose(output_) != 0 && status_ == Z_OK) status_ = Z_ERRNO;
  output_ = nullptr;
  std::fclose(input_);
  input_ = nullptr;
  return status_;
}

int CodecEngine::code(Kind kind, int flush) {
  if (kind == Kind::Deflate) return deflate(&stream_, flush);
  const int result = inflate(&stream_, flush);
  if (result == Z_STREAM_END && streamEnd_ < 0) {
    streamEnd_ = static_cast<int64_t>(inputRead_ - stream_.avail_in);
  }
  return result;
}

void CodecEngine::pumpMessages() {
  os::pumpMessages();
}

size_t CodecEngine::fillInput() {
  pumpMessages();
  if (stream_.avail_in == 0) {
    stream_.next_in = inputBuffer_;
    // End of file and a read error alike end the input.
    const size_t got = std::fread(inputBuffer_, 1, kBufferSize, input_);
    stream_.avail_in = static_cast<uInt>(got);
    inputRead_ += got;
  }
  return stream_.avail_in;
}

size_t CodecEngine::drainOutput() {
  pumpMessages();
  assert(stream_.avail_out <= kBufferSize);
  const size_t pending = kBufferSize - stream_.avail_out;
  // After a failed write nothing more is written: the pass returns Z_ERRNO.
  if (pending == 0 || writeFailed_) return 0;
  if (std::fwrite(outputBuffer_, 1, pending, output_) < pending) {
    status_ = Z_ERRNO;
    writeFailed_ = true;
    return 0;
  }
  stream_.next_out = outputBuffer_;
  stream_.avail_out = kBufferSize;
  return pending;
}

}  // namespace complib
