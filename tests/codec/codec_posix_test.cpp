// Linux only: what the file system offers for times, and an output write that falls short.
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>
#include <zlib.h>

#include "test_support.h"

using namespace codec_test;

namespace {

TEST(CodecPosix, ShortWriteIsErrnoAndFinal) {
  WorkDir dir;
  const std::string in = dir.path("in");
  ASSERT_TRUE(writeFile(in, makeContent(300000, 31)));
  // /dev/full accepts the open and refuses every write (ENOSPC): the pass returns -1 and no
  // trailer is appended (the device is not reopened or touched otherwise).
  EXPECT_EQ(Z_ERRNO, library().compress(in.c_str(), "/dev/full", 6));
}

TEST(CodecPosix, SameFileThroughLinksIsRefused) {
  WorkDir dir;
  const std::string in = dir.path("in"), soft = dir.path("soft"), hard = dir.path("hard");
  const Bytes content = makeContent(5000, 33);
  ASSERT_TRUE(writeFile(in, content));
  ASSERT_EQ(0, symlink(in.c_str(), soft.c_str()));
  ASSERT_EQ(0, link(in.c_str(), hard.c_str()));
  for (const std::string& other : {soft, hard}) {
    EXPECT_EQ(complib::kErrOpenFormatFile, library().compress(in.c_str(), other.c_str(), 9));
    EXPECT_EQ(complib::kErrOpenFormatFile, library().compress(other.c_str(), in.c_str(), 9));
  }
  EXPECT_EQ(content, readFile(in));
}

TEST(CodecPosix, TrailerRecordsBirthOrWriteTimeAccessAndWriteTimes) {
  WorkDir dir;
  const std::string in = dir.path("in"), vx = dir.path("vx");
  ASSERT_TRUE(writeFile(in, makeContent(1000, 32)));
  const complib::FileTimes set{0, fileTime(2010, 1, 1, 0, 0, 0, 1234567),
                               fileTime(2011, 2, 2, 0, 0, 0, 7654321)};
  setFileTimes(in, set);
  ASSERT_EQ(0, library().compress(in.c_str(), vx.c_str(), 6));
  const Bytes file = readFile(vx);
  const complib::FileTimes recorded = complib::decodeTrailer(&file[file.size() - 24]);
  const complib::FileTimes now = fileTimes(in);
  EXPECT_EQ(now.creation, recorded.creation);  // birth time (statx) or, without it, mtime
  EXPECT_EQ(now.lastAccess, recorded.lastAccess);
  EXPECT_EQ(set.lastWrite, recorded.lastWrite);  // at 100 ns resolution
}

}  // namespace
