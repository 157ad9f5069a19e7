// The container layout and the rule that picks the trailer (pure functions, no files).
#include "vx_format.h"

#include <gtest/gtest.h>

#include <cstring>

using namespace complib;

namespace {

FileTail tailOf(const std::vector<unsigned char>& file) {
  FileTail tail;
  tail.size = file.size();
  tail.length = std::min<size_t>(file.size(), kTailSize);
  std::memcpy(tail.bytes, file.data() + file.size() - tail.length, tail.length);
  return tail;
}

std::vector<unsigned char> withTrailer(size_t bodySize, const FileTimes& t, size_t zeros) {
  std::vector<unsigned char> file(bodySize, 0xEE);
  unsigned char trailer[kTrailerSize];
  encodeTrailer(t, trailer);
  file.insert(file.end(), trailer, trailer + kTrailerSize);
  file.insert(file.end(), zeros, 0);
  return file;
}

TEST(VxFormat, TrailerIsThreeLittleEndianFiletimesInGetFileTimeOrder) {
  const FileTimes t{0x0102030405060708ull, 0x1112131415161718ull, 0x21222324252627FFull};
  unsigned char bytes[kTrailerSize];
  encodeTrailer(t, bytes);
  const unsigned char expected[kTrailerSize] = {0x08, 0x07, 0x06, 0x05, 0x04, 0x03, 0x02, 0x01,
                                                0x18, 0x17, 0x16, 0x15, 0x14, 0x13, 0x12, 0x11,
                                                0xFF, 0x27, 0x26, 0x25, 0x24, 0x23, 0x22, 0x21};
  EXPECT_EQ(0, std::memcmp(expected, bytes, kTrailerSize));
  EXPECT_TRUE(decodeTrailer(bytes) == t);
}

TEST(VxFormat, TrailerIsTheLastBytesUnlessOneToThreeZerosFollowTheStream) {
  const FileTimes t{1, 0x01BFD75F00000000ull, 0x01BFD75F00000003ull};
  for (size_t body : {0, 1, 8, 100}) {
    SCOPED_TRACE(body);
    // Exact layout: both rules agree.
    auto file = withTrailer(body, t, 0);
    EXPECT_EQ(body, trailerOffset(tailOf(file), static_cast<int64_t>(body)));
    EXPECT_EQ(body, trailerOffset(tailOf(file), -1));
    for (size_t zeros = 1; zeros <= 3; ++zeros) {
      file = withTrailer(body, t, zeros);
      EXPECT_EQ(body, trailerOffset(tailOf(file), static_cast<int64_t>(body)));
      EXPECT_TRUE(locateTrailer(tailOf(file), static_cast<int64_t>(body)) == t);
      // Without a stream end (failed decode), or with the stream ending elsewhere: by position.
      EXPECT_EQ(file.size() - kTrailerSize, trailerOffset(tailOf(file), -1));
      if (body > 0) {
        EXPECT_EQ(file.size() - kTrailerSize,
                  trailerOffset(tailOf(file), static_cast<int64_t>(body - 1)));
      }
    }
    file = withTrailer(body, t, 4);
    EXPECT_EQ(file.size() - kTrailerSize, trailerOffset(tailOf(file), static_cast<int64_t>(body)));
    file = withTrailer(body, t, 2);
    file.back() = 1;
    EXPECT_EQ(file.size() - kTrailerSize, trailerOffset(tailOf(file), static_cast<int64_t>(body)));
  }
}

TEST(VxFormat, StreamEndPastTheTrailerPositionKeepsThePositionRule) {
  auto file = withTrailer(10, FileTimes{}, 0);
  EXPECT_EQ(10u, trailerOffset(tailOf(file), 20));
  EXPECT_EQ(10u, trailerOffset(tailOf(file), static_cast<int64_t>(file.size())));
}

}  // namespace
