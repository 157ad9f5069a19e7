#include "vx_operations.h"

#include <memory>
#include <new>

#include "complib.h"
#include "os.h"

namespace complib {
namespace {

Outcome failed(int32_t status, bool inputFailed) {
  return Outcome{status, os::lastError(), inputFailed};
}

Outcome outcomeOf(int32_t status, const CodecEngine& engine) {
  return Outcome{status, engine.systemError(), engine.inputFailed()};
}

// Each pass runs on an engine of its own, created on the heap and destroyed before returning.
Outcome runCompress(const char* source, const char* destination, int level,
                    const PassOptions& options, FileTimes& times) {
  std::unique_ptr<CodecEngine> engine(new (std::nothrow)
                                          CodecEngine(options.bufferSize, options.hook));
  if (!engine) return Outcome{Z_MEM_ERROR, 0, false};
  return outcomeOf(engine->compressFile(source, destination, level, &times), *engine);
}

Outcome runExpand(const char* source, const char* destination, const PassOptions& options,
                  int64_t& streamEnd) {
  streamEnd = -1;
  std::unique_ptr<CodecEngine> engine(new (std::nothrow)
                                          CodecEngine(options.bufferSize, options.hook));
  if (!engine) return Outcome{Z_MEM_ERROR, 0, false};
  const int32_t status = engine->expandFile(source, destination);
  streamEnd = engine->streamEnd();
  return outcomeOf(status, *engine);
}

// Reads the size and the last bytes of a VX-format file. False when it cannot be opened, cannot be
// read or is shorter than a trailer; `error` is then the system's code, 0 for a readable file that
// is too short to be a VX-format file.
bool readTail(const char* path, FileTail& tail, int& error) {
  os::clearLastError();
  os::File file(path, os::File::Access::Read);
  bool ok = file.isOpen() && file.size(tail.size);
  if (ok && tail.size < kTrailerSize) {
    error = 0;
    return false;
  }
  if (ok) {
    tail.length = tail.size < kTailSize ? static_cast<size_t>(tail.size) : kTailSize;
    ok = file.readAt(tail.size - tail.length, tail.bytes, tail.length);
  }
  if (!ok) error = os::lastError();
  return ok;
}

// A "~md" file of the call's own in the temporary folder, deleted when the call is done with it.
class TempFile {
 public:
  TempFile() { path_[0] = '\0'; }
  ~TempFile() { remove(); }
  TempFile(const TempFile&) = delete;
  TempFile& operator=(const TempFile&) = delete;

  bool makeEmpty() { return made_ = os::makeTempFile(path_); }
  bool makeCopyOf(const char* source) { return made_ = os::makeTempCopy(source, path_); }
  void remove() {
    if (made_) os::deleteFile(path_);
    made_ = false;
  }
  const char* path() const { return path_; }

 private:
  char path_[os::kPathBufferSize];
  bool made_ = false;
};

// Decodes into a temporary file of its own and puts the result into the held `destination` only
// when the decode succeeded: a failed one leaves the destination as it was, bytes and times. The
// content is replaced in place, so the file keeps its links, attributes and permissions.
Outcome decodeOver(const char* decoded, os::File& destination, const FileTail& tail, TempFile& copy,
                   const PassOptions& options) {
  TempFile output;
  os::clearLastError();
  if (!output.makeEmpty()) return failed(kErrOpenNomFile, false);
  int64_t streamEnd = -1;
  const Outcome pass = runExpand(decoded, output.path(), options, streamEnd);
  copy.remove();
  if (pass.status != 0) return pass;
  // Like a short write of the engine's output: -1.
  os::clearLastError();
  if (!destination.replaceContent(output.path())) return failed(Z_ERRNO, false);
  // As with an unchecked SetFileTime, a refused time (a value the file system cannot hold) is not a
  // failure of the call: the content is what the caller asked for.
  destination.setTimes(locateTrailer(tail, streamEnd));
  return pass;
}

}  // namespace

bool isSameFile(const char* a, const char* b) {
  return os::isSameFile(a, b);
}

int lastSystemError() {
  return os::lastError();
}

std::string systemErrorText(int code) {
  return os::errorText(code);
}

Outcome compressToVX(const char* source, const char* destination, int level,
                     const PassOptions& options) {
  if (source == nullptr) return Outcome{kErrOpenNomFile, 0, true};
  if (destination == nullptr) return Outcome{kErrOpenFormatFile, 0, false};
  // Opening the destination "wb" would empty the source before it is read.
  if (os::isSameFile(source, destination)) return Outcome{kErrOpenFormatFile, 0, false};

  // Compress, and take the source's times from the file the pass has just read. On failure the
  // destination keeps what was written and gets no trailer.
  FileTimes times;
  const Outcome pass = runCompress(source, destination, level, options, times);
  if (pass.status != 0) return pass;
  if (options.times != nullptr) times = *options.times;

  // Reopen the destination to append the trailer.
  os::clearLastError();
  os::File vx(destination, os::File::Access::ReadWrite);
  if (!vx.isOpen()) return failed(kErrOpenFormatFile, false);

  unsigned char trailer[kTrailerSize];
  encodeTrailer(times, trailer);
  os::clearLastError();
  return vx.append(trailer, kTrailerSize) ? Outcome{} : failed(Z_ERRNO, false);
}

Outcome expandFromVX(const char* source, const char* destination, const PassOptions& options) {
  if (source == nullptr) return Outcome{kErrOpenFormatFile, 0, true};
  if (destination == nullptr) return Outcome{kErrOpenNomFile, 0, false};

  // The trailer candidates. A source that is missing, unreadable or shorter than 24 bytes is not a
  // VX-format file: nothing is created.
  FileTail tail;
  int error = 0;
  if (!readTail(source, tail, error)) return Outcome{kErrOpenFormatFile, error, true};

  // Decode a private copy, so that the source is not read again (it may even be the destination).
  // The copy must be readable.
  TempFile copy;
  const char* decoded = source;
  if (options.copySource) {
    os::clearLastError();
    if (!copy.makeCopyOf(source)) return failed(kErrOpenFormatFile, true);
    os::File check(copy.path(), os::File::Access::Read);
    if (!check.isOpen()) return failed(kErrOpenFormatFile, true);
    decoded = copy.path();
  }

  // A destination that is there is held from here on and changes only once its new content is
  // whole. One that is there but cannot be written is refused untouched, as the engine's open
  // would refuse it.
  if (options.keepDestinationOnFailure) {
    os::clearLastError();
    os::File existing(destination, os::File::Access::Write);
    if (existing.isOpen()) return decodeOver(decoded, existing, tail, copy, options);
    if (!os::lastErrorIsNotFound()) return failed(kErrOpenNomFile, false);
  }

  // A new destination is decoded into directly: after a failure it holds what was decoded.
  int64_t streamEnd = -1;
  const Outcome pass = runExpand(decoded, destination, options, streamEnd);
  copy.remove();

  // Stamp the destination with the recorded times, also after a failed decode. Which 24 bytes hold
  // them depends on where the stream ended (stored payloads are padded, see vx_format.h).
  os::clearLastError();
  os::File normal(destination, os::File::Access::Write);
  if (!normal.isOpen()) return failed(kErrOpenNomFile, false);
  // As with an unchecked SetFileTime, a refused time is not a failure of the call (see decodeOver).
  normal.setTimes(locateTrailer(tail, streamEnd));
  return pass;
}

}  // namespace complib
