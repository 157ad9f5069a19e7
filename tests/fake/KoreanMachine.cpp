#include "KoreanMachine.h"

#include "resources/ResourceIds.h"

namespace fenn::fake {

const wchar_t kDefaultFolder[] = L"C:\\Program Files\\톨바리네 2000";
const wchar_t kSystemDirectory[] = L"C:\\WINDOWS\\system32";
const wchar_t kStagedLibrary[] = L"C:\\WINDOWS\\system32\\CompVLib.DLL";
const wchar_t kTempFolder[] = L"C:\\TEMP\\";
const char kCodecLibraryBytes[] = "MZ codec library, resource 1001";
const std::vector<std::wstring> kProductFiles = {L"k3main.exe", L"k3main.drv", L"TonePly.exe",
                                                 L"lck.dat",    L"K3grf.dat",  L"K3rep.dat"};
const std::vector<std::wstring> kCatalogueNames = {L"CompLib.dll", L"K3Fenn.exe", L"cfgmgr32.dll",
                                                   L"setupapi.dll"};

std::string PayloadContent(const std::wstring& name) {
  return "plain bytes of " + std::string(name.begin(), name.end());
}

void BuildKoreanMachine(FakePlatform& platform) {
  platform.fs.addDrive(L'C', kDriveFixed);
  platform.fs.addFolder(kSystemDirectory);
  platform.fs.addFolder(kTempFolder);
  platform.systemFolder = kSystemDirectory;
  platform.tempFolder = kTempFolder;
  for (size_t index = 0; index < kCatalogueNames.size(); ++index) {
    const int id = FENN_FIRST_PAYLOAD_ID + static_cast<int>(index);
    platform.resourceStrings[id] = kCatalogueNames[index];
    platform.customResources[id] = FakeContainer(PayloadContent(kCatalogueNames[index]));
  }
  const std::string library = kCodecLibraryBytes;
  platform.customResources[FENN_CODEC_LIBRARY_ID] =
      std::vector<uint8_t>(library.begin(), library.end());
}

void AddProduct(FakePlatform& platform, const std::wstring& folder) {
  for (const auto& name : kProductFiles) platform.fs.addFile(folder + L"\\" + name, "product");
}

KoreanMachine::KoreanMachine(const std::wstring& productFolder) : KoreanMachine() {
  if (productFolder.rfind(L"D:", 0) == 0) fs.addDrive(L'D', kDriveFixed);
  AddProduct(*this, productFolder);
}

}  // namespace fenn::fake
