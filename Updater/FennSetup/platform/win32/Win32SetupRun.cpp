// One setup at a time. Two setups at once would share the staged codec library and race for the
// same product files, so a second start finds the first one's named object, brings its panel to
// the front and ends.
#include "platform/win32/Win32Platform.h"

namespace fenn {
namespace {

// The system directory is the machine's, not the session's: the object is machine-wide where the
// process may make one (an elevated setup may), and the session's own otherwise.
const wchar_t* const kSetupRunNames[] = {L"Global\\FennSetup.SetupRun",
                                         L"Local\\FennSetup.SetupRun"};

}  // namespace

bool Win32Platform::claimSetupRun() {
  if (setupRun_) return true;
  for (const wchar_t* name : kSetupRunNames) {
    HANDLE object = CreateMutexW(nullptr, FALSE, name);
    if (object == nullptr) continue;  // no right to make it in that namespace
    if (GetLastError() == ERROR_ALREADY_EXISTS) {
      CloseHandle(object);
      return false;
    }
    setupRun_ = object;  // held until the process ends
    return true;
  }
  // Neither can be made: nothing can tell another setup apart, so this one runs.
  return true;
}

bool Win32Platform::activateOtherPanel() {
  for (HWND other = FindWindowExW(nullptr, nullptr, kPanelClass, nullptr); other != nullptr;
       other = FindWindowExW(nullptr, other, kPanelClass, nullptr)) {
    // A hidden panel belongs to a setup that is ending.
    if (other == panel_ || !IsWindowVisible(other)) continue;
    if (IsIconic(other)) ShowWindow(other, SW_RESTORE);
    SetForegroundWindow(other);
    return true;
  }
  return false;
}

}  // namespace fenn
