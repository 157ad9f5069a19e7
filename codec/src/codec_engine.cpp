#include "codec_engine.h"

#include <cassert>
#include <cerrno>
#include <cstring>
#include <new>

#include "complib.h"
#include "os.h"

namespace complib {

namespace {

// The buffered streams under the file passes get buffers of their own, so that a 4096-byte piece
// is not a system call of its own.
constexpr size_t kStreamBufferSize = 64 * 1024;

std::FILE* openBuffered(const char* path, const char* mode) {
  std::FILE* file = os::openStream(path, mode);
  if (file != nullptr) std::setvbuf(file, nullptr, _IOFBF, kStreamBufferSize);
  return file;
}

class FileReader : public ByteReader {
 public:
  explicit FileReader(std::FILE* file) : file_(file) {}
  size_t read(unsigned char* data, size_t length) override {
    const size_t got = std::fread(data, 1, length, file_);
    // The bytes of a piece that ended in an error are dropped with it: the pass fails anyway.
    return std::ferror(file_) ? kReadFailed : got;
  }

 private:
  std::FILE* file_;
};

class FileSink : public ByteSink {
 public:
  explicit FileSink(std::FILE* file) : file_(file) {}
  bool write(const unsigned char* data, size_t length) override {
    return std::fwrite(data, 1, length, file_) == length;
  }

 private:
  std::FILE* file_;
};

}  // namespace

CodecEngine::CodecEngine(size_t bufferSize, PieceHook* hook)
    : bufferSize_(bufferSize),
      inputBuffer_(new (std::nothrow) unsigned char[bufferSize]),
      outputBuffer_(new (std::nothrow) unsigned char[bufferSize]),
      hook_(hook) {
  std::memset(&stream_, 0, sizeof stream_);
}

CodecEngine::~CodecEngine() = default;

int32_t CodecEngine::compressFile(const char* input, const char* output, int level,
                                  FileTimes* inputTimes) {
  // zlib would refuse the level too, but only after the output had been created or emptied.
  if (level < Z_DEFAULT_COMPRESSION || level > Z_BEST_COMPRESSION) return Z_STREAM_ERROR;
  return runFiles(Kind::Deflate, input, output, level, inputTimes);
}

int32_t CodecEngine::expandFile(const char* input, const char* output) {
  return runFiles(Kind::Inflate, input, output, 0, nullptr);
}

int32_t CodecEngine::compress(ByteReader& input, ByteSink& output, int level) {
  if (level < Z_DEFAULT_COMPRESSION || level > Z_BEST_COMPRESSION) return Z_STREAM_ERROR;
  return run(Kind::Deflate, input, output, level);
}

int32_t CodecEngine::expand(ByteReader& input, ByteSink& output) {
  return run(Kind::Inflate, input, output, 0);
}

int32_t CodecEngine::runFiles(Kind kind, const char* input, const char* output, int level,
                              FileTimes* inputTimes) {
  systemError_ = 0;
  inputFailed_ = false;
  os::clearLastError();
  // Open the input "rb" and the output "wb". The input first, so that a missing input does not
  // empty the output.
  std::FILE* in = openBuffered(input, "rb");
  if (in == nullptr) {
    systemError_ = os::lastError();
    inputFailed_ = true;
    return kind == Kind::Deflate ? kErrOpenNomFile : kErrOpenFormatFile;
  }
  os::clearLastError();
  std::FILE* out = openBuffered(output, "wb");
  if (out == nullptr) {
    systemError_ = os::lastError();
    std::fclose(in);
    return kind == Kind::Deflate ? kErrOpenFormatFile : kErrOpenNomFile;
  }
  FileReader reader(in);
  FileSink sink(out);
  int32_t status = run(kind, reader, sink, level);
  // A close that cannot flush the stream's last bytes is a short write too.
  os::clearLastError();
  if (std::fclose(out) != 0 && status == Z_OK) {
    systemError_ = os::lastError();
    status = Z_ERRNO;
  }
  if (status == Z_OK && inputTimes != nullptr && !os::getStreamTimes(in, *inputTimes)) {
    systemError_ = os::lastError();
    inputFailed_ = true;
    status = kErrOpenNomFile;
  }
  std::fclose(in);
  return status;
}

int32_t CodecEngine::run(Kind kind, ByteReader& input, ByteSink& output, int level) {
  // Status 0, input buffer empty, the whole output buffer free.
  status_ = 0;
  readFailed_ = false;
  writeFailed_ = false;
  inputFailed_ = false;
  cancelled_ = false;
  inputRead_ = 0;
  inputConsumed_ = 0;
  outputWritten_ = 0;
  streamEnd_ = -1;
  adler32_ = 1;
  systemError_ = 0;
  if (!inputBuffer_ || !outputBuffer_) return Z_MEM_ERROR;
  input_ = &input;
  output_ = &output;
  std::memset(&stream_, 0, sizeof stream_);  // zalloc/zfree/opaque empty: zlib's own allocator
  stream_.next_in = inputBuffer_.get();
  stream_.avail_in = 0;
  stream_.next_out = outputBuffer_.get();
  stream_.avail_out = static_cast<uInt>(bufferSize_);

  // Window bits 15, memory level 8, default strategy (deflateInit's defaults); zlib header.
  status_ = kind == Kind::Deflate ? deflateInit(&stream_, level) : inflateInit(&stream_);
  if (status_ == Z_OK) {
    // Main loop.
    for (;;) {
      if (fillInput() == 0) break;
      status_ = code(kind, Z_NO_FLUSH);
      drainOutput();
      if (status_ != Z_OK) break;
    }
    // Finish loop: not after a failed read, which would close the stream over the part that was
    // read and make it look whole.
    while (!cancelled_ && !readFailed_) {
      status_ = code(kind, Z_FINISH);
      if (drainOutput() == 0) break;
      if (status_ != Z_OK) break;
    }
    adler32_ = static_cast<uint32_t>(stream_.adler);
    inputConsumed_ = inputRead_ - stream_.avail_in;
    if (kind == Kind::Deflate) {
      deflateEnd(&stream_);
    } else {
      inflateEnd(&stream_);
    }
  }

  // Stream end is success; a failed read or write is final, whatever zlib reported after it. A
  // stream that asks for a preset dictionary ends as Z_STREAM_ERROR (zlib 1.1.3 said so on the call
  // after Z_NEED_DICT; newer zlibs keep answering Z_NEED_DICT, which must not leave the engine).
  if (status_ == Z_STREAM_END) status_ = Z_OK;
  if (status_ == Z_NEED_DICT) status_ = Z_STREAM_ERROR;
  if (writeFailed_ || readFailed_) status_ = Z_ERRNO;
  if (cancelled_) status_ = kErrCancelled;
  input_ = nullptr;
  output_ = nullptr;
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

bool CodecEngine::piece() {
  if (hook_ != nullptr && !cancelled_ && !hook_->onPiece(inputRead_)) cancelled_ = true;
  return !cancelled_;
}

size_t CodecEngine::fillInput() {
  if (!piece()) return 0;
  if (stream_.avail_in == 0) {
    stream_.next_in = inputBuffer_.get();
    os::clearLastError();
    const size_t got = input_->read(inputBuffer_.get(), bufferSize_);
    if (got == ByteReader::kReadFailed) {
      systemError_ = os::lastError();
      inputFailed_ = true;
      readFailed_ = true;
      status_ = Z_ERRNO;
      stream_.avail_in = 0;
      return 0;
    }
    stream_.avail_in = static_cast<uInt>(got);
    inputRead_ += got;
  }
  return stream_.avail_in;
}

size_t CodecEngine::drainOutput() {
  if (!piece()) return 0;
  assert(stream_.avail_out <= bufferSize_);
  const size_t pending = bufferSize_ - stream_.avail_out;
  // After a failed write nothing more is written: the pass returns Z_ERRNO.
  if (pending == 0 || writeFailed_) return 0;
  os::clearLastError();
  if (!output_->write(outputBuffer_.get(), pending)) {
    systemError_ = os::lastError();
    status_ = Z_ERRNO;
    writeFailed_ = true;
    return 0;
  }
  outputWritten_ += pending;
  stream_.next_out = outputBuffer_.get();
  stream_.avail_out = static_cast<uInt>(bufferSize_);
  return pending;
}

}  // namespace complib
