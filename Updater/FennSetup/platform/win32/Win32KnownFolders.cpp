// The known folder for 32-bit programs. shell32 and ole32 are bound at run time, from the system
// directory by full path: the setup's imports stay those of kernel32, user32, gdi32, advapi32 and
// comctl32, and shell32 and its many dependencies are loaded only when this is asked.
#include "platform/win32/Win32Platform.h"

namespace fenn {
namespace {

// FOLDERID_ProgramFilesX86, {7C5A40EF-A0FB-4BFC-874A-C0F2E0B9FA8E}: defined here rather than
// linked from a GUID library.
const GUID kProgramFilesX86 = {
    0x7c5a40ef, 0xa0fb, 0x4bfc, {0x87, 0x4a, 0xc0, 0xf2, 0xe0, 0xb9, 0xfa, 0x8e}};

using SHGetKnownFolderPathFn = HRESULT(WINAPI*)(const GUID&, DWORD, HANDLE, PWSTR*);
using CoTaskMemFreeFn = void(WINAPI*)(void*);

// A system library by its full path in the system directory, never by a search for its name.
HMODULE loadSystemLibrary(const std::wstring& systemDirectory, const wchar_t* name) {
  if (systemDirectory.empty()) return nullptr;
  return LoadLibraryExW((systemDirectory + L"\\" + name).c_str(), nullptr, 0);
}

}  // namespace

std::wstring Win32Platform::programFilesX86Folder() {
  const std::wstring system = systemDirectory();
  HMODULE shell = loadSystemLibrary(system, L"shell32.dll");
  HMODULE ole = loadSystemLibrary(system, L"ole32.dll");
  std::wstring folder;
  auto getPath = shell ? reinterpret_cast<SHGetKnownFolderPathFn>(
                             reinterpret_cast<void*>(GetProcAddress(shell, "SHGetKnownFolderPath")))
                       : nullptr;
  auto freeMemory = ole ? reinterpret_cast<CoTaskMemFreeFn>(
                              reinterpret_cast<void*>(GetProcAddress(ole, "CoTaskMemFree")))
                        : nullptr;
  if (getPath && freeMemory) {
    // Flags 0 and no token: the machine's folder as it is, the same for every user.
    PWSTR path = nullptr;
    if (SUCCEEDED(getPath(kProgramFilesX86, 0, nullptr, &path)) && path) folder = path;
    freeMemory(path);  // also when the call failed: it may have set the pointer
  }
  // Both stay loaded: shell32 may have started work of its own that outlives the call.
  while (!folder.empty() && folder.back() == L'\\') folder.pop_back();
  return folder;
}

}  // namespace fenn
