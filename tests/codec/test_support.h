// Helpers shared by the codec tests, for Linux and for Windows (run under Wine): a private work
// folder, whole-file reads and writes, file times as FILETIME values, the library's temporary
// copies, and the two operations bound the way a host binds them.
#pragma once

#include <complib.h>

#include <cstdint>
#include <string>
#include <vector>

#include "vx_format.h"

namespace codec_test {

using Bytes = std::vector<unsigned char>;

// The operations under test, bound the way a host binds them: libcomplib.so with dlopen/dlsym
// (Linux), CompLib.dll with LoadLibrary/GetProcAddress (Windows; see selectLibrary).
struct Library {
  Comp2VXFormatFileFn compress = nullptr;
  DecompVXFormat2NomFileFn decompress = nullptr;
};
const Library& library();

// Windows: which CompLib.dll the tests bind: "release" (next to the test program) or "debug"
// (debug\CompLib.dll). Call before the first library(). Ignored on Linux.
void selectLibrary(const std::string& variant);
std::string libraryPath();

// Deterministic content: text-like lines, random bytes and runs, `size` bytes from `seed`.
Bytes makeContent(size_t size, uint32_t seed);

bool writeFile(const std::string& path, const Bytes& data);
Bytes readFile(const std::string& path);
bool fileExists(const std::string& path);
uint64_t fileSize(const std::string& path);
void removeFile(const std::string& path);
// A second name for the file `existing`.
bool hardLink(const std::string& existing, const std::string& link);

// The times the file system reports, as the codec records them (FILETIME). On Linux the creation
// time is the birth time where the file system keeps one, else the last-write time.
complib::FileTimes fileTimes(const std::string& path);
// Sets last access and last write (and creation on Windows).
void setFileTimes(const std::string& path, const complib::FileTimes& times);

// Whether the platform restores the creation time (Windows: yes; Wine and Linux: no).
bool restoresCreationTime();

// A fresh, empty folder for one test, removed by the destructor.
class WorkDir {
 public:
  WorkDir();
  ~WorkDir();
  std::string path(const std::string& name) const;
  const std::string& root() const { return root_; }

 private:
  std::string root_;
};

// Names of the codec's temporary copies ("~md*.tmp") present in the user's temporary folder.
std::vector<std::string> tempCopies();

// FILETIME of a calendar date (UTC), plus 100 ns ticks.
uint64_t fileTime(int year, int month, int day, int hour, int minute, int second,
                  uint32_t ticks = 0);

}  // namespace codec_test
