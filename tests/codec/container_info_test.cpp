// vxtool's container inspection: ISO times, and agreement with the library itself: on intact,
// padded, damaged and cut containers, inspect reports the status DecompVXFormat2NomFile returns and
// the times it restores.
#include "container_info.h"

#include <gtest/gtest.h>
#include <zlib.h>

#include <random>

#include "test_support.h"

using namespace codec_test;

namespace {

TEST(ContainerInfo, FileTimesPrintAndParseAsUtcIso) {
  EXPECT_EQ("1601-01-01T00:00:00.0000000Z", vxtool::formatFileTime(0));
  EXPECT_EQ("1970-01-01T00:00:00.0000000Z", vxtool::formatFileTime(116444736000000000ull));
  EXPECT_EQ("2000-06-16T06:25:32.8100000Z",
            vxtool::formatFileTime(fileTime(2000, 6, 16, 6, 25, 32, 8100000)));
  EXPECT_EQ("2000-02-29T23:59:59.9999999Z",
            vxtool::formatFileTime(fileTime(2000, 2, 29, 23, 59, 59, 9999999)));
  EXPECT_EQ("1998-05-07T15:00:00.0000000Z", vxtool::formatFileTime(fileTime(1998, 5, 7, 15, 0, 0)));
  EXPECT_EQ("60056-05-28T05:36:10.9551615Z", vxtool::formatFileTime(~0ull));

  // What pack --times reads: every printed time of a four-digit year reads back, to 100 ns.
  uint64_t value = 0;
  std::string problem;
  for (uint64_t t : {uint64_t{0}, fileTime(2000, 2, 29, 23, 59, 59, 9999999),
                     fileTime(1998, 5, 7, 15, 0, 0), fileTime(9999, 12, 31, 23, 59, 59, 9999999)}) {
    EXPECT_TRUE(vxtool::parseFileTime(vxtool::formatFileTime(t), value, problem));
    EXPECT_EQ(t, value);
  }
  EXPECT_TRUE(vxtool::parseFileTime("2000-06-16T06:25:32.81Z", value, problem));
  EXPECT_EQ(fileTime(2000, 6, 16, 6, 25, 32, 8100000), value);
  EXPECT_TRUE(vxtool::parseFileTime("9223372036854775807", value, problem));
  EXPECT_EQ(0x7FFFFFFFFFFFFFFFull, value);
  const std::pair<const char*, const char*> refused[] = {
      {"", "empty"},
      {"9223372036854775808", "out of range"},
      {"1600-12-31T23:59:59Z", "before 1601"},
      {"2001-02-29T00:00:00Z", "not a valid date"},
      {"2000-01-01T24:00:00Z", "not a valid date"},
      {"2000-01-01T00:00:00.12345678Z", "neither"},
      {"2000-01-01T00:00:00.Z", "neither"},
      {"2000-01-01T00:00:00", "neither"},
      {"2000-01-01 00:00:00Z", "neither"},
      {"-5", "neither"},
  };
  for (const auto& [text, why] : refused) {
    EXPECT_FALSE(vxtool::parseFileTime(text, value, problem)) << text;
    EXPECT_NE(std::string::npos, problem.find(why)) << text << ": " << problem;
  }
}

TEST(ContainerInfo, AgreesWithTheLibraryOnAnyContainer) {
  WorkDir dir;
  const std::string in = dir.path("in"), vx = dir.path("vx"), out = dir.path("out");
  const Bytes content = makeContent(40000, 51);
  ASSERT_TRUE(writeFile(in, content));
  ASSERT_EQ(0, library().compress(in.c_str(), vx.c_str(), 9));
  const Bytes good = readFile(vx);

  std::mt19937 random(52);
  std::vector<Bytes> samples = {good, Bytes(good.begin(), good.end() - 1), Bytes(24, 0)};
  for (size_t padding = 1; padding <= 4; ++padding) {
    Bytes padded = good;
    padded.insert(padded.end(), padding, 0);
    samples.push_back(padded);
  }
  for (int i = 0; i < 40; ++i) {
    Bytes damaged = good;
    damaged[random() % damaged.size()] ^= static_cast<unsigned char>(1 + random() % 255);
    if (i % 3 == 0) damaged.resize(24 + random() % (damaged.size() - 24));
    samples.push_back(damaged);
  }
  for (size_t i = 0; i < samples.size(); ++i) {
    SCOPED_TRACE(i);
    const Bytes& sample = samples[i];
    const vxtool::ContainerInfo info = vxtool::inspectBuffer(sample.data(), sample.size());
    ASSERT_TRUE(writeFile(vx, sample));
    removeFile(out);  // a new destination holds what was decoded before a failure
    const int32_t status = library().decompress(vx.c_str(), out.c_str());
    EXPECT_EQ(status, info.status);
    EXPECT_EQ(sample.size(), info.fileSize);
    EXPECT_EQ(fileSize(out), info.contentSize);
    // The library restores the times that info shows (where the file system can hold them).
    const complib::FileTimes restored = fileTimes(out);
    if (info.times.lastWrite < fileTime(2100, 1, 1, 0, 0, 0) &&
        info.times.lastWrite > fileTime(1980, 1, 1, 0, 0, 0)) {
      EXPECT_EQ(info.times.lastWrite, restored.lastWrite);
    }
    if (info.status == 0) {
      EXPECT_TRUE(info.streamEnded);
      EXPECT_EQ(adler32(adler32(0, nullptr, 0), content.data(), static_cast<uInt>(content.size())),
                info.adler32);
    }
  }
}

TEST(ContainerInfo, ShortAndEmptyBuffersAreNotContainers) {
  const unsigned char bytes[23] = {0x78, 0xDA};
  for (size_t size = 0; size < 24; ++size) {
    const vxtool::ContainerInfo info = vxtool::inspectBuffer(bytes, size);
    EXPECT_EQ(complib::kErrOpenFormatFile, info.status);
    EXPECT_FALSE(info.hasTrailer);
  }
  EXPECT_EQ(complib::kErrOpenFormatFile, vxtool::inspectBuffer(nullptr, 100).status);
}

}  // namespace
