// Linux only: what the file system offers for times, and reads and writes that fail.
#include <fcntl.h>
#include <gtest/gtest.h>
#include <sched.h>
#include <sys/mman.h>
#include <sys/mount.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>
#include <zlib.h>

#include <cstdio>
#include <functional>

#include "test_support.h"

using namespace codec_test;

namespace {

// Maps the file `path` (read-only) at address 0, so that /proc/self/mem reads its content from
// offset 0 and fails (EIO) at the first unmapped byte behind it. Needs CAP_SYS_RAWIO (the lowest
// page) and a process that is not emulated (under qemu-user the guest's address 0 is not the
// file's offset 0). False when /proc/self/mem does not read that way here.
bool mapAtAddressZero(const std::string& path, size_t size) {
  const int file = open(path.c_str(), O_RDONLY | O_CLOEXEC);
  if (file < 0) return false;
  void* at = mmap(nullptr, size, PROT_READ, MAP_PRIVATE | MAP_FIXED, file, 0);
  close(file);
  if (at == MAP_FAILED) return false;
  const int mem = open("/proc/self/mem", O_RDONLY | O_CLOEXEC);
  unsigned char probe = 0;
  const bool readable = mem >= 0 && pread(mem, &probe, 1, 0) == 1 &&
                        pread(mem, &probe, 1, static_cast<off_t>(size)) < 0;
  if (mem >= 0) close(mem);
  if (!readable) munmap(at, size);
  return readable;
}

// A failed read or write of the pass is final and reported as -1; no container is ever completed
// over content that was cut short.
TEST(CodecPosix, ReadOrWriteErrorsAreErrnoAndLeaveNoContainer) {
  WorkDir dir;
  const std::string in = dir.path("in"), vx = dir.path("vx");
  ASSERT_TRUE(writeFile(in, makeContent(300000, 31)));
  // /dev/full accepts the open and refuses every write (ENOSPC): the pass returns -1 and no
  // trailer is appended (the device is not reopened or touched otherwise).
  EXPECT_EQ(Z_ERRNO, library().compress(in.c_str(), "/dev/full", 6));

  // /proc/self/mem opens and then fails to read (EIO at the unmapped offset 0). Before, that read
  // ended the input: a 32-byte container of an empty file and status 0.
  EXPECT_EQ(Z_ERRNO, library().compress("/proc/self/mem", vx.c_str(), 9));
  EXPECT_EQ(0u, fileSize(vx)) << "no stream was started, and no trailer appended";

  // The same read failing part-way, after 1 MiB was read: where this process may map address 0.
  const size_t mapped = 1 << 20;
  ASSERT_TRUE(writeFile(dir.path("low"), makeContent(mapped, 34)));
  if (!mapAtAddressZero(dir.path("low"), mapped)) {
    std::printf(
        "note: /proc/self/mem cannot be made to fail part-way here (no CAP_SYS_RAWIO, or "
        "emulated); only its failing first read was tried\n");
    return;
  }
  const int32_t status = library().compress("/proc/self/mem", vx.c_str(), 9);
  munmap(nullptr, mapped);
  EXPECT_EQ(Z_ERRNO, status);
  const Bytes written = readFile(vx);
  EXPECT_GT(written.size(), 2u) << "compressed output of the part that was read";
  Bytes plain(mapped + 1);
  uLongf length = plain.size();
  EXPECT_NE(Z_OK, uncompress(plain.data(), &length, written.data(), written.size()))
      << "the stream must not be finished";
}

// Runs `check` in a child process that has a tmpfs of `bytes` mounted at `folder`, in a mount
// namespace of its own, so that nothing stays mounted whatever happens. Returns the child's exit
// code (`check`'s result), or 77 where no tmpfs may be mounted.
int onSmallFileSystem(const std::string& folder, size_t bytes, const std::function<int()>& check) {
  const pid_t child = fork();
  if (child == 0) {
    const std::string size = "size=" + std::to_string(bytes);
    if (unshare(CLONE_NEWNS) != 0 || mount(nullptr, "/", nullptr, MS_REC | MS_PRIVATE, nullptr) ||
        mount("tmpfs", folder.c_str(), "tmpfs", 0, size.c_str()) != 0) {
      _exit(77);
    }
    _exit(check());
  }
  int status = 0;
  if (child < 0 || waitpid(child, &status, 0) != child) return -1;
  return WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
}

// The decode goes to the temporary folder; the existing destination lies on a disk that cannot
// take its new content. -1, and the destination as it was, bytes and times.
TEST(CodecPosix, AFullDiskLeavesAnExistingDestinationAsItWas) {
  WorkDir dir;
  const std::string in = dir.path("in"), vx = dir.path("vx"), small = dir.path("small");
  ASSERT_TRUE(writeFile(in, makeContent(300000, 35)));
  ASSERT_EQ(0, library().compress(in.c_str(), vx.c_str(), 9));
  ASSERT_EQ(0, mkdir(small.c_str(), 0700));
  const int result = onSmallFileSystem(small, 200 * 1024, [&] {
    const std::string installed = small + "/installed";
    const Bytes old = makeContent(110000, 36);
    if (!writeFile(installed, old)) return 2;
    setFileTimes(installed, {0, fileTime(2001, 1, 1, 0, 0, 0), fileTime(2002, 2, 2, 0, 0, 0)});
    const complib::FileTimes before = fileTimes(installed);
    if (library().decompress(vx.c_str(), installed.c_str()) != Z_ERRNO) return 3;
    const complib::FileTimes after = fileTimes(installed);  // before the read sets the access time
    if (after.lastAccess != before.lastAccess || after.lastWrite != before.lastWrite) return 5;
    return readFile(installed) == old ? 0 : 4;
  });
  if (result == 77) {
    std::printf("note: no tmpfs may be mounted here; the full disk was not tried\n");
    return;
  }
  EXPECT_EQ(0, result) << "2: setup, 3: status, 4: content, 5: times";
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
