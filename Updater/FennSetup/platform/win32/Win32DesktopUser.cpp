// The desktop user: whose shell runs in this session, what that user could change on disk, and
// starting a program with the setup's token or with that user's.
//
// The shell's token is the desktop user's: with over-the-shoulder elevation the standard user's,
// with same-user elevation the filtered one. GetShellWindow alone does not find it everywhere (it
// answers nothing under Wine, or while the shell restarts), so the taskbar's process and the
// session's explorer.exe are asked too.
#include "platform/win32/Win32Platform.h"
// tlhelp32.h builds on the declarations of windows.h.
#include <tlhelp32.h>

namespace fenn {
namespace {

class Handle {
 public:
  explicit Handle(HANDLE handle = nullptr) : handle_(handle) {}
  ~Handle() {
    if (handle_ && handle_ != INVALID_HANDLE_VALUE) CloseHandle(handle_);
  }
  Handle(const Handle&) = delete;
  Handle& operator=(const Handle&) = delete;
  HANDLE get() const { return handle_; }
  HANDLE* out() { return &handle_; }
  HANDLE release() {
    HANDLE handle = handle_;
    handle_ = nullptr;
    return handle;
  }
  bool valid() const { return handle_ && handle_ != INVALID_HANDLE_VALUE; }

 private:
  HANDLE handle_;
};

DWORD TokenSession(HANDLE token) {
  DWORD session = 0;
  DWORD size = 0;
  return GetTokenInformation(token, TokenSessionId, &session, sizeof session, &size) ? session
                                                                                     : ~0u;
}

// A service account's token is nobody's desktop (the desktop window's process on Windows is one).
bool IsServiceAccount(HANDLE token) {
  BYTE buffer[256];
  DWORD size = 0;
  if (!GetTokenInformation(token, TokenUser, buffer, sizeof buffer, &size)) return true;
  PSID user = reinterpret_cast<TOKEN_USER*>(buffer)->User.Sid;
  return IsWellKnownSid(user, WinLocalSystemSid) || IsWellKnownSid(user, WinLocalServiceSid) ||
         IsWellKnownSid(user, WinNetworkServiceSid);
}

// The primary token of process `id` when it can be the desktop user's: in this session, and no
// service account's.
HANDLE DesktopTokenOf(DWORD processId) {
  if (processId == 0 || processId == GetCurrentProcessId()) return nullptr;
  Handle process(OpenProcess(PROCESS_QUERY_LIMITED_INFORMATION, FALSE, processId));
  Handle token;
  if (!process.valid() ||
      !OpenProcessToken(process.get(), TOKEN_QUERY | TOKEN_DUPLICATE, token.out()))
    return nullptr;
  Handle own;
  if (!OpenProcessToken(GetCurrentProcess(), TOKEN_QUERY, own.out())) return nullptr;
  if (TokenSession(token.get()) != TokenSession(own.get()) || IsServiceAccount(token.get()))
    return nullptr;
  Handle primary;
  const DWORD rights = TOKEN_QUERY | TOKEN_DUPLICATE | TOKEN_ASSIGN_PRIMARY | TOKEN_ADJUST_DEFAULT |
                       TOKEN_ADJUST_SESSIONID;
  if (!DuplicateTokenEx(token.get(), rights, nullptr, SecurityImpersonation, TokenPrimary,
                        primary.out()))
    return nullptr;
  return primary.release();
}

DWORD WindowProcess(HWND window) {
  DWORD processId = 0;
  if (window) GetWindowThreadProcessId(window, &processId);
  return processId;
}

std::vector<DWORD> SessionExplorers() {
  std::vector<DWORD> found;
  Handle snapshot(CreateToolhelp32Snapshot(TH32CS_SNAPPROCESS, 0));
  if (!snapshot.valid()) return found;
  PROCESSENTRY32W entry = {};
  entry.dwSize = sizeof entry;
  for (BOOL more = Process32FirstW(snapshot.get(), &entry); more;
       more = Process32NextW(snapshot.get(), &entry)) {
    if (lstrcmpiW(entry.szExeFile, L"explorer.exe") == 0) found.push_back(entry.th32ProcessID);
  }
  return found;
}

bool ListedAsLink(const std::wstring& path) {
  if (path.empty() || path.back() == L'\\') return false;  // a drive root is listed by nobody
  WIN32_FIND_DATAW entry = {};
  HANDLE listing = FindFirstFileW(path.c_str(), &entry);
  if (listing == INVALID_HANDLE_VALUE) return false;
  FindClose(listing);
  return (entry.dwFileAttributes & FILE_ATTRIBUTE_REPARSE_POINT) != 0;
}

// Reads the entry's own security: the handle opens a link itself, never what it points to.
Win32Platform::EntrySecurity ReadEntrySecurity(const std::wstring& path) {
  Win32Platform::EntrySecurity security;
  Handle entry(CreateFileW(path.c_str(), READ_CONTROL | FILE_READ_ATTRIBUTES,
                           FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                           OPEN_EXISTING, FILE_FLAG_OPEN_REPARSE_POINT | FILE_FLAG_BACKUP_SEMANTICS,
                           nullptr));
  BY_HANDLE_FILE_INFORMATION information = {};
  if (!entry.valid() || !GetFileInformationByHandle(entry.get(), &information)) return security;
  // The listing's entry says so too, where the handle does not (Wine shows a symbolic link only
  // there).
  security.link =
      (information.dwFileAttributes & FILE_ATTRIBUTE_REPARSE_POINT) != 0 || ListedAsLink(path);
  const SECURITY_INFORMATION parts = OWNER_SECURITY_INFORMATION | GROUP_SECURITY_INFORMATION |
                                     DACL_SECURITY_INFORMATION | LABEL_SECURITY_INFORMATION;
  DWORD needed = 0;
  GetKernelObjectSecurity(entry.get(), parts, nullptr, 0, &needed);
  if (needed == 0) return security;
  security.descriptor.resize(needed);
  security.read =
      GetKernelObjectSecurity(entry.get(), parts, security.descriptor.data(), needed, &needed) != 0;
  return security;
}

// Every right the descriptor grants the token (the owner's implied rights included); false when
// the check itself fails.
bool GrantedRights(HANDLE identification, std::vector<BYTE>& descriptor, DWORD& granted) {
  GENERIC_MAPPING mapping = {FILE_GENERIC_READ, FILE_GENERIC_WRITE, FILE_GENERIC_EXECUTE,
                             FILE_ALL_ACCESS};
  BYTE privileges[256];
  DWORD privilegesLength = sizeof privileges;
  BOOL status = FALSE;
  granted = 0;
  if (!AccessCheck(descriptor.data(), identification, MAXIMUM_ALLOWED, &mapping,
                   reinterpret_cast<PRIVILEGE_SET*>(privileges), &privilegesLength, &granted,
                   &status)) {
    return false;
  }
  if (!status) granted = 0;  // nothing granted at all
  return true;
}

using CreateProcessWithTokenFn = BOOL(WINAPI*)(HANDLE, DWORD, LPCWSTR, LPWSTR, DWORD, LPVOID,
                                               LPCWSTR, LPSTARTUPINFOW, LPPROCESS_INFORMATION);

}  // namespace

bool Win32Platform::findDesktopUser() {
  if (desktopUser_) return true;
  std::vector<DWORD> candidates = {WindowProcess(GetShellWindow()),
                                   WindowProcess(FindWindowW(L"Shell_TrayWnd", nullptr))};
  for (DWORD explorer : SessionExplorers()) candidates.push_back(explorer);
  for (DWORD candidate : candidates) {
    Handle primary(DesktopTokenOf(candidate));
    Handle identification;
    if (!primary.valid() ||
        !DuplicateToken(primary.get(), SecurityIdentification, identification.out())) {
      continue;
    }
    desktopUser_ = primary.release();
    desktopUserCheck_ = identification.release();
    return true;
  }
  return false;
}

EntryAccess Win32Platform::desktopUserAccess(const std::wstring& path, uint32_t rights) {
  EntryAccess access;
  if (!findDesktopUser()) return access;
  EntrySecurity security = readSecurity_ ? readSecurity_(path) : ReadEntrySecurity(path);
  DWORD granted = 0;
  if (!security.read || !GrantedRights(desktopUserCheck_, security.descriptor, granted)) {
    return access;
  }
  access.known = true;
  access.link = security.link;
  access.rights = granted & rights;
  return access;
}

bool Win32Platform::startProgram(const std::wstring& path, const std::wstring& workingFolder,
                                 StartAs as) {
  // The quoted path alone is the command line: the program gets no arguments.
  std::wstring commandLine = L"\"" + path + L"\"";
  STARTUPINFOW startup = {};
  startup.cb = sizeof startup;
  startup.dwFlags = STARTF_USESHOWWINDOW;
  startup.wShowWindow = SW_SHOWNORMAL;
  PROCESS_INFORMATION process = {};
  BOOL started = FALSE;
  if (as == StartAs::Setup) {
    started = CreateProcessW(path.c_str(), &commandLine[0], nullptr, nullptr, FALSE, 0, nullptr,
                             workingFolder.c_str(), &startup, &process);
  } else if (findDesktopUser()) {
    // Through the secondary logon service, which gives the program the user's own environment;
    // Windows has it from Vista on, so it is bound here rather than imported.
    auto withToken = reinterpret_cast<CreateProcessWithTokenFn>(reinterpret_cast<void*>(
        GetProcAddress(GetModuleHandleW(L"advapi32.dll"), "CreateProcessWithTokenW")));
    if (withToken) {
      started = withToken(desktopUser_, 0, path.c_str(), &commandLine[0], 0, nullptr,
                          workingFolder.c_str(), &startup, &process);
    }
    // Where that service is off: the token itself. Never the setup's own.
    if (!started) {
      started = CreateProcessAsUserW(desktopUser_, path.c_str(), &commandLine[0], nullptr, nullptr,
                                     FALSE, 0, nullptr, workingFolder.c_str(), &startup, &process);
    }
  }
  if (!started) return false;
  CloseHandle(process.hThread);
  CloseHandle(process.hProcess);
  return true;
}

}  // namespace fenn
