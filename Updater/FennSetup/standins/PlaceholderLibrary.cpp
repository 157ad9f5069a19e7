// A placeholder for a Windows system library carried as a payload by setups built without the
// real payload files. It does nothing: it loads, answers one query and unloads.
#include <windows.h>

BOOL WINAPI DllMain(HINSTANCE, DWORD, LPVOID) {
  return TRUE;
}

// Tells a caller that this library is a placeholder and no real system library.
extern "C" __declspec(dllexport) const char* FennPlaceholderDescription() {
  return "FennSetup placeholder library (stand-in, not a system library)";
}
