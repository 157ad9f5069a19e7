#include "container_info.h"

#include <cstdio>
#include <cstring>

#include "complib.h"

namespace vxtool {

namespace {

class BufferSource : public ByteSource {
 public:
  BufferSource(const unsigned char* data, size_t size) : data_(data), size_(size) {}
  uint64_t size() const override { return size_; }
  size_t read(uint64_t offset, unsigned char* data, size_t length) override {
    if (offset >= size_) return 0;
    const size_t n = static_cast<size_t>(size_ - offset) < length ? size_ - offset : length;
    std::memcpy(data, data_ + offset, n);
    return n;
  }

 private:
  const unsigned char* data_;
  size_t size_;
};

int seekTo(std::FILE* file, uint64_t offset) {
#ifdef _WIN32
  return _fseeki64(file, static_cast<__int64>(offset), SEEK_SET);
#else
  return fseeko(file, static_cast<off_t>(offset), SEEK_SET);
#endif
}

class FileSource : public ByteSource {
 public:
  FileSource(std::FILE* file, uint64_t size) : file_(file), size_(size) {}
  uint64_t size() const override { return size_; }
  size_t read(uint64_t offset, unsigned char* data, size_t length) override {
    if (offset != position_ && seekTo(file_, offset) != 0) return kReadFailed;
    const size_t n = std::fread(data, 1, length, file_);
    if (std::ferror(file_)) {
      std::clearerr(file_);
      position_ = UINT64_MAX;  // unknown: seek before the next read
      return kReadFailed;
    }
    position_ = offset + n;
    return n;
  }

 private:
  std::FILE* file_;
  uint64_t size_;
  uint64_t position_ = 0;
};

void readHeader(ByteSource& source, ContainerInfo& info) {
  unsigned char header[2];
  if (source.read(0, header, 2) != 2) return;
  const bool valid = header[0] == 0x78 && (header[0] * 256 + header[1]) % 31 == 0;
  if (!valid) return;
  info.levelHint = header[1] >> 6;
  info.presetDictionary = (header[1] & 0x20) != 0;
}

// Reads a source from offset 0 onwards.
class SequentialReader : public complib::ByteReader {
 public:
  explicit SequentialReader(ByteSource& source) : source_(source) {}
  size_t read(unsigned char* data, size_t length) override {
    const size_t got = source_.read(offset_, data, length);
    if (got != kReadFailed) offset_ += got;
    return got;
  }

 private:
  ByteSource& source_;
  uint64_t offset_ = 0;
};

// Takes the decoded content and keeps nothing: the engine counts it and reports its Adler-32.
class DiscardingSink : public complib::ByteSink {
 public:
  bool write(const unsigned char*, size_t) override { return true; }
};

// Decodes from offset 0 with the library's engine, so that the status is the library's.
void decode(ByteSource& source, complib::PieceHook* hook, ContainerInfo& info) {
  complib::CodecEngine engine(kBufferSize, hook);
  SequentialReader reader(source);
  DiscardingSink sink;
  info.status = engine.expand(reader, sink);
  info.streamEnded = engine.streamEnd() >= 0;
  info.streamEnd =
      info.streamEnded ? static_cast<uint64_t>(engine.streamEnd()) : engine.inputConsumed();
  info.contentSize = engine.outputWritten();
  info.adler32 = engine.adler32();
  info.systemError = engine.systemError();
}

void findTrailer(ByteSource& source, ContainerInfo& info) {
  complib::FileTail tail;
  tail.size = info.fileSize;
  tail.length =
      tail.size < complib::kTailSize ? static_cast<size_t>(tail.size) : complib::kTailSize;
  if (source.read(tail.size - tail.length, tail.bytes, tail.length) != tail.length) return;
  const int64_t end = info.streamEnded ? static_cast<int64_t>(info.streamEnd) : -1;
  info.hasTrailer = true;
  info.trailerOffset = complib::trailerOffset(tail, end);
  info.times = complib::locateTrailer(tail, end);
  info.paddingAfterTrailer = info.fileSize - complib::kTrailerSize - info.trailerOffset;
  if (info.streamEnded && info.streamEnd <= info.trailerOffset) {
    info.bytesBeforeTrailer = info.trailerOffset - info.streamEnd;
  }
}

}  // namespace

ContainerInfo inspect(ByteSource& source, complib::PieceHook* hook) {
  ContainerInfo info;
  info.fileSize = source.size();
  readHeader(source, info);
  if (info.fileSize < complib::kTrailerSize) {
    info.status = complib::kErrOpenFormatFile;  // no trailer: not a VX-format file
    return info;
  }
  decode(source, hook, info);
  findTrailer(source, info);
  return info;
}

ContainerInfo inspectBuffer(const unsigned char* data, size_t size) {
  BufferSource source(data, data == nullptr ? 0 : size);
  return inspect(source);
}

bool inspectFile(const char* path, ContainerInfo& info, complib::PieceHook* hook) {
  std::FILE* file = std::fopen(path, "rb");
  if (file == nullptr) return false;
  bool ok = false;
#ifdef _WIN32
  ok = _fseeki64(file, 0, SEEK_END) == 0;
  const int64_t size = ok ? _ftelli64(file) : -1;
#else
  ok = fseeko(file, 0, SEEK_END) == 0;
  const int64_t size = ok ? static_cast<int64_t>(ftello(file)) : -1;
#endif
  if (size >= 0 && seekTo(file, 0) == 0) {
    FileSource source(file, static_cast<uint64_t>(size));
    info = inspect(source, hook);
    ok = true;
  } else {
    ok = false;
  }
  std::fclose(file);
  return ok;
}

const char* levelHintText(int levelHint) {
  switch (levelHint) {
    case 0:
      return "fastest compression (levels 0-1)";
    case 1:
      return "fast compression (levels 2-5)";
    case 2:
      return "default compression (level 6)";
    case 3:
      return "maximum compression (levels 7-9)";
    default:
      return "none (no valid zlib header)";
  }
}

}  // namespace vxtool
