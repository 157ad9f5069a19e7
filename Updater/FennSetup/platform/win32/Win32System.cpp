// The kernel32 operations and the call into the codec library.
#include <vector>

#include "complib.h"
#include "platform/win32/Win32Platform.h"

namespace fenn {
namespace {

// Runs a "fill this buffer" call with a growing buffer; returns the text, empty on failure.
template <typename Call>
std::wstring filledBuffer(Call call) {
  std::vector<wchar_t> buffer(MAX_PATH + 1);
  for (;;) {
    UINT length = call(buffer.data(), static_cast<UINT>(buffer.size()));
    if (length == 0) return std::wstring();
    if (length < buffer.size()) return std::wstring(buffer.data(), length);
    buffer.resize(length + 1);
  }
}

}  // namespace

std::wstring Win32Platform::systemDirectory() {
  return filledBuffer([](wchar_t* buffer, UINT size) { return GetSystemDirectoryW(buffer, size); });
}

std::wstring Win32Platform::tempPath() {
  return filledBuffer([](wchar_t* buffer, UINT size) { return GetTempPathW(size, buffer); });
}

std::wstring Win32Platform::createTempFile(const std::wstring& folder, const std::wstring& prefix) {
  // The unique number 0 makes the call pick an unused name and create the file.
  wchar_t buffer[MAX_PATH + 1] = {};
  UINT unique = GetTempFileNameW(folder.c_str(), prefix.c_str(), 0, buffer);
  return unique ? std::wstring(buffer) : std::wstring();
}

void Win32Platform::sleepMilliseconds(uint32_t milliseconds) {
  Sleep(milliseconds);
}

uint32_t Win32Platform::logicalDrives() {
  return GetLogicalDrives();
}

uint32_t Win32Platform::driveType(const std::wstring& root) {
  return GetDriveTypeW(root.c_str());
}

ModuleHandle Win32Platform::loadLibrary(const std::wstring& fullPath) {
  // The library's own dependencies are looked up beside it, never on the default search path.
  HMODULE module = LoadLibraryExW(fullPath.c_str(), nullptr, LOAD_WITH_ALTERED_SEARCH_PATH);
  return reinterpret_cast<ModuleHandle>(module);
}

void Win32Platform::freeLibrary(ModuleHandle module) {
  if (module) FreeLibrary(reinterpret_cast<HMODULE>(module));
}

std::optional<int32_t> Win32Platform::callDecompress(ModuleHandle module,
                                                     const std::wstring& source,
                                                     const std::wstring& destination) {
  if (!module) return std::nullopt;
  // Bound on the module the caller loaded by full path: a library of the same name elsewhere on
  // the search path can never be the one that runs.
  FARPROC entry = GetProcAddress(reinterpret_cast<HMODULE>(module), "DecompVXFormat2NomFile");
  if (!entry) return std::nullopt;
  auto decompress = reinterpret_cast<DecompVXFormat2NomFileFn>(reinterpret_cast<void*>(entry));
  // The codec takes narrow paths in the ANSI code page; a name outside it cannot be opened there.
  const int32_t status = decompress(toAnsi(source).c_str(), toAnsi(destination).c_str());
  rethrowEventError();  // the codec pumps window messages while it works
  return status;
}

}  // namespace fenn
