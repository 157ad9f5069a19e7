// CodecEngine on its own: the stream it writes at either piece size, the offset at which a decoded
// stream ends, and the per-piece hook.
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
  for (auto [level, pieces] : {std::pair{0, 4096}, {6, 4096}, {9, 4096}, {9, 256 * 1024}}) {
    SCOPED_TRACE(testing::Message() << level << " " << pieces);
    CodecEngine engine(pieces);
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
    EXPECT_EQ(content.size(), engine.outputWritten());
    EXPECT_EQ(adler32(adler32(0, nullptr, 0), content.data(), static_cast<uInt>(content.size())),
              engine.adler32());
    EXPECT_TRUE(readFile(out) == content);
  }
}

// The hook runs at every piece read and written; when it says stop, the pass ends at once.
TEST(CodecEngine, HookSeesEveryPieceAndCanStopThePass) {
  struct Counting : complib::PieceHook {
    int calls = 0;
    int stopAt = -1;
    uint64_t lastRead = 0;
    bool onPiece(uint64_t inputRead) override {
      EXPECT_GE(inputRead, lastRead);
      lastRead = inputRead;
      return ++calls != stopAt;
    }
  };
  WorkDir dir;
  const std::string in = dir.path("in"), z = dir.path("z");
  ASSERT_TRUE(writeFile(in, makeContent(1 << 20, 22)));
  Counting all;
  CodecEngine engine(4096, &all);
  ASSERT_EQ(0, engine.compressFile(in.c_str(), z.c_str(), 6));
  EXPECT_GT(all.calls, 2 * (1 << 20) / 4096);  // before every read, and before every write
  EXPECT_EQ(uint64_t{1} << 20, all.lastRead);

  Counting stopping;
  stopping.stopAt = 10;
  CodecEngine stopped(4096, &stopping);
  EXPECT_EQ(complib::kErrCancelled, stopped.compressFile(in.c_str(), z.c_str(), 6));
  EXPECT_EQ(10, stopping.calls);
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
