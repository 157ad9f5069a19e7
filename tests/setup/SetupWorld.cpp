#include "SetupWorld.h"

namespace fenn::test {

const wchar_t kDefaultFolder[] = L"C:\\Program Files\\톨바리네 2000";
const wchar_t kSystemDirectory[] = L"C:\\WINDOWS\\system32";
const wchar_t kStagedLibrary[] = L"C:\\WINDOWS\\system32\\CompVLib.DLL";
const wchar_t kTempFolder[] = L"C:\\TEMP\\";
const char kCodecLibraryBytes[] = "MZ codec library, resource 1001";
const std::vector<std::wstring> kProductFiles = {L"k3main.exe", L"k3main.drv", L"TonePly.exe",
                                                 L"lck.dat",    L"K3grf.dat",  L"K3rep.dat"};
const std::vector<std::wstring> kCatalogueNames = {L"CompLib.dll", L"K3Fenn.exe", L"cfgmgr32.dll",
                                                   L"setupapi.dll"};

std::wstring Join(const std::wstring& folder, const std::wstring& name) {
  return folder + L"\\" + name;
}

std::string PayloadContent(const std::wstring& name) {
  return "plain bytes of " + std::string(name.begin(), name.end());
}

std::wstring NameList(const std::vector<std::wstring>& names) {
  std::wstring list;
  for (const auto& name : names) list += name + std::wstring(1, L'\0');
  return list;
}

void BuildMachine(fake::FakePlatform& platform) {
  platform.fs.addDrive(L'C', kDriveFixed);
  platform.fs.addFolder(kSystemDirectory);
  platform.fs.addFolder(kTempFolder);
  platform.systemFolder = kSystemDirectory;
  platform.tempFolder = kTempFolder;
  for (size_t index = 0; index < kCatalogueNames.size(); ++index) {
    const int id = 101 + static_cast<int>(index);
    platform.resourceStrings[id] = kCatalogueNames[index];
    platform.customResources[id] = fake::FakeContainer(PayloadContent(kCatalogueNames[index]));
  }
  const std::string library = kCodecLibraryBytes;
  platform.customResources[1001] = std::vector<uint8_t>(library.begin(), library.end());
}

void AddProduct(fake::FakePlatform& platform, const std::wstring& folder) {
  for (const auto& name : kProductFiles) platform.fs.addFile(Join(folder, name), "product");
}

}  // namespace fenn::test
