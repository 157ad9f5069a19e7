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
                  int64_t& streamEnd, bool& destinationOpened) {
  streamEnd = -1;
  destinationOpened = false;
  std::unique_ptr<CodecEngine> engine(new (std::nothrow)
                                          CodecEngine(options.bufferSize, options.hook));
  if (!engine) return Outcome{Z_MEM_ERROR, 0, false};
  const int32_t status = engine->expandFile(source, destination);
  streamEnd = engine->streamEnd();
  destinationOpened = engine->outputOpened();
  return outcomeOf(status, *engine);
}

// Reads the size, the last bytes and the times of a VX-format file. False when it cannot be
// opened, cannot be read or is shorter than a trailer; `error` is then the system's code, 0 for a
// readable file that is too short to be a VX-format file.
bool readTail(const char* path, FileTail& tail, FileTimes& times, int& error) {
  os::clearLastError();
  os::File file(path, os::File::Access::Read);
  bool ok = file.isOpen() && file.size(tail.size);
  if (ok && tail.size < kTrailerSize) {
    error = 0;
    return false;
  }
  if (ok) {
    tail.length = tail.size < kTailSize ? static_cast<size_t>(tail.size) : kTailSize;
    ok = file.readAt(tail.size - tail.length, tail.bytes, tail.length) && file.getTimes(times);
  }
  if (!ok) error = os::lastError();
  return ok;
}

// A decode onto its own source has emptied the source: a failed one puts the container back from
// the private copy, times included. When even that fails the copy is kept (named by `kept`), as it
// is then the only one left.
void restoreSource(const char* copy, const char* source, const FileTimes& times, bool& kept) {
  kept = !os::copyBack(copy, source);
  if (kept) return;
  os::File restored(source, os::File::Access::Write);
  if (restored.isOpen()) restored.setTimes(times);
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
  FileTimes sourceTimes;
  int error = 0;
  if (!readTail(source, tail, sourceTimes, error)) return Outcome{kErrOpenFormatFile, error, true};

  // Decode a private copy, so that the source is not read again (it may even be the destination).
  // The copy must be readable.
  char temp[os::kPathBufferSize];
  const char* decoded = source;
  const bool ontoItself = options.copySource && os::isSameFile(source, destination);
  if (options.copySource) {
    os::clearLastError();
    if (!os::makeTempCopy(source, temp)) return failed(kErrOpenFormatFile, true);
    os::File check(temp, os::File::Access::Read);
    if (!check.isOpen()) {
      const Outcome outcome = failed(kErrOpenFormatFile, true);
      os::deleteFile(temp);
      return outcome;
    }
    decoded = temp;
  }

  // Decode, then delete the copy whatever the outcome; a failed decode onto the source itself
  // first puts the source back from it.
  int64_t streamEnd = -1;
  bool destinationOpened = false;
  const Outcome pass = runExpand(decoded, destination, options, streamEnd, destinationOpened);
  bool keepCopy = false;
  if (ontoItself && pass.status != 0) {
    // Not opened: the source was never emptied (a read-only one, for one) and is as it was.
    if (destinationOpened) restoreSource(temp, source, sourceTimes, keepCopy);
    if (!keepCopy) os::deleteFile(temp);
    return pass;
  }
  if (options.copySource) os::deleteFile(temp);

  // Stamp the destination with the recorded times, also after a failed decode. Which 24 bytes hold
  // them depends on where the stream ended (stored payloads are padded, see vx_format.h).
  os::clearLastError();
  os::File normal(destination, os::File::Access::Write);
  if (!normal.isOpen()) return failed(kErrOpenNomFile, false);
  // As with an unchecked SetFileTime, a refused time (a value the file system cannot hold) is not a
  // failure of the call: the content is what the caller asked for.
  normal.setTimes(locateTrailer(tail, streamEnd));
  return pass;
}

}  // namespace complib
