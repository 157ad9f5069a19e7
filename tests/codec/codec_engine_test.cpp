// CodecEngine on its own: the stream it writes and the offset at which a decoded stream ends.
#include "codec_engine.h"

#include <gtest/gtest.h>
#include <zlib.h>

#include "test_support.h"

using namespace codec_test;
using complib::CodecEngine;

namespace {

TEST(CodecEngine, WritesWhatZlibWritesAndFindsTheStreamEnd) {
  WorkDir dir;
  const Bytes content = makeContent(1 << 20, 21);
  const std::string in = dir.path("in"), z = dir.path("z"), out = dir.path("out");
  ASSERT_TRUE(writeFile(in, content));
  for (int level : {0, 6, 9}) {
    SCOPED_TRACE(level);
    CodecEngine engine;
    ASSERT_EQ(0, engine.compressFile(in.c_str(), z.c_str(), level));
    Bytes stream = readFile(z);
    // Byte for byte the stream of zlib's one-shot compress2 (same parameters; at level 0 the
    // stored blocks' sizes follow the output buffer, so only there may the bytes differ).
    Bytes expected(compressBound(content.size()));
    uLongf length = expected.size();
    ASSERT_EQ(Z_OK, compress2(expected.data(), &length, content.data(), content.size(), level));
    expected.resize(length);
    if (level != 0) {
      EXPECT_TRUE(expected == stream);
    }

    // Behind the stream: 5000 bytes that are not decoded, the end offset is the stream's length.
    Bytes withGarbage = stream;
    withGarbage.insert(withGarbage.end(), 5000, 0xA5);
    ASSERT_TRUE(writeFile(z, withGarbage));
    ASSERT_EQ(0, engine.expandFile(z.c_str(), out.c_str()));
    EXPECT_EQ(static_cast<int64_t>(stream.size()), engine.streamEnd());
    EXPECT_TRUE(readFile(out) == content);
  }
}

TEST(CodecEngine, NoStreamEndWhenTheDecodeFails) {
  WorkDir dir;
  const std::string z = dir.path("z"), out = dir.path("out");
  ASSERT_TRUE(writeFile(z, Bytes{0x78, 0x9C, 0xFF, 0xFF, 0xFF}));
  CodecEngine engine;
  EXPECT_NE(0, engine.expandFile(z.c_str(), out.c_str()));
  EXPECT_EQ(-1, engine.streamEnd());
}

TEST(CodecEngine, EmptyInputDecodesAsInputEndedEarly) {
  WorkDir dir;
  const std::string z = dir.path("z"), out = dir.path("out");
  ASSERT_TRUE(writeFile(z, Bytes{}));
  CodecEngine engine;
  EXPECT_EQ(Z_BUF_ERROR, engine.expandFile(z.c_str(), out.c_str()));
}

}  // namespace
