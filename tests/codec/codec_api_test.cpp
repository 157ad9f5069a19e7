// The two operations, called the way hosts call them: libcomplib.so on Linux, CompLib.dll through
// LoadLibrary/GetProcAddress under Wine. Each case is a documented behaviour of the two
// operations or one of the decisions taken for the cases their contract leaves open.
#include <gtest/gtest.h>
#include <zlib.h>

#include <algorithm>
#include <cctype>
#include <climits>
#include <vector>

#include "test_support.h"

using namespace codec_test;
using complib::FileTimes;
using complib::kErrOpenFormatFile;
using complib::kErrOpenNomFile;
using complib::kTrailerSize;

namespace {

const FileTimes kSourceTimes{fileTime(2000, 6, 16, 6, 25, 32, 8100000),
                             fileTime(2000, 6, 15, 15, 0, 0), fileTime(2000, 5, 28, 9, 52, 46)};

int32_t compress(const std::string& in, const std::string& out, int32_t level) {
  return library().compress(in.c_str(), out.c_str(), level);
}

int32_t decompress(const std::string& in, const std::string& out) {
  return library().decompress(in.c_str(), out.c_str());
}

FileTimes trailerOf(const Bytes& vx) {
  return complib::decodeTrailer(&vx[vx.size() - kTrailerSize]);
}

Bytes trailerBytes(const FileTimes& times) {
  Bytes out(kTrailerSize);
  complib::encodeTrailer(times, out.data());
  return out;
}

Bytes concat(Bytes a, const Bytes& b) {
  a.insert(a.end(), b.begin(), b.end());
  return a;
}

Bytes body(const Bytes& vx) {
  return Bytes(vx.begin(), vx.end() - kTrailerSize);
}

// The restored times that the platform can show: all three on Windows, access and write on Linux.
void expectTimes(const FileTimes& expected, const FileTimes& actual) {
  if (restoresCreationTime()) {
    EXPECT_EQ(expected.creation, actual.creation);
  }
  EXPECT_EQ(expected.lastAccess, actual.lastAccess);
  EXPECT_EQ(expected.lastWrite, actual.lastWrite);
}

class CodecApi : public ::testing::Test {
 protected:
  void SetUp() override { copiesBefore_ = tempCopies(); }
  // After every call of every case: no temporary copy of ours is left in the temp folder.
  void TearDown() override {
    std::vector<std::string> after = tempCopies();
    for (const auto& name : after) {
      EXPECT_NE(std::find(copiesBefore_.begin(), copiesBefore_.end(), name), copiesBefore_.end())
          << "temporary copy left behind: " << name;
    }
  }

  // A VX file of `content` made by the library from a file with kSourceTimes.
  Bytes pack(const Bytes& content, int level = 9) {
    const std::string in = dir_.path("pack.in"), out = dir_.path("pack.vx");
    EXPECT_TRUE(writeFile(in, content));
    setFileTimes(in, kSourceTimes);
    EXPECT_EQ(0, compress(in, out, level));
    return readFile(out);
  }

  WorkDir dir_;
  std::vector<std::string> copiesBefore_;
};

TEST_F(CodecApi, EmptyFileAtLevel9IsThe32ByteContainer) {
  const std::string in = dir_.path("empty"), vx = dir_.path("empty.vx"), out = dir_.path("out");
  ASSERT_TRUE(writeFile(in, {}));
  setFileTimes(in, kSourceTimes);

  ASSERT_EQ(0, compress(in, vx, 9));
  const Bytes file = readFile(vx);
  ASSERT_EQ(32u, file.size());
  EXPECT_EQ((Bytes{0x78, 0xDA, 0x03, 0x00, 0x00, 0x00, 0x00, 0x01}), body(file));
  // The trailer holds the times read after the compression pass.
  const FileTimes after = fileTimes(in);
  EXPECT_EQ(after.creation, trailerOf(file).creation);
  EXPECT_EQ(after.lastAccess, trailerOf(file).lastAccess);
  EXPECT_EQ(kSourceTimes.lastWrite, trailerOf(file).lastWrite);

  ASSERT_TRUE(writeFile(out, makeContent(5000, 1)));  // an existing destination is replaced
  ASSERT_EQ(0, decompress(vx, out));
  expectTimes(trailerOf(file), fileTimes(out));
  EXPECT_EQ(0u, fileSize(out));
}

TEST_F(CodecApi, RoundTripsAtEveryLevelWithTheLevelHint) {
  const Bytes content = makeContent(300000, 2);
  for (int level = -1; level <= 9; ++level) {
    SCOPED_TRACE("level " + std::to_string(level));
    const std::string vx = dir_.path("level.vx"), out = dir_.path("level.out");
    const Bytes file = pack(content, level);
    ASSERT_GE(file.size(), 2 + kTrailerSize);
    const int hint = level == -1 ? 2 : level < 2 ? 0 : level < 6 ? 1 : level == 6 ? 2 : 3;
    EXPECT_EQ(0x78, file[0]);
    EXPECT_EQ(hint, file[1] >> 6);
    EXPECT_EQ(0, (file[0] * 256 + file[1]) % 31);
    // zlib's own decoder agrees with the body.
    Bytes plain(content.size());
    uLongf plainLength = plain.size();
    const Bytes b = body(file);
    ASSERT_EQ(Z_OK, uncompress(plain.data(), &plainLength, b.data(), b.size()));
    EXPECT_EQ(content, plain);

    ASSERT_TRUE(writeFile(vx, file));
    ASSERT_EQ(0, decompress(vx, out));
    EXPECT_EQ(content, readFile(out));
  }
}

TEST_F(CodecApi, LevelOutsideRangeIsStreamErrorAndLeavesTheDestinationAlone) {
  const std::string in = dir_.path("in"), existing = dir_.path("existing.vx"),
                    absent = dir_.path("absent.vx");
  ASSERT_TRUE(writeFile(in, makeContent(10000, 3)));
  const Bytes old = makeContent(777, 4);
  ASSERT_TRUE(writeFile(existing, old));
  for (int32_t level : {-2, 10, 11, 100, INT_MIN, INT_MAX}) {
    EXPECT_EQ(Z_STREAM_ERROR, compress(in, existing, level)) << level;
    EXPECT_EQ(Z_STREAM_ERROR, compress(in, absent, level)) << level;
  }
  EXPECT_EQ(old, readFile(existing));
  EXPECT_FALSE(fileExists(absent));
}

TEST_F(CodecApi, CompressReplacesAnExistingDestination) {
  const std::string in = dir_.path("in"), vx = dir_.path("vx");
  const Bytes content = makeContent(1000, 5);
  ASSERT_TRUE(writeFile(in, content));
  ASSERT_TRUE(writeFile(vx, makeContent(200000, 6)));
  ASSERT_EQ(0, compress(in, vx, 6));
  const Bytes file = readFile(vx);
  Bytes plain(content.size() + 1);
  uLongf length = plain.size();
  const Bytes b = body(file);
  ASSERT_EQ(Z_OK, uncompress(plain.data(), &length, b.data(), b.size()));
  EXPECT_EQ(content.size(), length);
}

TEST_F(CodecApi, TimesAreRestoredFromTheTrailerNotTheCall) {
  const Bytes content = makeContent(50000, 7);
  const FileTimes recorded{fileTime(1998, 5, 7, 15, 0, 0), fileTime(2000, 6, 26, 15, 0, 0),
                           fileTime(2000, 6, 27, 7, 7, 36, 1234567)};
  const std::string vx = dir_.path("t.vx"), out = dir_.path("t.out");
  ASSERT_TRUE(writeFile(vx, concat(body(pack(content)), trailerBytes(recorded))));
  ASSERT_EQ(0, decompress(vx, out));
  expectTimes(recorded, fileTimes(out));
  EXPECT_EQ(content, readFile(out));
}

// A new destination keeps what was decoded before the damage showed, with the recorded times; one
// that was there before keeps its old bytes and times (the updater decodes downloads over installed
// files), and a good container later replaces its content in place. No copy is left either way.
TEST_F(CodecApi, DamagedBodyLeavesANewDestinationPartialAndAnExistingOneAsItWas) {
  const Bytes content = makeContent(400000, 8);
  Bytes file = pack(content);
  const FileTimes recorded = trailerOf(file);
  const std::string vx = dir_.path("d.vx"), out = dir_.path("d.out");
  // A damaged byte late in the body: much has been decoded before the damage shows.
  const size_t at = (file.size() - kTrailerSize) * 3 / 4;
  file[at] ^= 0x55;
  ASSERT_TRUE(writeFile(vx, file));
  const int32_t status = decompress(vx, out);
  EXPECT_TRUE(status == Z_DATA_ERROR || status == Z_STREAM_ERROR || status == Z_BUF_ERROR)
      << status;
  ASSERT_TRUE(fileExists(out));
  expectTimes(recorded, fileTimes(out));
  const Bytes partial = readFile(out);
  EXPECT_GT(partial.size(), 0u);
  // What was written before the damage was detected is the content's beginning (a damaged byte
  // inside a literal may change a few bytes before it is noticed: compare half of it).
  ASSERT_LE(partial.size(), content.size() + 65536);
  const size_t checked = std::min(partial.size(), content.size()) / 2;
  EXPECT_TRUE(std::equal(partial.begin(), partial.begin() + checked, content.begin()));

  const std::string installed = dir_.path("installed"), link = dir_.path("installed.link");
  const Bytes old = makeContent(110000, 20);
  ASSERT_TRUE(writeFile(installed, old));
  setFileTimes(installed, kSourceTimes);
  const FileTimes before = fileTimes(installed);
  EXPECT_EQ(status, decompress(vx, installed));
  const FileTimes after = fileTimes(installed);  // before reading it, which sets its access time
  EXPECT_EQ(before.creation, after.creation);
  EXPECT_EQ(before.lastAccess, after.lastAccess);
  EXPECT_EQ(before.lastWrite, after.lastWrite);
  EXPECT_TRUE(readFile(installed) == old) << "the old content was lost";

  // Replaced in place: the file's second name sees the new content.
  ASSERT_TRUE(hardLink(installed, link));
  file[at] ^= 0x55;
  ASSERT_TRUE(writeFile(vx, file));
  ASSERT_EQ(0, decompress(vx, installed));
  expectTimes(recorded, fileTimes(link));
  EXPECT_TRUE(readFile(link) == content);
}

// Each broken stream returns zlib's status, and a new destination still carries the trailer's
// times.
TEST_F(CodecApi, BrokenStreamsReturnZlibsStatus) {
  const Bytes content = makeContent(100000, 9);
  const Bytes good = pack(content);
  const Bytes trailer(good.end() - kTrailerSize, good.end());
  const Bytes stream = body(good);
  const std::string vx = dir_.path("broken.vx"), out = dir_.path("broken.out");
  auto run = [&](const Bytes& brokenBody) {
    EXPECT_TRUE(writeFile(vx, concat(brokenBody, trailer)));
    removeFile(out);
    const int32_t status = decompress(vx, out);
    EXPECT_TRUE(fileExists(out));
    expectTimes(trailerOf(good), fileTimes(out));
    return status;
  };

  Bytes b = stream;
  b[1] ^= 0x01;
  EXPECT_EQ(Z_DATA_ERROR, run(b)) << "header check";
  EXPECT_EQ(0u, fileSize(out));

  b = stream;
  b[0] = 0x79;  // window bits 16
  EXPECT_EQ(Z_DATA_ERROR, run(b)) << "window size";

  b = stream;
  b[b.size() - 1] ^= 0xFF;
  EXPECT_EQ(Z_DATA_ERROR, run(b)) << "Adler-32";
  EXPECT_EQ(content, readFile(out)) << "the content is all written before the check";

  // FDICT set with a valid header check, then a dictionary id: no dictionary is ever supplied.
  b = {0x78, 0xBB, 0x12, 0x34, 0x56, 0x78};
  b.insert(b.end(), stream.begin() + 2, stream.end());
  EXPECT_EQ(Z_STREAM_ERROR, run(b)) << "preset dictionary";
}

TEST_F(CodecApi, StreamCutShortRunsIntoTheTrailerAndEndsTooEarly) {
  // Level 0 stores the content: cut inside a stored block, the trailer's bytes are taken as content
  // and then the input ends.
  const Bytes content = makeContent(100000, 10);
  const Bytes good = pack(content, 0);
  const Bytes cut(good.begin(), good.begin() + 50000);
  const std::string vx = dir_.path("cut.vx"), out = dir_.path("cut.out");
  ASSERT_TRUE(writeFile(vx, concat(cut, Bytes(good.end() - kTrailerSize, good.end()))));
  EXPECT_EQ(Z_BUF_ERROR, decompress(vx, out));
  expectTimes(trailerOf(good), fileTimes(out));
  const Bytes partial = readFile(out);
  ASSERT_GT(partial.size(), 40000u);
  EXPECT_TRUE(std::equal(partial.begin(), partial.begin() + 40000, content.begin()));
}

TEST_F(CodecApi, A24ByteFileFailsWithAnEmptyStampedDestination) {
  const FileTimes recorded{fileTime(2001, 1, 2, 3, 4, 5), fileTime(2002, 2, 3, 4, 5, 6),
                           fileTime(2003, 3, 4, 5, 6, 7)};
  const std::string vx = dir_.path("24.vx"), out = dir_.path("24.out");
  ASSERT_TRUE(writeFile(vx, trailerBytes(recorded)));
  EXPECT_NE(0, decompress(vx, out));
  ASSERT_TRUE(fileExists(out));
  EXPECT_EQ(0u, fileSize(out));
  expectTimes(recorded, fileTimes(out));
}

// Decision: a source that is missing or shorter than a trailer is not a VX-format file.
TEST_F(CodecApi, MissingOrShortSourceIsOpenFormatFileAndCreatesNothing) {
  const std::string out = dir_.path("never"), existing = dir_.path("existing");
  const Bytes old = makeContent(100, 11);
  ASSERT_TRUE(writeFile(existing, old));
  EXPECT_EQ(kErrOpenFormatFile, decompress(dir_.path("missing.vx"), out));
  EXPECT_EQ(kErrOpenFormatFile, decompress(dir_.path("missing.vx"), existing));
  for (size_t size : {0, 1, 8, 23}) {
    const std::string vx = dir_.path("short.vx");
    ASSERT_TRUE(writeFile(vx, Bytes(size, 0x78)));
    EXPECT_EQ(kErrOpenFormatFile, decompress(vx, out)) << size;
    EXPECT_EQ(kErrOpenFormatFile, decompress(vx, existing)) << size;
  }
  EXPECT_FALSE(fileExists(out));
  EXPECT_EQ(old, readFile(existing));
}

TEST_F(CodecApi, BytesBetweenStreamAndTrailerAreIgnored) {
  const Bytes content = makeContent(30000, 12);
  const Bytes good = pack(content);
  const Bytes stream = body(good);
  const FileTimes recorded = trailerOf(good);
  // Zero bytes too: the trailer's last bytes are not zero, so the position rule holds.
  for (const Bytes& inserted :
       {Bytes{0xAB}, Bytes(2, 0), Bytes(3, 0x11), Bytes(4, 0), makeContent(1000, 13)}) {
    SCOPED_TRACE(inserted.size());
    const std::string vx = dir_.path("gap.vx"), out = dir_.path("gap.out");
    ASSERT_TRUE(writeFile(vx, concat(concat(stream, inserted), trailerBytes(recorded))));
    ASSERT_EQ(0, decompress(vx, out));
    expectTimes(recorded, fileTimes(out));
    EXPECT_EQ(content, readFile(out));
  }
}

// Decision: stored payloads carry 1 to 3 zero bytes behind the trailer (resources padded to a
// multiple of four); the recorded trailer is then the 24 bytes at the stream's end.
TEST_F(CodecApi, PaddedStoredPayloadRestoresTheRecordedTimes) {
  const Bytes content = makeContent(20000, 14);
  const Bytes good = pack(content);
  const FileTimes recorded = trailerOf(good);
  const std::string vx = dir_.path("pad.vx"), out = dir_.path("pad.out");
  for (size_t padding = 1; padding <= 3; ++padding) {
    SCOPED_TRACE(padding);
    ASSERT_TRUE(writeFile(vx, concat(good, Bytes(padding, 0))));
    ASSERT_EQ(0, decompress(vx, out));
    expectTimes(recorded, fileTimes(out));
    EXPECT_EQ(content, readFile(out));
  }
  // Anything else keeps the position rule: four zero bytes, or a non-zero byte behind the trailer.
  // (The last 24 bytes then hold times a file system may not represent: check that the recorded
  // ones were not used.)
  for (const Bytes& tail : {Bytes(4, 0), Bytes{0, 0, 1}, Bytes{7}}) {
    SCOPED_TRACE(tail.size());
    ASSERT_TRUE(writeFile(vx, concat(good, tail)));
    ASSERT_EQ(0, decompress(vx, out));
    EXPECT_NE(recorded.lastWrite, fileTimes(out).lastWrite);
  }
  // A failed decode has no stream end: the last 24 bytes (on a new destination; one that was
  // there keeps its times).
  Bytes broken = concat(good, Bytes(2, 0));
  broken[0] = 0x79;
  ASSERT_TRUE(writeFile(vx, broken));
  removeFile(out);
  EXPECT_EQ(Z_DATA_ERROR, decompress(vx, out));
  EXPECT_NE(recorded.lastWrite, fileTimes(out).lastWrite);
}

TEST_F(CodecApi, ChangingTheTrailerChangesOnlyTheTimes) {
  const Bytes content = makeContent(5000, 15);
  Bytes file = pack(content);
  file[file.size() - 5] ^= 0x01;
  const std::string vx = dir_.path("tr.vx"), out = dir_.path("tr.out");
  ASSERT_TRUE(writeFile(vx, file));
  ASSERT_EQ(0, decompress(vx, out));
  expectTimes(trailerOf(file), fileTimes(out));
  EXPECT_EQ(content, readFile(out));
}

TEST_F(CodecApi, SourcesAreNeverModified) {
  const std::string in = dir_.path("src"), vx = dir_.path("src.vx"), out = dir_.path("src.out");
  const Bytes content = makeContent(70000, 16);
  ASSERT_TRUE(writeFile(in, content));
  setFileTimes(in, kSourceTimes);
  ASSERT_EQ(0, compress(in, vx, 9));
  EXPECT_EQ(kSourceTimes.lastWrite, fileTimes(in).lastWrite);
  EXPECT_EQ(content, readFile(in));

  const FileTimes vxTimes{fileTime(1999, 1, 1, 0, 0, 0), fileTime(1999, 1, 1, 0, 0, 0),
                          fileTime(1999, 1, 1, 0, 0, 0)};
  setFileTimes(vx, vxTimes);
  const Bytes packed = readFile(vx);
  ASSERT_EQ(0, decompress(vx, out));
  EXPECT_EQ(vxTimes.lastWrite, fileTimes(vx).lastWrite);
  EXPECT_EQ(packed, readFile(vx));
}

// One file as source and destination: compressing is refused (by file identity, whatever the
// spelling) and leaves it untouched; decompressing works, since the library decodes its own copy,
// and a decompress that fails leaves the file as it was, content and times.
TEST_F(CodecApi, OneFileAsSourceAndDestination) {
  const Bytes content = makeContent(120000, 17);
  const std::string self = dir_.path("self");
  ASSERT_TRUE(writeFile(self, content));
  const std::string root = dir_.root();
  const std::string folderName = root.substr(root.find_last_of("\\/") + 1);
  std::vector<std::string> spellings = {self, root + "/./self",
                                        root + "/../" + folderName + "/self"};
#ifdef _WIN32
  std::string upper = self;
  for (char& c : upper) c = static_cast<char>(toupper(static_cast<unsigned char>(c)));
  spellings.push_back(upper);
#endif
  for (const std::string& other : spellings) {
    SCOPED_TRACE(other);
    EXPECT_EQ(kErrOpenFormatFile, compress(self, other, 9));
    EXPECT_EQ(content, readFile(self));
  }

  const Bytes file = pack(content);
  const FileTimes ownTimes{fileTime(2005, 5, 5, 5, 5, 5, 5), fileTime(2006, 6, 6, 6, 6, 6, 6),
                           fileTime(2007, 7, 7, 7, 7, 7, 7)};
  // Truncated (the input ends early), damaged (corrupt data), and the 24-byte file with no stream.
  Bytes truncated(file.begin(), file.begin() + file.size() / 2);
  Bytes damaged = file;
  damaged[damaged.size() / 2] ^= 0x55;
  const Bytes trailerOnly(file.end() - kTrailerSize, file.end());
  for (const Bytes& broken : {truncated, damaged, trailerOnly}) {
    SCOPED_TRACE(broken.size());
    ASSERT_TRUE(writeFile(self, broken));
    setFileTimes(self, ownTimes);
    const FileTimes before = fileTimes(self);
    EXPECT_NE(0, decompress(self, root + "/./self"));
    EXPECT_TRUE(readFile(self) == broken) << "the only copy of the container was lost";
    EXPECT_EQ(before.lastWrite, fileTimes(self).lastWrite);
    EXPECT_EQ(before.creation, fileTimes(self).creation);
  }

  ASSERT_TRUE(writeFile(self, file));
  ASSERT_EQ(0, decompress(self, self));
  expectTimes(trailerOf(file), fileTimes(self));
  EXPECT_EQ(content, readFile(self));
}

TEST_F(CodecApi, UnopenableFilesGiveTheOpenStatuses) {
  const std::string in = dir_.path("in"), vx = dir_.path("in.vx");
  const std::string noFolder = dir_.path("no-such-folder") + "/x";
  ASSERT_TRUE(writeFile(in, makeContent(1000, 18)));
  EXPECT_EQ(kErrOpenNomFile, compress(dir_.path("missing"), vx, 9));
  EXPECT_FALSE(fileExists(vx)) << "a missing source creates no destination";
  EXPECT_EQ(kErrOpenFormatFile, compress(in, noFolder, 9));
  EXPECT_EQ(kErrOpenNomFile, compress(dir_.root(), vx, 9)) << "a folder is no normal file";

  ASSERT_EQ(0, compress(in, vx, 9));
  EXPECT_EQ(kErrOpenNomFile, decompress(vx, noFolder));
  EXPECT_EQ(kErrOpenNomFile, decompress(vx, dir_.root()));
  EXPECT_EQ(kErrOpenFormatFile, decompress(dir_.root(), dir_.path("out")));
  EXPECT_FALSE(fileExists(dir_.path("out")));
}

TEST_F(CodecApi, LargeFilesStreamThrough) {
  // Megabytes: many 4096-byte pieces each way, and a body larger than the stdio buffers.
  const Bytes content = makeContent(2 << 20, 19);
  const std::string in = dir_.path("big"), vx = dir_.path("big.vx"), out = dir_.path("big.out");
  ASSERT_TRUE(writeFile(in, content));
  for (int level : {1, 9}) {
    ASSERT_EQ(0, compress(in, vx, level));
    ASSERT_EQ(0, decompress(vx, out));
    EXPECT_TRUE(readFile(out) == content);
  }
}

}  // namespace
