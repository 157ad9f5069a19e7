// Entry point of CompLib.dll: the library has no initialisation or shutdown of its own, so process
// and thread attach and detach only report success.
#include <windows.h>

extern "C" BOOL WINAPI DllMain(HINSTANCE, DWORD, LPVOID) {
  return TRUE;
}
