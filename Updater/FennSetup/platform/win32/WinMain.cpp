// The program's entry: make the process safe to run from a download folder, then hand the real
// platform to the setup logic.
#include <windows.h>
// commctrl.h builds on the declarations of windows.h.
#include <commctrl.h>

#include "platform/win32/Win32Platform.h"
#include "setup/basMain.h"

namespace {

// Libraries are loaded from the system directory only, never from the folder the setup was
// started from (where a planted library of a system name could otherwise be picked up).
void restrictLibrarySearch() {
  using SetDefaultDllDirectoriesFn = BOOL(WINAPI*)(DWORD);
  HMODULE kernel = GetModuleHandleW(L"kernel32.dll");
  auto setDefault = reinterpret_cast<SetDefaultDllDirectoriesFn>(
      reinterpret_cast<void*>(GetProcAddress(kernel, "SetDefaultDllDirectories")));
  if (setDefault) setDefault(0x00000800 /* LOAD_LIBRARY_SEARCH_SYSTEM32 */);
  SetDllDirectoryW(L"");  // also takes the current directory out of the search
}

// Junctions and symbolic links that a standard user made are not followed by this process where
// Windows can refuse them (RedirectionGuard, Windows 10 22H2 and Windows 11). Bound at run time:
// older Windows and Wine lack it, and the held product folder guards the work there as well.
void refuseUsersRedirections() {
  struct RedirectionTrustPolicy {
    DWORD flags;  // bit 0: enforce
  };
  constexpr int kProcessRedirectionTrustPolicy = 16;  // PROCESS_MITIGATION_POLICY
  using SetProcessMitigationPolicyFn = BOOL(WINAPI*)(int, PVOID, SIZE_T);
  HMODULE kernel = GetModuleHandleW(L"kernel32.dll");
  auto setPolicy = reinterpret_cast<SetProcessMitigationPolicyFn>(
      reinterpret_cast<void*>(GetProcAddress(kernel, "SetProcessMitigationPolicy")));
  RedirectionTrustPolicy policy = {1};
  if (setPolicy) setPolicy(kProcessRedirectionTrustPolicy, &policy, sizeof policy);
}

}  // namespace

int WINAPI wWinMain(HINSTANCE, HINSTANCE, PWSTR, int) {
  restrictLibrarySearch();
  refuseUsersRedirections();
  INITCOMMONCONTROLSEX controls = {sizeof controls, ICC_STANDARD_CLASSES};
  InitCommonControlsEx(&controls);
  fenn::Win32Platform platform;
  fenn::Main(platform);
  return 0;
}
