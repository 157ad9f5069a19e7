// A library planted beside the setup under the names of its codec library. Whoever loads it
// leaves "planted.loaded" beside it, so a scenario can prove that the setup never did.
#include <windows.h>

#include <string>

namespace {

void LeaveMarkerBeside(HINSTANCE self) {
  wchar_t path[MAX_PATH];
  DWORD n = GetModuleFileNameW(self, path, MAX_PATH);
  std::wstring marker(path, n);
  marker = marker.substr(0, marker.find_last_of(L'\\') + 1) + L"planted.loaded";
  HANDLE h = CreateFileW(marker.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS,
                         FILE_ATTRIBUTE_NORMAL, nullptr);
  if (h != INVALID_HANDLE_VALUE) CloseHandle(h);
}

}  // namespace

BOOL WINAPI DllMain(HINSTANCE self, DWORD reason, LPVOID) {
  if (reason == DLL_PROCESS_ATTACH) LeaveMarkerBeside(self);
  return TRUE;
}

// Same names as the codec's exports, so a by-name binding would find them: the call fails loudly.
extern "C" __declspec(dllexport) int __stdcall DecompVXFormat2NomFile(const char*, const char*) {
  return -3;
}
extern "C" __declspec(dllexport) int __stdcall Comp2VXFormatFile(const char*, const char*, int) {
  return -3;
}
