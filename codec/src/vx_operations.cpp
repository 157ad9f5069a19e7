#include "vx_operations.h"

#include <cerrno>
#include <memory>
#include <new>

#include "complib.h"
#include "os.h"

namespace complib {
namespace {

Outcome failed(int32_t status) {
  return Outcome{status, errno};
}

// Each pass runs on an engine of its own, created on the heap and destroyed before returning.
Outcome runCompress(const char* source, const char* destination, int level,
                    const PassOptions& options) {
  std::unique_ptr<CodecEngine> engine(new (std::nothrow)
                                          CodecEngine(options.bufferSize, options.hook));
  if (!engine) return Outcome{Z_MEM_ERROR, ENOMEM};
  const int32_t status = engine->compressFile(source, destination, level);
  return Outcome{status, engine->systemError()};
}

Outcome runExpand(const char* source, const char* destination, const PassOptions& options,
                  int64_t& streamEnd) {
  streamEnd = -1;
  std::unique_ptr<CodecEngine> engine(new (std::nothrow)
                                          CodecEngine(options.bufferSize, options.hook));
  if (!engine) return Outcome{Z_MEM_ERROR, ENOMEM};
  const int32_t status = engine->expandFile(source, destination);
  streamEnd = engine->streamEnd();
  return Outcome{status, engine->systemError()};
}

// Reads the size and the last bytes of a VX-format file. False when it cannot be opened, cannot be
// read or is shorter than a trailer.
bool readTail(const char* path, FileTail& tail) {
  os::File file(path, os::File::Access::Read);
  if (!file.isOpen() || !file.size(tail.size)) return false;
  if (tail.size < kTrailerSize) {
    errno = 0;  // readable, but not a VX-format file
    return false;
  }
  tail.length = tail.size < kTailSize ? static_cast<size_t>(tail.size) : kTailSize;
  return file.readAt(tail.size - tail.length, tail.bytes, tail.length);
}

}  // namespace

bool isSameFile(const char* a, const char* b) {
  return os::isSameFile(a, b);
}

Outcome compressToVX(const char* source, const char* destination, int level,
                     const PassOptions& options) {
  if (source == nullptr) return Outcome{kErrOpenNomFile, 0};
  if (destination == nullptr) return Outcome{kErrOpenFormatFile, 0};
  // Opening the destination "wb" would empty the source before it is read.
  if (os::isSameFile(source, destination)) return Outcome{kErrOpenFormatFile, 0};

  // Compress; on failure the destination keeps what was written and gets no trailer.
  const Outcome pass = runCompress(source, destination, level, options);
  if (pass.status != 0) return pass;

  // Reopen the destination to append the trailer.
  os::File vx(destination, os::File::Access::ReadWrite);
  if (!vx.isOpen()) return failed(kErrOpenFormatFile);

  // The source's times, read after the compression pass has read the file, unless given.
  FileTimes times;
  if (options.times != nullptr) {
    times = *options.times;
  } else {
    os::File normal(source, os::File::Access::Read);
    if (!normal.isOpen() || !normal.getTimes(times)) return failed(kErrOpenNomFile);
  }

  unsigned char trailer[kTrailerSize];
  encodeTrailer(times, trailer);
  return vx.append(trailer, kTrailerSize) ? Outcome{} : failed(Z_ERRNO);
}

Outcome expandFromVX(const char* source, const char* destination, const PassOptions& options) {
  if (source == nullptr) return Outcome{kErrOpenFormatFile, 0};
  if (destination == nullptr) return Outcome{kErrOpenNomFile, 0};

  // The trailer candidates. A source that is missing, unreadable or shorter than 24 bytes is not a
  // VX-format file: nothing is created.
  FileTail tail;
  if (!readTail(source, tail)) return failed(kErrOpenFormatFile);

  // Decode a private copy, so that the source is not read again (it may even be the destination).
  // The copy must be readable.
  char temp[os::kPathBufferSize];
  const char* decoded = source;
  if (options.copySource) {
    if (!os::makeTempCopy(source, temp)) return failed(kErrOpenFormatFile);
    os::File check(temp, os::File::Access::Read);
    if (!check.isOpen()) {
      const Outcome outcome = failed(kErrOpenFormatFile);
      os::deleteFile(temp);
      return outcome;
    }
    decoded = temp;
  }

  // Decode, then delete the copy whatever the outcome.
  int64_t streamEnd = -1;
  const Outcome pass = runExpand(decoded, destination, options, streamEnd);
  if (options.copySource) os::deleteFile(temp);

  // Stamp the destination with the recorded times, also after a failed decode. Which 24 bytes hold
  // them depends on where the stream ended (stored payloads are padded, see vx_format.h).
  os::File normal(destination, os::File::Access::Write);
  if (!normal.isOpen()) return failed(kErrOpenNomFile);
  // As with an unchecked SetFileTime, a refused time (a value the file system cannot hold) is not a
  // failure of the call: the content is what the caller asked for.
  normal.setTimes(locateTrailer(tail, streamEnd));
  return pass;
}

}  // namespace complib
