// What the codec needs from the operating system beyond the standard library's buffered streams.
// One implementation per OS: os_win32.cpp (the narrow Win32 file, temp and message calls) and
// os_posix.cpp (Linux). The exported operations (complib.cpp) are written once against this.
#pragma once

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <string>

#include "vx_format.h"

namespace complib::os {

// The system's code for the failure of the file call just made: errno on Linux; on Windows the
// code GetLastError reports or, when the C runtime failed without one, the code its errno stands
// for. So a full disk reads as a full disk on both.
int lastError();
// Clears that code before a call whose failure it is to explain.
void clearLastError();
// The system's own one-line text for such a code.
std::string errorText(int code);

// Dispatches every message waiting in the calling thread's queue (Windows); nothing elsewhere.
void pumpMessages();

// Opens one of the engine's buffered streams ("rb" or "wb"); nullptr when that fails. Folders are
// refused on every OS.
std::FILE* openStream(const char* path, const char* mode);

// The times of the file behind an open stream, as File::getTimes reads them. Taken from the open
// file, never by opening its path again: a pipe cannot be reopened, and the path may by now name
// another file.
bool getStreamTimes(std::FILE* file, FileTimes& times);

// A file that the exported operations open themselves: always an existing file, shared for reading
// with other openers. Closed by the destructor.
class File {
 public:
  // Write also lets the file's size and times be read (replaceContent needs them).
  enum class Access { Read, ReadWrite, Write };

  File(const char* path, Access access);
  ~File();
  File(const File&) = delete;
  File& operator=(const File&) = delete;

  // False after a failed open; lastError() then says why.
  bool isOpen() const;
  bool size(uint64_t& size);
  // Reads exactly `length` bytes at `offset`.
  bool readAt(uint64_t offset, void* data, size_t length);
  // Writes all `length` bytes at the end of the file.
  bool append(const void* data, size_t length);
  // Windows: the three times GetFileTime reports. Linux: see os_posix.cpp.
  bool getTimes(FileTimes& times);
  bool setTimes(const FileTimes& times);
  // Replaces the content of this file (opened for writing) with that of the file `from`, in place:
  // the same file, so its links, attributes and permissions stay. Room for the new content is
  // taken before a byte changes, so a full disk (or a file-size limit) fails with the file as it
  // was, times included; only a write that fails after that leaves it partly replaced. False on
  // failure.
  bool replaceContent(const char* from);

 private:
  intptr_t handle_;
};

// The temporary folder and the temporary file name are each received into a buffer of this size.
constexpr size_t kPathBufferSize = 2048;

// Makes a new, empty, uniquely named file with the prefix "~md" in the user's temporary folder;
// `path` receives its name. False when that fails.
bool makeTempFile(char (&path)[kPathBufferSize]);

// The same, with `source` copied over it. On failure nothing is left behind and false is returned.
bool makeTempCopy(const char* source, char (&path)[kPathBufferSize]);

// Whether lastError(), after a failed open, says that the path names no file (as opposed to one
// that is there but cannot be opened).
bool lastErrorIsNotFound();

// Deletes a file; failures are ignored.
void deleteFile(const char* path);

// Whether both paths name one existing file, by identity rather than by spelling: device and
// inode on Linux, volume serial number and file index on Windows. So links, other spellings and
// letter case all count. False when either cannot be opened.
bool isSameFile(const char* a, const char* b);

}  // namespace complib::os
