// Linux (POSIX) side of the codec. There is no message queue, so pumpMessages does nothing.
//
// File times: Linux has no settable creation time. The trailer records the birth time when the
// file system reports one (statx, STATX_BTIME), else the last-write time, and the last-access and
// last-write times, all converted to FILETIME at the file system's resolution (whole 100 ns).
// Restoring sets the last-access and last-write times (futimens); the creation time is left to the
// file system.
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "os.h"

namespace complib::os {

namespace {

// Seconds from 1601-01-01 (FILETIME's epoch) to 1970-01-01 (Unix's).
constexpr int64_t kEpochDifference = 11644473600LL;
constexpr int64_t kTicksPerSecond = 10000000LL;

uint64_t toFileTime(int64_t seconds, int64_t nanoseconds) {
  if (seconds < -kEpochDifference) return 0;  // before 1601: not representable
  return static_cast<uint64_t>(seconds + kEpochDifference) * kTicksPerSecond +
         static_cast<uint64_t>(nanoseconds / 100);
}

timespec toTimespec(uint64_t fileTime) {
  timespec ts{};
  ts.tv_sec =
      static_cast<time_t>(static_cast<int64_t>(fileTime / kTicksPerSecond) - kEpochDifference);
  ts.tv_nsec = static_cast<long>(fileTime % kTicksPerSecond) * 100;
  return ts;
}

int fd(intptr_t handle) {
  return static_cast<int>(handle);
}

bool timesOf(int descriptor, FileTimes& times) {
#ifdef STATX_BTIME
  struct statx stx;
  if (statx(descriptor, "", AT_EMPTY_PATH | AT_STATX_SYNC_AS_STAT,
            STATX_ATIME | STATX_MTIME | STATX_BTIME, &stx) == 0) {
    const auto& birth = (stx.stx_mask & STATX_BTIME) ? stx.stx_btime : stx.stx_mtime;
    times.creation = toFileTime(birth.tv_sec, birth.tv_nsec);
    times.lastAccess = toFileTime(stx.stx_atime.tv_sec, stx.stx_atime.tv_nsec);
    times.lastWrite = toFileTime(stx.stx_mtime.tv_sec, stx.stx_mtime.tv_nsec);
    return true;
  }
#endif
  struct stat st;
  if (fstat(descriptor, &st) != 0) return false;
  times.creation = toFileTime(st.st_mtim.tv_sec, st.st_mtim.tv_nsec);
  times.lastAccess = toFileTime(st.st_atim.tv_sec, st.st_atim.tv_nsec);
  times.lastWrite = times.creation;
  return true;
}

bool writeAll(int out, const unsigned char* data, size_t length) {
  while (length > 0) {
    const ssize_t put = write(out, data, length);
    if (put < 0 && errno == EINTR) continue;
    if (put <= 0) return false;
    data += put;
    length -= static_cast<size_t>(put);
  }
  return true;
}

// Copies what is left of `in` to `out`: in the kernel where the file system offers it, with a
// plain read/write loop otherwise.
bool copyContent(int in, int out) {
  for (;;) {
    const ssize_t n = copy_file_range(in, nullptr, out, nullptr, 1 << 30, 0);
    if (n > 0) continue;
    if (n == 0) return true;
    if (errno == EINTR) continue;
    if (errno == EXDEV || errno == ENOSYS || errno == EINVAL || errno == EOPNOTSUPP) break;
    return false;
  }
  unsigned char chunk[64 * 1024];
  for (;;) {
    const ssize_t n = read(in, chunk, sizeof chunk);
    if (n < 0 && errno == EINTR) continue;
    if (n < 0) return false;
    if (n == 0) return true;
    if (!writeAll(out, chunk, static_cast<size_t>(n))) return false;
  }
}

}  // namespace

int lastError() {
  return errno;
}

void clearLastError() {
  errno = 0;
}

std::string errorText(int code) {
  return std::strerror(code);
}

void pumpMessages() {}

std::FILE* openStream(const char* path, const char* mode) {
  std::FILE* file = std::fopen(path, mode);
  if (file == nullptr) return nullptr;
  struct stat st;
  int error = 0;
  if (fstat(fileno(file), &st) != 0) {
    error = errno;
  } else if (S_ISDIR(st.st_mode)) {
    error = EISDIR;
  }
  if (error != 0) {
    std::fclose(file);
    errno = error;
    return nullptr;
  }
  return file;
}

bool getStreamTimes(std::FILE* file, FileTimes& times) {
  return timesOf(fileno(file), times);
}

File::File(const char* path, Access access) {
  const int flags = access == Access::Read ? O_RDONLY : access == Access::Write ? O_WRONLY : O_RDWR;
  int f = open(path, flags | O_CLOEXEC);
  struct stat st;
  if (f >= 0 && fstat(f, &st) != 0) {
    const int error = errno;
    close(f);
    f = -1;
    errno = error;
  } else if (f >= 0 && S_ISDIR(st.st_mode)) {
    close(f);
    f = -1;
    errno = EISDIR;
  }
  handle_ = f;
}

File::~File() {
  if (handle_ >= 0) close(fd(handle_));
}

bool File::isOpen() const {
  return handle_ >= 0;
}

bool File::size(uint64_t& size) {
  struct stat st;
  if (fstat(fd(handle_), &st) != 0) return false;
  size = static_cast<uint64_t>(st.st_size);
  return true;
}

bool File::readAt(uint64_t offset, void* data, size_t length) {
  auto* p = static_cast<unsigned char*>(data);
  while (length > 0) {
    const ssize_t got = pread(fd(handle_), p, length, static_cast<off_t>(offset));
    if (got < 0 && errno == EINTR) continue;
    if (got <= 0) return false;
    p += got;
    offset += static_cast<uint64_t>(got);
    length -= static_cast<size_t>(got);
  }
  return true;
}

bool File::append(const void* data, size_t length) {
  if (lseek(fd(handle_), 0, SEEK_END) < 0) return false;
  return writeAll(fd(handle_), static_cast<const unsigned char*>(data), length);
}

bool File::getTimes(FileTimes& times) {
  return timesOf(fd(handle_), times);
}

bool File::setTimes(const FileTimes& times) {
  const timespec ts[2] = {toTimespec(times.lastAccess), toTimespec(times.lastWrite)};
  return futimens(fd(handle_), ts) == 0;
}

namespace {

// The descriptor of a new, empty "~md" file in the temporary folder (named by `path`), or -1.
int createTemp(char (&path)[kPathBufferSize]) {
  // The folder as GetTempPath finds it on Windows: from the environment, else the system's.
  const char* folder = std::getenv("TMPDIR");
  if (folder == nullptr || *folder == '\0') folder = "/tmp";
  const int length = std::snprintf(path, kPathBufferSize, "%s/~mdXXXXXX.tmp", folder);
  if (length < 0 || static_cast<size_t>(length) >= kPathBufferSize) return -1;
  return mkstemps(path, 4);
}

}  // namespace

bool makeTempFile(char (&path)[kPathBufferSize]) {
  const int out = createTemp(path);
  if (out < 0) return false;
  close(out);
  return true;
}

bool makeTempCopy(const char* source, char (&path)[kPathBufferSize]) {
  const int out = createTemp(path);
  if (out < 0) return false;
  const int in = open(source, O_RDONLY | O_CLOEXEC);
  bool ok = in >= 0 && copyContent(in, out);
  int error = errno;
  if (in >= 0) close(in);
  if (close(out) != 0 && ok) {
    ok = false;
    error = errno;
  }
  if (!ok) unlink(path);
  errno = error;
  return ok;
}

bool File::replaceContent(const char* from) {
  const int in = open(from, O_RDONLY | O_CLOEXEC);
  if (in < 0) return false;
  FileTimes times;
  const bool haveTimes = getTimes(times);
  struct stat source, target;
  bool ok = fstat(in, &source) == 0 && fstat(fd(handle_), &target) == 0;
  int error = errno;
  // Room first: the blocks for the new size are allocated (posix_fallocate, which a file-size
  // limit refuses too), so a full disk fails here, before a byte of the file changes. It then gets
  // its size and its times back.
  if (ok && source.st_size > target.st_size) {
    error = posix_fallocate(fd(handle_), target.st_size, source.st_size - target.st_size);
    if (error != 0) {
      if (ftruncate(fd(handle_), target.st_size) != 0) {
        // Should even that fail, the file keeps its content and only the room it was given.
      }
      if (haveTimes) setTimes(times);
      close(in);
      errno = error;
      return false;
    }
  }
  ok = ok && lseek(fd(handle_), 0, SEEK_SET) == 0 && copyContent(in, fd(handle_)) &&
       ftruncate(fd(handle_), source.st_size) == 0;
  if (!ok) error = errno;
  close(in);
  errno = error;
  return ok;
}

bool lastErrorIsNotFound() {
  return errno == ENOENT;
}

void deleteFile(const char* path) {
  unlink(path);
}

bool isSameFile(const char* a, const char* b) {
  struct stat first, second;
  return stat(a, &first) == 0 && stat(b, &second) == 0 && first.st_dev == second.st_dev &&
         first.st_ino == second.st_ino;
}

}  // namespace complib::os
