// One setup at a time. Two setups at once would share the staged codec library and race for the
// same product files, so a second start finds the first one's claim, brings its panel to the
// front and ends.
//
// The claim is a file in the system directory, the folder whose staged library it guards: only
// administrators can make a file there, so nobody else can take the claim before a setup or keep
// it from one. A named object would not do: any user can make one of any name (open to everyone,
// open to nobody, or of another type) before the setup starts, and private namespaces, which
// would fence the name in, are missing under Wine. The file is opened without sharing and deleted
// when its handle closes, also when the process is killed.
#include "platform/win32/Win32Platform.h"
// sddl.h builds on the declarations of windows.h.
#include <sddl.h>

namespace fenn {
namespace {

constexpr wchar_t kClaimName[] = L"\\FennSetup.SetupRun";
// Administrators and the system only, not inherited: a file left by a power cut can be opened by
// no standard user, who could otherwise hold it open and keep every later setup from its claim.
constexpr wchar_t kClaimSecurity[] = L"O:BAG:BAD:P(A;;FA;;;SY)(A;;FA;;;BA)";

// Whether the window belongs to an elevated process: only an elevated setup's panel is one.
bool ElevatedProcessWindow(HWND window) {
  DWORD processId = 0;
  GetWindowThreadProcessId(window, &processId);
  HANDLE process = OpenProcess(PROCESS_QUERY_LIMITED_INFORMATION, FALSE, processId);
  if (!process) return false;
  HANDLE token = nullptr;
  TOKEN_ELEVATION elevation = {};
  DWORD size = 0;
  const bool elevated =
      OpenProcessToken(process, TOKEN_QUERY, &token) &&
      GetTokenInformation(token, TokenElevation, &elevation, sizeof elevation, &size) &&
      elevation.TokenIsElevated != 0;
  if (token) CloseHandle(token);
  CloseHandle(process);
  return elevated;
}

}  // namespace

bool Win32Platform::claimSetupRun() {
  if (setupRun_ != INVALID_HANDLE_VALUE) return true;
  const std::wstring folder = systemDirectory();
  if (folder.empty()) return true;  // nothing can tell another setup apart, so this one runs
  const std::wstring path = folder + kClaimName;
  PSECURITY_DESCRIPTOR descriptor = nullptr;
  if (!ConvertStringSecurityDescriptorToSecurityDescriptorW(kClaimSecurity, SDDL_REVISION_1,
                                                            &descriptor, nullptr)) {
    return true;
  }
  SECURITY_ATTRIBUTES attributes = {sizeof attributes, descriptor, FALSE};
  setupRun_ = CreateFileW(path.c_str(), GENERIC_READ | GENERIC_WRITE | DELETE, 0, &attributes,
                          OPEN_ALWAYS, FILE_ATTRIBUTE_HIDDEN | FILE_FLAG_DELETE_ON_CLOSE, nullptr);
  const DWORD error = GetLastError();
  LocalFree(descriptor);
  if (setupRun_ != INVALID_HANDLE_VALUE) return true;
  // Held open by another setup, or on its way out as that setup ends: claimed.
  if (error == ERROR_SHARING_VIOLATION) return false;
  if (error == ERROR_ACCESS_DENIED)
    return GetFileAttributesW(path.c_str()) == INVALID_FILE_ATTRIBUTES;
  return true;  // the file cannot be made at all: nothing can tell another setup apart
}

bool Win32Platform::activateOtherPanel() {
  bool found = false;
  for (HWND other = FindWindowExW(nullptr, nullptr, kPanelClass, nullptr); other != nullptr;
       other = FindWindowExW(nullptr, other, kPanelClass, nullptr)) {
    // A hidden panel belongs to a setup that is ending; a window of our class in a program that
    // is not elevated is no setup's.
    if (other == panel_ || !IsWindowVisible(other) || !ElevatedProcessWindow(other)) continue;
    // Asked, not made: the panel brings itself forward, so a hung program holding such a window
    // keeps nobody waiting. The foreground is the newest start's to give away.
    DWORD processId = 0;
    GetWindowThreadProcessId(other, &processId);
    AllowSetForegroundWindow(processId);
    PostMessageW(other, kComeForward, 0, 0);
    found = true;
  }
  return found;
}

}  // namespace fenn
