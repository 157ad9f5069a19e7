// Windows side of the codec: the narrow (ANSI) Win32 file, temp and message calls.
#include <io.h>
#include <windows.h>

#include <cerrno>
#include <vector>

#include "os.h"

namespace complib::os {

namespace {

HANDLE h(intptr_t handle) {
  return reinterpret_cast<HANDLE>(handle);
}

uint64_t fromFileTime(const FILETIME& ft) {
  return (static_cast<uint64_t>(ft.dwHighDateTime) << 32) | ft.dwLowDateTime;
}

FILETIME toFileTime(uint64_t value) {
  FILETIME ft;
  ft.dwLowDateTime = static_cast<DWORD>(value);
  ft.dwHighDateTime = static_cast<DWORD>(value >> 32);
  return ft;
}

// errno for the Win32 error of a failed open, so that callers name the cause the same way on
// every OS.
int errnoFor(DWORD error) {
  switch (error) {
    case ERROR_FILE_NOT_FOUND:
    case ERROR_PATH_NOT_FOUND:
    case ERROR_INVALID_NAME:
    case ERROR_BAD_NETPATH:
      return ENOENT;
    case ERROR_ACCESS_DENIED:
    case ERROR_SHARING_VIOLATION:
    case ERROR_LOCK_VIOLATION:
    case ERROR_WRITE_PROTECT:
      return EACCES;
    case ERROR_NOT_ENOUGH_MEMORY:
    case ERROR_OUTOFMEMORY:
      return ENOMEM;
    case ERROR_DISK_FULL:
    case ERROR_HANDLE_DISK_FULL:
      return ENOSPC;
    default:
      return EIO;
  }
}

// The Win32 code an errno of the C runtime stands for, for a runtime call that failed without
// leaving one (a write that stored fewer bytes than asked, for one).
DWORD win32ErrorFor(int error) {
  switch (error) {
    case 0:
      return NO_ERROR;
    case ENOENT:
      return ERROR_FILE_NOT_FOUND;
    case EACCES:
      return ERROR_ACCESS_DENIED;
    case ENOMEM:
      return ERROR_NOT_ENOUGH_MEMORY;
    case ENOSPC:
      return ERROR_DISK_FULL;
    case EEXIST:
      return ERROR_FILE_EXISTS;
    case EFBIG:
      return ERROR_FILE_TOO_LARGE;
    default:
      return ERROR_GEN_FAILURE;
  }
}

bool timesOf(HANDLE file, FileTimes& times) {
  FILETIME creation, lastAccess, lastWrite;
  if (!GetFileTime(file, &creation, &lastAccess, &lastWrite)) return false;
  times.creation = fromFileTime(creation);
  times.lastAccess = fromFileTime(lastAccess);
  times.lastWrite = fromFileTime(lastWrite);
  return true;
}

}  // namespace

int lastError() {
  const DWORD code = GetLastError();
  return static_cast<int>(code != NO_ERROR ? code : win32ErrorFor(errno));
}

void clearLastError() {
  SetLastError(NO_ERROR);
  errno = 0;
}

std::string errorText(int code) {
  char* text = nullptr;
  const DWORD length = FormatMessageA(
      FORMAT_MESSAGE_ALLOCATE_BUFFER | FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS,
      nullptr, static_cast<DWORD>(code), 0, reinterpret_cast<char*>(&text), 0, nullptr);
  std::string result = length > 0 && text != nullptr ? std::string(text, length) : std::string();
  if (text != nullptr) LocalFree(text);
  // One line: without the line break and the full stop that system texts end with.
  while (!result.empty() && (result.back() == '\r' || result.back() == '\n' ||
                             result.back() == ' ' || result.back() == '.')) {
    result.pop_back();
  }
  if (result.empty()) result = "system error " + std::to_string(static_cast<unsigned>(code));
  return result;
}

void pumpMessages() {
  MSG msg;
  while (PeekMessageA(&msg, nullptr, 0, 0, PM_REMOVE)) {
    TranslateMessage(&msg);
    DispatchMessageA(&msg);
  }
}

std::FILE* openStream(const char* path, const char* mode) {
  // The C runtime already refuses folders here.
  return std::fopen(path, mode);
}

bool getStreamTimes(std::FILE* file, FileTimes& times) {
  const intptr_t handle = _get_osfhandle(_fileno(file));
  return handle != -1 && timesOf(reinterpret_cast<HANDLE>(handle), times);
}

File::File(const char* path, Access access) {
  const DWORD rights = access == Access::Read    ? GENERIC_READ
                       : access == Access::Write ? GENERIC_WRITE | FILE_READ_ATTRIBUTES
                                                 : GENERIC_READ | GENERIC_WRITE;
  HANDLE file = CreateFileA(path, rights, FILE_SHARE_READ, nullptr, OPEN_EXISTING,
                            FILE_ATTRIBUTE_NORMAL, nullptr);
  if (file == INVALID_HANDLE_VALUE) errno = errnoFor(GetLastError());
  handle_ = reinterpret_cast<intptr_t>(file);
}

File::~File() {
  if (isOpen()) CloseHandle(h(handle_));
}

bool File::isOpen() const {
  return h(handle_) != INVALID_HANDLE_VALUE;
}

bool File::size(uint64_t& size) {
  DWORD high = 0;
  const DWORD low = GetFileSize(h(handle_), &high);
  if (low == INVALID_FILE_SIZE && GetLastError() != NO_ERROR) return false;
  size = (static_cast<uint64_t>(high) << 32) | low;
  return true;
}

bool File::readAt(uint64_t offset, void* data, size_t length) {
  LARGE_INTEGER position;
  position.QuadPart = static_cast<LONGLONG>(offset);
  if (!SetFilePointerEx(h(handle_), position, nullptr, FILE_BEGIN)) return false;
  DWORD got = 0;
  return ReadFile(h(handle_), data, static_cast<DWORD>(length), &got, nullptr) && got == length;
}

bool File::append(const void* data, size_t length) {
  LARGE_INTEGER zero;
  zero.QuadPart = 0;
  if (!SetFilePointerEx(h(handle_), zero, nullptr, FILE_END)) return false;
  DWORD put = 0;
  return WriteFile(h(handle_), data, static_cast<DWORD>(length), &put, nullptr) && put == length;
}

bool File::getTimes(FileTimes& times) {
  return timesOf(h(handle_), times);
}

bool File::setTimes(const FileTimes& times) {
  const FILETIME creation = toFileTime(times.creation);
  const FILETIME lastAccess = toFileTime(times.lastAccess);
  const FILETIME lastWrite = toFileTime(times.lastWrite);
  return SetFileTime(h(handle_), &creation, &lastAccess, &lastWrite) != FALSE;
}

namespace {

bool seekTo(HANDLE file, uint64_t offset) {
  LARGE_INTEGER at;
  at.QuadPart = static_cast<LONGLONG>(offset);
  return SetFilePointerEx(file, at, nullptr, FILE_BEGIN) != FALSE;
}

bool setEnd(HANDLE file, uint64_t size) {
  return seekTo(file, size) && SetEndOfFile(file);
}

// Copies what is left of `in` to `out`, from their file pointers on.
bool copyHandle(HANDLE in, HANDLE out) {
  std::vector<char> chunk(64 * 1024);
  for (;;) {
    DWORD got = 0;
    if (!ReadFile(in, chunk.data(), static_cast<DWORD>(chunk.size()), &got, nullptr)) return false;
    if (got == 0) return true;
    DWORD put = 0;
    if (!WriteFile(out, chunk.data(), got, &put, nullptr) || put != got) return false;
  }
}

}  // namespace

bool File::replaceContent(const char* from) {
  HANDLE in = CreateFileA(from, GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING,
                          FILE_ATTRIBUTE_NORMAL, nullptr);
  if (in == INVALID_HANDLE_VALUE) return false;
  FileTimes times;
  const bool haveTimes = getTimes(times);
  LARGE_INTEGER newSize;
  uint64_t oldSize = 0;
  bool ok = GetFileSizeEx(in, &newSize) && size(oldSize);
  const uint64_t wanted = static_cast<uint64_t>(newSize.QuadPart);
  // Room first: growing the file allocates its clusters, so a full disk fails here, before a byte
  // of it changes. The file then gets its size and its times back.
  if (ok && wanted > oldSize && !setEnd(h(handle_), wanted)) {
    const DWORD error = GetLastError();
    setEnd(h(handle_), oldSize);
    if (haveTimes) setTimes(times);
    CloseHandle(in);
    SetLastError(error);
    return false;
  }
  ok = ok && seekTo(h(handle_), 0) && copyHandle(in, h(handle_)) && setEnd(h(handle_), wanted);
  const DWORD error = GetLastError();
  CloseHandle(in);
  SetLastError(error);
  return ok;
}

bool makeTempFile(char (&path)[kPathBufferSize]) {
  char folder[kPathBufferSize];
  const DWORD length = GetTempPathA(kPathBufferSize, folder);
  if (length == 0 || length >= kPathBufferSize) return false;
  // Number 0: the system picks a unique name and creates the empty file.
  return GetTempFileNameA(folder, "~md", 0, path) != 0;
}

bool makeTempCopy(const char* source, char (&path)[kPathBufferSize]) {
  if (!makeTempFile(path)) return false;
  if (!CopyFileA(source, path, FALSE)) {
    const DWORD error = GetLastError();
    deleteFile(path);
    SetLastError(error);
    return false;
  }
  return true;
}

bool lastErrorIsNotFound() {
  const DWORD error = GetLastError();
  return error == ERROR_FILE_NOT_FOUND || error == ERROR_PATH_NOT_FOUND;
}

void deleteFile(const char* path) {
  // CopyFileA carries a read-only attribute over from the source; the copy must go all the same.
  if (!DeleteFileA(path)) {
    SetFileAttributesA(path, FILE_ATTRIBUTE_NORMAL);
    DeleteFileA(path);
  }
}

namespace {

// The identity of an existing file or folder: its volume and its index there.
bool fileIdentity(const char* path, BY_HANDLE_FILE_INFORMATION& info) {
  // No access rights needed for the attributes; sharing everything disturbs no other opener.
  // Links and junctions are followed to what they point at.
  HANDLE file = CreateFileA(path, 0, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                            nullptr, OPEN_EXISTING, FILE_FLAG_BACKUP_SEMANTICS, nullptr);
  if (file == INVALID_HANDLE_VALUE) return false;
  const bool ok = GetFileInformationByHandle(file, &info) != FALSE;
  CloseHandle(file);
  return ok;
}

}  // namespace

bool isSameFile(const char* a, const char* b) {
  BY_HANDLE_FILE_INFORMATION first, second;
  return fileIdentity(a, first) && fileIdentity(b, second) &&
         first.dwVolumeSerialNumber == second.dwVolumeSerialNumber &&
         first.nFileIndexHigh == second.nFileIndexHigh &&
         first.nFileIndexLow == second.nFileIndexLow;
}

}  // namespace complib::os
