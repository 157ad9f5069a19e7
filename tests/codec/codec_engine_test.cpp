// CodecEngine on its own: the stream it writes at either piece size, the offset at which a decoded
// stream ends, the per-piece hook, and a read of its input that fails.
#include "codec_engine.h"

#include <gtest/gtest.h>
#include <zlib.h>

#include <algorithm>
#include <cerrno>
#include <cstring>

#ifdef _WIN32
#include <windows.h>
#endif

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

// The system's code of a read that failed the way a dropped network share does.
#ifdef _WIN32
constexpr int kReadError = ERROR_NETNAME_DELETED;
#else
constexpr int kReadError = EIO;
#endif

// A read that fails part-way is no end of the input: both kinds stop with Z_ERRNO and the reason,
// and a compress leaves no finished stream behind (before, it finished the stream over the part
// that was read and reported success).
TEST(CodecEngine, AFailedReadEndsThePassWithErrnoAndNoFinishedStream) {
  struct FailingReader : complib::ByteReader {
    const Bytes& data;
    size_t failAt;
    size_t at = 0;
    FailingReader(const Bytes& d, size_t f) : data(d), failAt(f) {}
    size_t read(unsigned char* out, size_t length) override {
      if (at >= failAt) {
#ifdef _WIN32
        SetLastError(kReadError);
#else
        errno = kReadError;
#endif
        return kReadFailed;
      }
      const size_t n = std::min(length, failAt - at);
      std::memcpy(out, data.data() + at, n);
      at += n;
      return n;
    }
  };
  struct Collecting : complib::ByteSink {
    Bytes bytes;
    bool write(const unsigned char* data, size_t length) override {
      bytes.insert(bytes.end(), data, data + length);
      return true;
    }
  };
  const Bytes content = makeContent(600000, 23);
  for (size_t pieces : {size_t{4096}, size_t{256 * 1024}}) {
    SCOPED_TRACE(pieces);
    CodecEngine engine(pieces);
    FailingReader reader(content, 300000);
    Collecting sink;
    EXPECT_EQ(Z_ERRNO, engine.compress(reader, sink, 9));
    EXPECT_EQ(kReadError, engine.systemError());
    EXPECT_TRUE(engine.inputFailed());
    EXPECT_EQ(300000u, engine.inputRead());
    // zlib's decoder does not find the stream's end in what was written.
    Bytes plain(content.size());
    uLongf length = plain.size();
    EXPECT_NE(Z_OK, uncompress(plain.data(), &length, sink.bytes.data(), sink.bytes.size()));

    Bytes stream(compressBound(content.size()));
    uLongf streamLength = stream.size();
    ASSERT_EQ(Z_OK, compress2(stream.data(), &streamLength, content.data(), content.size(), 6));
    FailingReader cut(stream, streamLength / 2);
    Collecting decoded;
    EXPECT_EQ(Z_ERRNO, engine.expand(cut, decoded));  // not Z_BUF_ERROR: the input did not end
    EXPECT_EQ(kReadError, engine.systemError());
    EXPECT_TRUE(engine.inputFailed());
    EXPECT_EQ(-1, engine.streamEnd());

    // A read that fails only after the stream's end is never made.
    FailingReader whole(stream, streamLength);
    Collecting all;
    EXPECT_EQ(0, engine.expand(whole, all));
    EXPECT_TRUE(all.bytes == content);
  }
}

TEST(CodecEngine, EmptyInputDecodesAsInputEndedEarly) {
  WorkDir dir;
  const std::string z = dir.path("z"), out = dir.path("out");
  ASSERT_TRUE(writeFile(z, Bytes{}));
  CodecEngine engine;
  EXPECT_EQ(Z_BUF_ERROR, engine.expandFile(z.c_str(), out.c_str()));
}

}  // namespace
