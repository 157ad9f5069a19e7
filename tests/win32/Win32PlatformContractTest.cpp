// The platform contract on Win32Platform under Wine: scratch folders under the temp folder, a key
// of its own under HKEY_CURRENT_USER, and this test program's own resources.
#include <gtest/gtest.h>

#include <cstring>
#include <memory>

#include "TestFolder.h"
#include "platform/win32/Win32Platform.h"

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
    userKey = L"Software\\FennTest\\Contract" + std::to_wstring(GetTickCount());
    EXPECT_EQ(RegCreateKeyExW(HKEY_CURRENT_USER, userKey.c_str(), 0, nullptr, 0, KEY_ALL_ACCESS,
                              nullptr, &writable, nullptr),
              ERROR_SUCCESS);
  }
  ~Win32ContractMachine() {
    RegCloseKey(writable);
    RegDeleteTreeW(HKEY_CURRENT_USER, L"Software\\FennTest");
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
