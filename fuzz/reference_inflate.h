// A plain in-memory inflate of a whole buffer, the fuzz targets' reference for what the codec
// must decode: zlib header expected, decoding stops at the stream's end.
#pragma once

#include <zlib.h>

#include <cstdint>
#include <cstdlib>
#include <vector>

namespace {

struct Inflated {
  bool complete = false;
  std::vector<uint8_t> bytes;
};

inline Inflated InflateReference(const uint8_t* data, size_t size) {
  Inflated result;
  z_stream stream{};
  if (inflateInit(&stream) != Z_OK) std::abort();
  stream.next_in = const_cast<Bytef*>(data);
  stream.avail_in = static_cast<uInt>(size);
  std::vector<uint8_t> chunk(1 << 16);
  for (;;) {
    stream.next_out = chunk.data();
    stream.avail_out = static_cast<uInt>(chunk.size());
    const int status = inflate(&stream, Z_NO_FLUSH);
    result.bytes.insert(result.bytes.end(), chunk.data(),
                        chunk.data() + (chunk.size() - stream.avail_out));
    if (status == Z_STREAM_END) {
      result.complete = true;
      break;
    }
    if (status != Z_OK) break;
  }
  inflateEnd(&stream);
  return result;
}

}  // namespace
