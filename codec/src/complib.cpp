// The two exported operations, written once for every OS against os.h.
#include "complib.h"

#include <memory>
#include <new>

#include "codec_engine.h"
#include "os.h"
#include "vx_format.h"

namespace complib {
namespace {

// Each pass runs on an engine of its own, created on the heap and destroyed before returning.
int32_t runCompress(const char* source, const char* destination, int level) {
  std::unique_ptr<CodecEngine> engine(new (std::nothrow) CodecEngine);
  if (!engine) return Z_MEM_ERROR;
  return engine->compressFile(source, destination, level);
}

int32_t runExpand(const char* source, const char* destination, int64_t& streamEnd) {
  streamEnd = -1;
  std::unique_ptr<CodecEngine> engine(new (std::nothrow) CodecEngine);
  if (!engine) return Z_MEM_ERROR;
  const int32_t status = engine->expandFile(source, destination);
  streamEnd = engine->streamEnd();
  return status;
}

// Reads the size and the last bytes of a VX-format file. False when it cannot be opened, cannot be
// read or is shorter than a trailer.
bool readTail(const char* path, FileTail& tail) {
  os::File file(path, os::File::Access::Read);
  if (!file.isOpen() || !file.size(tail.size) || tail.size < kTrailerSize) return false;
  tail.length = tail.size < kTailSize ? static_cast<size_t>(tail.size) : kTailSize;
  return file.readAt(tail.size - tail.length, tail.bytes, tail.length);
}

int32_t compressToVX(const char* source, const char* destination, int32_t level) {
  if (source == nullptr) return kErrOpenNomFile;
  if (destination == nullptr) return kErrOpenFormatFile;

  // 1-2. Compress; on failure the destination keeps what was written and gets no trailer.
  const int32_t status = runCompress(source, destination, level);
  if (status != 0) return status;

  // 3. Reopen the destination to append the trailer.
  os::File vx(destination, os::File::Access::ReadWrite);
  if (!vx.isOpen()) return kErrOpenFormatFile;

  // 4-5. The source's times, read after the compression pass has read the file.
  FileTimes times;
  {
    os::File normal(source, os::File::Access::Read);
    if (!normal.isOpen() || !normal.getTimes(times)) return kErrOpenNomFile;
  }

  // 6. Append the trailer.
  unsigned char trailer[kTrailerSize];
  encodeTrailer(times, trailer);
  return vx.append(trailer, kTrailerSize) ? 0 : Z_ERRNO;
}

int32_t expandFromVX(const char* source, const char* destination) {
  if (source == nullptr) return kErrOpenFormatFile;
  if (destination == nullptr) return kErrOpenNomFile;

  // 1-2. The trailer candidates. A source that is missing, unreadable or shorter than 24 bytes is
  // not a VX-format file: nothing is created.
  FileTail tail;
  if (!readTail(source, tail)) return kErrOpenFormatFile;

  // 3-4. Decode a private copy, so that the source is not read again (it may even be the
  // destination).
  char temp[os::kPathBufferSize];
  if (!os::makeTempCopy(source, temp)) return kErrOpenFormatFile;

  // 5. The copy must be readable.
  {
    os::File check(temp, os::File::Access::Read);
    if (!check.isOpen()) {
      os::deleteFile(temp);
      return kErrOpenFormatFile;
    }
  }

  // 6-7. Decode, then delete the copy whatever the outcome.
  int64_t streamEnd = -1;
  const int32_t status = runExpand(temp, destination, streamEnd);
  os::deleteFile(temp);

  // 8-9. Stamp the destination with the recorded times, also after a failed decode. Which 24 bytes
  // hold them depends on where the stream ended (stored payloads are padded, see vx_format.h).
  os::File normal(destination, os::File::Access::Write);
  if (!normal.isOpen()) return kErrOpenNomFile;
  // As with an unchecked SetFileTime, a refused time (a value the file system cannot hold) is not a
  // failure of the call: the content is what the caller asked for.
  normal.setTimes(locateTrailer(tail, streamEnd));
  return status;
}

}  // namespace
}  // namespace complib

extern "C" {

int32_t COMPLIB_CALL Comp2VXFormatFile(const char* source, const char* destination, int32_t level) {
  return complib::compressToVX(source, destination, level);
}

int32_t COMPLIB_CALL DecompVXFormat2NomFile(const char* source, const char* destination) {
  return complib::expandFromVX(source, destination);
}

}  // extern "C"
