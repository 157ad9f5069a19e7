// The platform contract on FakePlatform: the Korean test machine with the resources of the
// platform test program.
#include <gtest/gtest.h>

#include <memory>

#include "AnsiText.h"
#include "FakePlatform.h"
#include "Grantee.h"
#include "KoreanMachine.h"

namespace fenn::contract {

struct FakeContractMachine {
  FakeContractMachine() {
    fake::BuildKoreanMachine(fake);
    fake.fs.addFolder(root);
    const std::string custom = "FENN\x01\x02\x03";
    fake.resourceStrings = {{101, L"CompLib.dll"}, {102, L"톨바리네 2000"}};
    fake.customResources = {{101, std::vector<uint8_t>(custom.begin(), custom.end())}};
    fake.registry.addKey(userKey);
    fake.fs.addDrive(L'D', kDriveFixed);
    fake.fs.addFolder(otherVolume);
  }
  static const char* name() { return "Fake"; }
  Platform& platform() { return fake; }
  void addFile(const std::wstring& relative, const std::string& content, uint32_t attributes) {
    fake.fs.addFile(root + relative, content, attributes);
  }
  void addFolder(const std::wstring& relative, uint32_t attributes) {
    fake.fs.addFolder(root + relative, attributes);
  }
  void setValue(const char* name, uint32_t /*type*/, const std::string& bytes) {
    fake.registry.setValue(userKey, fake::FromCp949(name), bytes);
  }
  // Windows keeps text values wide; a narrow read gives them in the code page, which is what the
  // fake registry holds.
  void storeText(const char* name, uint32_t type, const std::wstring& text) {
    setValue(name, type, fake::ToCp949(text));
  }
  std::wstring addLibrary(const std::wstring& relative) {
    addFile(relative, "MZ", 0);
    return root + relative;
  }
  std::string ansi(const std::wstring& text) { return fake::ToCp949(text); }
  std::vector<uint8_t> read(const std::wstring& path) { return fake.fs.contents(path); }
  std::unique_ptr<Platform> anotherProcess() {
    auto process = std::make_unique<fake::FakePlatform>();
    process->joinMachineOf(fake);
    return process;
  }

  // The fake keeps deletions only; the list is written out as the system stores it.
  void addForeignRestartWork() { fake.deleteFileAtRestart(L"C:\\Foreign\\old.tmp"); }
  std::vector<uint8_t> restartList() {
    std::wstring list;
    for (const std::wstring& path : fake.deletedAtRestart) list += L"\\??\\" + path + L'\0' + L'\0';
    std::vector<uint8_t> bytes;
    for (wchar_t c : list + L'\0') {
      bytes.push_back(static_cast<uint8_t>(c & 0xff));
      bytes.push_back(static_cast<uint8_t>((c >> 8) & 0xff));
    }
    return bytes;
  }
  void describeAccess(const std::wstring& relative, Grantee who, uint32_t rights) {
    fake.desktopUserRights[root + relative] = who == Grantee::Nobody ? 0 : rights;
  }
  void squatSetupRunNames() {}  // the fake's claim has no name another process could take

  fake::FakePlatform fake;
  std::wstring root = L"C:\\Contract\\";
  std::wstring otherVolume = L"D:\\Contract\\";
  std::wstring userKey = L"Software\\FennTest\\Contract";
};

}  // namespace fenn::contract

using ContractMachines = ::testing::Types<fenn::contract::FakeContractMachine>;
#include "PlatformContract.h"
