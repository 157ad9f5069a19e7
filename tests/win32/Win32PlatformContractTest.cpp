// The platform contract on Win32Platform under Wine: scratch folders under the temp folder, a key
// of its own under HKEY_CURRENT_USER, and this test program's own resources.
#include <gtest/gtest.h>

#include <cstring>
#include <cwchar>
#include <map>
#include <memory>
#include <vector>

#include "Grantee.h"
#include "TestFolder.h"
#include "platform/win32/Win32Platform.h"
// sddl.h builds on the declarations of windows.h.
#include <sddl.h>

namespace fenn::contract {

// run-platform-tests maps V: to a folder on another file system than the prefix (a tmpfs); a run
// without it has no second volume.
std::wstring OtherVolumeFolder() {
  if (GetDriveTypeW(L"V:\\") == DRIVE_NO_ROOT_DIR) return std::wstring();
  const std::wstring folder = L"V:\\contract-" + std::to_wstring(GetCurrentProcessId()) + L"-" +
                              std::to_wstring(GetTickCount()) + L"\\";
  return CreateDirectoryW(folder.c_str(), nullptr) ? folder : std::wstring();
}

struct Win32ContractMachine {
  Win32ContractMachine() {
    EXPECT_EQ(GetACP(), 949u) << "the Wine test run uses a Korean locale";
    // The session's desktop, as a user's session always has one: Wine starts its desktop process
    // (the shell the desktop user is found by) with the first window of a session, and a case
    // must not depend on an earlier one having made a window.
    GetDesktopWindow();
    userKey = L"Software\\FennTest\\Contract" + std::to_wstring(GetTickCount());
    EXPECT_EQ(RegCreateKeyExW(HKEY_CURRENT_USER, userKey.c_str(), 0, nullptr, 0, KEY_ALL_ACCESS,
                              nullptr, &writable, nullptr),
              ERROR_SUCCESS);
  }
  ~Win32ContractMachine() {
    for (HANDLE squatter : squatters) {
      if (squatter) CloseHandle(squatter);
    }
    RegCloseKey(writable);
    RegDeleteTreeW(HKEY_CURRENT_USER, L"Software\\FennTest");
    // The system's list as the case found it (the prefix is this program's own; tidy all the same).
    if (foreignWorkAdded) writeRestartList(listBefore, REG_MULTI_SZ);
  }
  static const char* name() { return "Win32"; }
  Platform& platform() { return win32; }
  void addFile(const std::wstring& relative, const std::string& content, uint32_t attributes) {
    folder.addFile(relative, content, attributes ? attributes : FILE_ATTRIBUTE_NORMAL);
  }
  void addFolder(const std::wstring& relative, uint32_t attributes) {
    folder.addFolder(relative, attributes ? attributes : FILE_ATTRIBUTE_NORMAL);
  }
  void setValue(const char* name, uint32_t type, const std::string& bytes) {
    EXPECT_EQ(RegSetValueExA(writable, name, 0, type, reinterpret_cast<const BYTE*>(bytes.data()),
                             static_cast<DWORD>(bytes.size())),
              ERROR_SUCCESS);
  }
  void storeText(const char* name, uint32_t type, const std::wstring& text) {
    const std::wstring wideName(name, name + strlen(name));
    EXPECT_EQ(RegSetValueExW(writable, wideName.c_str(), 0, type,
                             reinterpret_cast<const BYTE*>(text.data()),
                             static_cast<DWORD>(text.size() * sizeof(wchar_t))),
              ERROR_SUCCESS);
  }
  std::wstring addLibrary(const std::wstring& relative) {
    EXPECT_TRUE(test::writeEmbeddedFile(test::kEmbeddedCodecLibrary, root + relative));
    return root + relative;
  }
  std::string ansi(const std::wstring& text) { return win32.toAnsi(text); }
  std::unique_ptr<Platform> anotherProcess() { return std::make_unique<Win32Platform>(); }
  std::vector<uint8_t> read(const std::wstring& path) {
    bool ok = false;
    std::vector<uint8_t> bytes = test::readFile(path, ok);
    EXPECT_TRUE(ok) << "cannot read " << testing::PrintToString(path);
    return bytes;
  }

  // Raw, as another program may leave it: a rename, an empty pair, the list's last NUL.
  void addForeignRestartWork() {
    listBefore = restartList();
    foreignWorkAdded = true;
    std::vector<uint8_t> list = listBefore;
    if (list.size() >= 2) list.resize(list.size() - 2);  // the list's last NUL comes after ours
    const std::wstring foreign(L"\\??\\C:\\foreign\\old\0\\??\\C:\\foreign\\new\0\0\0\0", 41);
    const auto* bytes = reinterpret_cast<const uint8_t*>(foreign.data());
    list.insert(list.end(), bytes, bytes + foreign.size() * sizeof(wchar_t));
    writeRestartList(list, REG_MULTI_SZ);
  }
  std::vector<uint8_t> restartList() {
    HKEY key = nullptr;
    std::vector<uint8_t> bytes;
    if (RegOpenKeyExW(HKEY_LOCAL_MACHINE, kSessionManager, 0, KEY_QUERY_VALUE, &key)) return bytes;
    DWORD type = 0;
    DWORD size = 0;
    if (RegQueryValueExW(key, kPending, nullptr, &type, nullptr, &size) == ERROR_SUCCESS) {
      EXPECT_EQ(type, static_cast<DWORD>(REG_MULTI_SZ));
      bytes.resize(size);
      RegQueryValueExW(key, kPending, nullptr, &type, bytes.data(), &size);
      bytes.resize(size);
    }
    RegCloseKey(key);
    return bytes;
  }
  void writeRestartList(const std::vector<uint8_t>& bytes, DWORD type) {
    HKEY key = nullptr;
    ASSERT_EQ(RegOpenKeyExW(HKEY_LOCAL_MACHINE, kSessionManager, 0, KEY_SET_VALUE, &key),
              ERROR_SUCCESS);
    if (bytes.empty()) {
      RegDeleteValueW(key, kPending);
    } else {
      EXPECT_EQ(
          RegSetValueExW(key, kPending, 0, type, bytes.data(), static_cast<DWORD>(bytes.size())),
          ERROR_SUCCESS);
    }
    RegCloseKey(key);
  }
  static constexpr wchar_t kSessionManager[] =
      L"SYSTEM\\CurrentControlSet\\Control\\Session Manager";
  static constexpr wchar_t kPending[] = L"PendingFileRenameOperations";
  std::vector<uint8_t> listBefore;
  bool foreignWorkAdded = false;
  // The descriptors judged instead of the disk's, which Wine does not keep: owned by the system's
  // installer account (so no owner's rights fall to the desktop user), readable by the desktop
  // user, and granting `rights` to the grantee.
  void describeAccess(const std::wstring& relative, Grantee who, uint32_t rights) {
    if (!win32.findDesktopUser()) return;
    const std::wstring user = UserSid(win32.desktopUserToken());
    const std::wstring installer =
        L"S-1-5-80-956008885-3418522649-1831038044-1853292631-2271478464";
    std::wstring sddl = L"O:" + installer + L"G:" + installer + L"D:P(A;;FA;;;" + installer +
                        L")(A;;0x1200a9;;;" + user + L")";
    if (who != Grantee::Nobody) {
      wchar_t mask[16];
      swprintf(mask, 16, L"0x%x", rights);
      sddl += L"(A;;" + std::wstring(mask) + L";;;" + (who == Grantee::Users ? L"BU" : user) + L")";
    }
    PSECURITY_DESCRIPTOR built = nullptr;
    ULONG size = 0;
    ASSERT_TRUE(ConvertStringSecurityDescriptorToSecurityDescriptorW(sddl.c_str(), SDDL_REVISION_1,
                                                                     &built, &size));
    const BYTE* bytes = static_cast<const BYTE*>(built);
    described[root + relative] = std::vector<BYTE>(bytes, bytes + size);
    LocalFree(built);
    win32.readSecurityWith([this](const std::wstring& path) {
      Win32Platform::EntrySecurity security;
      const auto entry = described.find(path);
      if (entry == described.end()) return security;
      security.read = true;
      security.descriptor = entry->second;
      return security;
    });
  }
  static std::wstring UserSid(HANDLE token) {
    BYTE buffer[256];
    DWORD size = 0;
    wchar_t* text = nullptr;
    if (!GetTokenInformation(token, TokenUser, buffer, sizeof buffer, &size) ||
        !ConvertSidToStringSidW(reinterpret_cast<TOKEN_USER*>(buffer)->User.Sid, &text)) {
      ADD_FAILURE() << "the desktop user's account cannot be named";
      return L"WD";
    }
    std::wstring sid = text;
    LocalFree(text);
    return sid;
  }
  // What another user can make before any setup starts: the old claim's name open to everyone,
  // under both namespaces, as a mutex and as an event.
  void squatSetupRunNames() {
    SECURITY_DESCRIPTOR open;
    InitializeSecurityDescriptor(&open, SECURITY_DESCRIPTOR_REVISION);
    SetSecurityDescriptorDacl(&open, TRUE, nullptr, FALSE);
    SECURITY_ATTRIBUTES everyone = {sizeof everyone, &open, FALSE};
    squatters.push_back(CreateMutexW(&everyone, TRUE, L"Global\\FennSetup.SetupRun"));
    squatters.push_back(CreateEventW(&everyone, TRUE, FALSE, L"Local\\FennSetup.SetupRun"));
    for (HANDLE squatter : squatters) EXPECT_NE(squatter, nullptr);
  }
  std::map<std::wstring, std::vector<BYTE>> described;
  std::vector<HANDLE> squatters;

  test::TestFolder folder;  // declared first: removed after the platform has ended its listing
  Win32Platform win32;
  std::wstring root = folder.path();
  std::wstring otherVolume = OtherVolumeFolder();
  std::wstring userKey;
  HKEY writable = nullptr;
};

}  // namespace fenn::contract

using ContractMachines = ::testing::Types<fenn::contract::Win32ContractMachine>;
#include "PlatformContract.h"
