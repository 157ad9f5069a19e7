#include "test_support.h"

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <stdexcept>

#ifdef _WIN32
#include <windows.h>
#else
#include <dirent.h>
#include <dlfcn.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>
#endif

namespace codec_test {

namespace {

std::string g_variant = "release";

std::string tempFolder() {
#ifdef _WIN32
  char buffer[MAX_PATH + 1];
  const DWORD n = GetTempPathA(sizeof buffer, buffer);
  return std::string(buffer, n);
#else
  const char* folder = std::getenv("TMPDIR");
  return std::string(folder != nullptr && *folder != '\0' ? folder : "/tmp") + "/";
#endif
}

uint32_t next(uint32_t& state) {
  // xorshift32: fast, deterministic, good enough to defeat deflate.
  state ^= state << 13;
  state ^= state >> 17;
  state ^= state << 5;
  return state;
}

}  // namespace

void selectLibrary(const std::string& variant) {
  g_variant = variant;
}

#ifdef _WIN32

std::string libraryPath() {
  char exe[MAX_PATH + 1];
  const DWORD n = GetModuleFileNameA(nullptr, exe, MAX_PATH);
  std::string folder(exe, n);
  folder.erase(folder.find_last_of("\\/") + 1);
  // Wine names a program outside its drives "unix\path\..."; as "\\?\unix\..." it loads.
  if (folder.rfind("unix\\", 0) == 0) folder.insert(0, "\\\\?\\");
  return folder + (g_variant == "debug" ? "debug\\CompLib.dll" : "CompLib.dll");
}

const Library& library() {
  static const Library bound = [] {
    Library lib;
    const std::string path = libraryPath();
    HMODULE module = LoadLibraryA(path.c_str());
    if (module == nullptr) throw std::runtime_error("LoadLibrary failed: " + path);
    lib.compress = reinterpret_cast<Comp2VXFormatFileFn>(
        reinterpret_cast<void*>(GetProcAddress(module, "Comp2VXFormatFile")));
    lib.decompress = reinterpret_cast<DecompVXFormat2NomFileFn>(
        reinterpret_cast<void*>(GetProcAddress(module, "DecompVXFormat2NomFile")));
    if (lib.compress == nullptr || lib.decompress == nullptr) {
      throw std::runtime_error("GetProcAddress failed: " + path);
    }
    return lib;
  }();
  return bound;
}

#else

std::string libraryPath() {
  return COMPLIB_SO_PATH;
}

const Library& library() {
  static const Library bound = [] {
    Library lib;
    void* module = dlopen(COMPLIB_SO_PATH, RTLD_NOW | RTLD_LOCAL);
    if (module == nullptr) throw std::runtime_error(std::string("dlopen failed: ") + dlerror());
    lib.compress = reinterpret_cast<Comp2VXFormatFileFn>(dlsym(module, "Comp2VXFormatFile"));
    lib.decompress =
        reinterpret_cast<DecompVXFormat2NomFileFn>(dlsym(module, "DecompVXFormat2NomFile"));
    if (lib.compress == nullptr || lib.decompress == nullptr) {
      throw std::runtime_error("dlsym failed: " COMPLIB_SO_PATH);
    }
    return lib;
  }();
  return bound;
}

#endif

Bytes makeContent(size_t size, uint32_t seed) {
  static const char* const kWords[] = {"codec ",  "payload ", "Tolvarine ", "2000 ",
                                       "stream ", "trailer ", "deflate ",   "zlib ",
                                       "\r\n",    "setup ",   "0x78 ",      "window "};
  Bytes data;
  data.reserve(size);
  uint32_t state = seed * 2654435761u + 1;
  while (data.size() < size) {
    const uint32_t kind = next(state) % 8;
    const size_t piece = 256 + next(state) % 8192;
    for (size_t i = 0; i < piece && data.size() < size; ++i) {
      if (kind < 4) {  // text-like
        const char* word = kWords[next(state) % 12];
        for (; *word != '\0' && data.size() < size; ++word, ++i) data.push_back(*word);
      } else if (kind < 7) {  // incompressible
        data.push_back(static_cast<unsigned char>(next(state)));
      } else {  // a run
        data.push_back(static_cast<unsigned char>(seed));
      }
    }
  }
  return data;
}

bool writeFile(const std::string& path, const Bytes& data) {
  std::FILE* f = std::fopen(path.c_str(), "wb");
  if (f == nullptr) return false;
  const bool ok = data.empty() || std::fwrite(data.data(), 1, data.size(), f) == data.size();
  return std::fclose(f) == 0 && ok;
}

Bytes readFile(const std::string& path) {
  Bytes data;
  std::FILE* f = std::fopen(path.c_str(), "rb");
  if (f == nullptr) throw std::runtime_error("cannot read " + path);
  unsigned char buffer[65536];
  size_t n;
  while ((n = std::fread(buffer, 1, sizeof buffer, f)) > 0)
    data.insert(data.end(), buffer, buffer + n);
  std::fclose(f);
  return data;
}

void removeFile(const std::string& path) {
  std::remove(path.c_str());
}

#ifdef _WIN32

bool fileExists(const std::string& path) {
  return GetFileAttributesA(path.c_str()) != INVALID_FILE_ATTRIBUTES;
}

bool hardLink(const std::string& existing, const std::string& link) {
  return CreateHardLinkA(link.c_str(), existing.c_str(), nullptr) != FALSE;
}

uint64_t fileSize(const std::string& path) {
  WIN32_FILE_ATTRIBUTE_DATA data;
  if (!GetFileAttributesExA(path.c_str(), GetFileExInfoStandard, &data)) return 0;
  return (static_cast<uint64_t>(data.nFileSizeHigh) << 32) | data.nFileSizeLow;
}

namespace {
uint64_t value(const FILETIME& ft) {
  return (static_cast<uint64_t>(ft.dwHighDateTime) << 32) | ft.dwLowDateTime;
}
FILETIME filetime(uint64_t v) {
  FILETIME ft;
  ft.dwLowDateTime = static_cast<DWORD>(v);
  ft.dwHighDateTime = static_cast<DWORD>(v >> 32);
  return ft;
}
}  // namespace

complib::FileTimes fileTimes(const std::string& path) {
  HANDLE h = CreateFileA(path.c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr,
                         OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
  if (h == INVALID_HANDLE_VALUE) throw std::runtime_error("cannot open " + path);
  FILETIME c, a, w;
  const BOOL ok = GetFileTime(h, &c, &a, &w);
  CloseHandle(h);
  if (!ok) throw std::runtime_error("GetFileTime failed: " + path);
  return complib::FileTimes{value(c), value(a), value(w)};
}

void setFileTimes(const std::string& path, const complib::FileTimes& times) {
  HANDLE h = CreateFileA(path.c_str(), GENERIC_WRITE, FILE_SHARE_READ, nullptr, OPEN_EXISTING,
                         FILE_ATTRIBUTE_NORMAL, nullptr);
  if (h == INVALID_HANDLE_VALUE) throw std::runtime_error("cannot open " + path);
  const FILETIME c = filetime(times.creation), a = filetime(times.lastAccess),
                 w = filetime(times.lastWrite);
  const BOOL ok = SetFileTime(h, &c, &a, &w);
  CloseHandle(h);
  if (!ok) throw std::runtime_error("SetFileTime failed: " + path);
}

// Windows restores all three; Wine keeps no creation time of its own (it reports the last-write
// time as creation time and ignores a new one), so there only access and write are compared.
bool restoresCreationTime() {
  static const bool wine =
      GetProcAddress(GetModuleHandleA("ntdll.dll"), "wine_get_version") != nullptr;
  return !wine;
}

WorkDir::WorkDir() {
  static int counter = 0;
  root_ = tempFolder() + "codec-test-" + std::to_string(GetCurrentProcessId()) + "-" +
          std::to_string(++counter);
  CreateDirectoryA(root_.c_str(), nullptr);
}

WorkDir::~WorkDir() {
  WIN32_FIND_DATAA found;
  HANDLE h = FindFirstFileA((root_ + "\\*").c_str(), &found);
  if (h != INVALID_HANDLE_VALUE) {
    do {
      const std::string name = found.cFileName;
      if (name == "." || name == "..") continue;
      const std::string full = root_ + "\\" + name;
      SetFileAttributesA(full.c_str(), FILE_ATTRIBUTE_NORMAL);
      if (found.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) {
        RemoveDirectoryA(full.c_str());
      } else {
        DeleteFileA(full.c_str());
      }
    } while (FindNextFileA(h, &found));
    FindClose(h);
  }
  RemoveDirectoryA(root_.c_str());
}

std::string WorkDir::path(const std::string& name) const {
  return root_ + "\\" + name;
}

std::vector<std::string> tempCopies() {
  std::vector<std::string> names;
  WIN32_FIND_DATAA found;
  HANDLE h = FindFirstFileA((tempFolder() + "~md*.tmp").c_str(), &found);
  if (h != INVALID_HANDLE_VALUE) {
    do names.push_back(found.cFileName);
    while (FindNextFileA(h, &found));
    FindClose(h);
  }
  return names;
}

#else

bool fileExists(const std::string& path) {
  struct stat st;
  return stat(path.c_str(), &st) == 0;
}

bool hardLink(const std::string& existing, const std::string& link) {
  return ::link(existing.c_str(), link.c_str()) == 0;
}

uint64_t fileSize(const std::string& path) {
  struct stat st;
  return stat(path.c_str(), &st) == 0 ? static_cast<uint64_t>(st.st_size) : 0;
}

namespace {
constexpr int64_t kEpochDifference = 11644473600LL;
uint64_t toFileTime(int64_t sec, int64_t nsec) {
  return static_cast<uint64_t>(sec + kEpochDifference) * 10000000u +
         static_cast<uint64_t>(nsec / 100);
}
timespec toTimespec(uint64_t ft) {
  timespec ts{};
  ts.tv_sec = static_cast<time_t>(static_cast<int64_t>(ft / 10000000u) - kEpochDifference);
  ts.tv_nsec = static_cast<long>(ft % 10000000u) * 100;
  return ts;
}
}  // namespace

complib::FileTimes fileTimes(const std::string& path) {
  struct statx stx;
  if (statx(AT_FDCWD, path.c_str(), AT_STATX_SYNC_AS_STAT, STATX_ATIME | STATX_MTIME | STATX_BTIME,
            &stx) != 0) {
    throw std::runtime_error("cannot stat " + path);
  }
  const auto& birth = (stx.stx_mask & STATX_BTIME) ? stx.stx_btime : stx.stx_mtime;
  return complib::FileTimes{toFileTime(birth.tv_sec, birth.tv_nsec),
                            toFileTime(stx.stx_atime.tv_sec, stx.stx_atime.tv_nsec),
                            toFileTime(stx.stx_mtime.tv_sec, stx.stx_mtime.tv_nsec)};
}

void setFileTimes(const std::string& path, const complib::FileTimes& times) {
  const timespec ts[2] = {toTimespec(times.lastAccess), toTimespec(times.lastWrite)};
  if (utimensat(AT_FDCWD, path.c_str(), ts, 0) != 0) {
    throw std::runtime_error("cannot set times of " + path);
  }
}

bool restoresCreationTime() {
  return false;
}

WorkDir::WorkDir() {
  std::string pattern = tempFolder() + "codec-test-XXXXXX";
  if (mkdtemp(pattern.data()) == nullptr) throw std::runtime_error("mkdtemp failed");
  root_ = pattern;
}

WorkDir::~WorkDir() {
  if (DIR* dir = opendir(root_.c_str())) {
    while (dirent* entry = readdir(dir)) {
      const std::string name = entry->d_name;
      if (name == "." || name == "..") continue;
      const std::string full = root_ + "/" + name;
      if (unlink(full.c_str()) != 0) rmdir(full.c_str());
    }
    closedir(dir);
  }
  rmdir(root_.c_str());
}

std::string WorkDir::path(const std::string& name) const {
  return root_ + "/" + name;
}

std::vector<std::string> tempCopies() {
  std::vector<std::string> names;
  if (DIR* dir = opendir(tempFolder().c_str())) {
    while (dirent* entry = readdir(dir)) {
      const std::string name = entry->d_name;
      if (name.size() >= 7 && name.compare(0, 3, "~md") == 0 &&
          name.compare(name.size() - 4, 4, ".tmp") == 0) {
        names.push_back(name);
      }
    }
    closedir(dir);
  }
  return names;
}

#endif

uint64_t fileTime(int year, int month, int day, int hour, int minute, int second, uint32_t ticks) {
  // Days from 1601-01-01 to the date (proleptic Gregorian).
  auto daysBefore = [](int y) {
    const int64_t n = y - 1601;
    return n * 365 + n / 4 - n / 100 + n / 400;
  };
  static const int kCumulative[] = {0, 31, 59, 90, 120, 151, 181, 212, 243, 273, 304, 334};
  const bool leap = (year % 4 == 0 && year % 100 != 0) || year % 400 == 0;
  int64_t days = daysBefore(year) + kCumulative[month - 1] + (day - 1);
  if (leap && month > 2) ++days;
  const int64_t seconds = days * 86400 + hour * 3600 + minute * 60 + second;
  return static_cast<uint64_t>(seconds) * 10000000u + ticks;
}

}  // namespace codec_test
