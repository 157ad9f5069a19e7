// Feeds arbitrary bytes to the container inspection behind `vxtool info` and `vxtool verify`. It
// must never crash, and what it reports must hold together: the status agrees with a plain
// inflate of the same bytes, the trailer lies inside the file behind the stream's end, and the
// times format as UTC text whatever their value.
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string>

#include "complib.h"
#include "container_info.h"
#include "reference_inflate.h"

namespace {

[[noreturn]] void Fail(const char* what) {
  std::fprintf(stderr, "container_info_fuzzer: %s\n", what);
  std::abort();
}

void CheckTime(uint64_t fileTime) {
  const std::string text = vxtool::formatFileTime(fileTime);
  if (text.empty() || text.back() != 'Z') Fail("a time did not format as UTC text");
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  const vxtool::ContainerInfo info = vxtool::inspectBuffer(data, size);
  if (info.fileSize != size) Fail("wrong file size");
  if (info.levelHint < -1 || info.levelHint > 3) Fail("level hint out of range");
  if (vxtool::levelHintText(info.levelHint) == nullptr) Fail("no text for a level hint");
  if (size < 24) {
    if (info.status != complib::kErrOpenFormatFile || info.hasTrailer) {
      Fail("a file under 24 bytes was not refused");
    }
    return 0;
  }
  const Inflated reference = InflateReference(data, size);
  if (reference.complete != (info.status == 0)) Fail("status disagrees with inflate");
  if (info.streamEnded != reference.complete) Fail("stream end disagrees with inflate");
  if (info.contentSize != reference.bytes.size()) Fail("content size disagrees with inflate");
  if (!info.hasTrailer || info.trailerOffset + 24 > size) Fail("trailer outside the file");
  if (info.paddingAfterTrailer != size - info.trailerOffset - 24) Fail("padding miscounted");
  if (info.streamEnded) {
    if (info.streamEnd > size) Fail("stream end beyond the file");
    if (info.trailerOffset >= info.streamEnd &&
        info.bytesBeforeTrailer != info.trailerOffset - info.streamEnd) {
      Fail("bytes between stream and trailer miscounted");
    }
  }
  CheckTime(info.times.creation);
  CheckTime(info.times.lastAccess);
  CheckTime(info.times.lastWrite);
  return 0;
}
