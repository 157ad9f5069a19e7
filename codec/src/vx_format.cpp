#include "vx_format.h"

namespace complib {

bool operator==(const FileTimes& a, const FileTimes& b) {
  return a.creation == b.creation && a.lastAccess == b.lastAccess && a.lastWrite == b.lastWrite;
}

namespace {

void putLE64(uint64_t value, unsigned char* out) {
  for (int i = 0; i < 8; ++i) out[i] = static_cast<unsigned char>(value >> (8 * i));
}

uint64_t getLE64(const unsigned char* in) {
  uint64_t value = 0;
  for (int i = 7; i >= 0; --i) value = (value << 8) | in[i];
  return value;
}

}  // namespace

void encodeTrailer(const FileTimes& times, unsigned char out[kTrailerSize]) {
  putLE64(times.creation, out);
  putLE64(times.lastAccess, out + 8);
  putLE64(times.lastWrite, out + 16);
}

FileTimes decodeTrailer(const unsigned char in[kTrailerSize]) {
  return FileTimes{getLE64(in), getLE64(in + 8), getLE64(in + 16)};
}

uint64_t trailerOffset(const FileTail& tail, int64_t streamEnd) {
  const uint64_t byPosition = tail.size - kTrailerSize;
  if (streamEnd < 0) return byPosition;
  const uint64_t end = static_cast<uint64_t>(streamEnd);
  if (end >= byPosition || byPosition - end > kMaxPadding) return byPosition;
  // 1 to 3 bytes follow the 24 at `end`: they all lie in the tail; they must all be zero.
  const size_t padding = static_cast<size_t>(byPosition - end);
  for (size_t i = tail.length - padding; i < tail.length; ++i) {
    if (tail.bytes[i] != 0) return byPosition;
  }
  return end;
}

FileTimes locateTrailer(const FileTail& tail, int64_t streamEnd) {
  const uint64_t offset = trailerOffset(tail, streamEnd);
  // The tail holds the file's last `length` bytes, so file offset x is tail index x - tailStart.
  const uint64_t tailStart = tail.size - tail.length;
  return decodeTrailer(tail.bytes + (offset - tailStart));
}

}  // namespace complib
