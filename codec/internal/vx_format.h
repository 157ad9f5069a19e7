// The VX container layout: one zlib stream, then the 24-byte FileTimesTrailer
// (creation, last access, last write; each a little-endian 64-bit Windows FILETIME). This file
// knows the byte layout and the rule that says which 24 bytes are the trailer; it does no I/O.
#pragma once

#include <cstddef>
#include <cstdint>

namespace complib {

constexpr size_t kTrailerSize = 24;

// Stored payloads are padded with up to this many zero bytes behind their trailer.
constexpr size_t kMaxPadding = 3;

// The bytes at the end of a file that can hold the trailer, padding included.
constexpr size_t kTailSize = kTrailerSize + kMaxPadding;

// FILETIME values: 100-nanosecond intervals since 1601-01-01 00:00:00 UTC.
struct FileTimes {
  uint64_t creation = 0;
  uint64_t lastAccess = 0;
  uint64_t lastWrite = 0;
};

bool operator==(const FileTimes& a, const FileTimes& b);

void encodeTrailer(const FileTimes& times, unsigned char out[kTrailerSize]);
FileTimes decodeTrailer(const unsigned char in[kTrailerSize]);

// The last bytes of a VX-format file of `size` bytes (size >= kTrailerSize): up to kTailSize of
// them, enough to find the trailer by either rule of locateTrailer.
struct FileTail {
  uint64_t size = 0;
  size_t length = 0;  // min(size, kTailSize)
  unsigned char bytes[kTailSize] = {};
};

// Where the recorded trailer of a file starts.
//
// By position, the trailer is the last 24 bytes. Stored payloads, however, carry 1 to 3 zero bytes
// behind the trailer (resources padded to a multiple of four). So when decoding ended at offset
// `streamEnd` (the stream was complete) and the file continues past streamEnd + 24 only by 1 to 3
// zero bytes, the trailer is the 24 bytes at streamEnd. Every other file keeps the position rule,
// which lets bytes inserted between the stream and the trailer leave the times alone.
// `streamEnd` < 0 means the stream did not end (the decode failed).
uint64_t trailerOffset(const FileTail& tail, int64_t streamEnd);

// The times stored at trailerOffset(tail, streamEnd).
FileTimes locateTrailer(const FileTail& tail, int64_t streamEnd);

}  // namespace complib
