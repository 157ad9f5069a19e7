// The three sources of the product folder and the verification of the six product files.
#include "common/ExistenceTests.h"
#include "locator/ProductLocator.h"
#include "locator/ReadUserRegString.h"

namespace fenn {

namespace {
constexpr wchar_t kDefaultInstallFolder[] = L"C:\\Program Files\\톨바리네 2000";
constexpr wchar_t kProductRegistryKey[] = L"SOFTWARE\\Valto Corp.";
constexpr wchar_t kProductRegistryValue[] = L"ApplicationPath";
}  // namespace

int32_t ProductLocator::FillProductFileNames(std::vector<std::wstring>& list) {
  // The order matters: verification stops at the first missing name, and the drive search looks
  // only for the first one.
  list = {L"k3main.exe", L"k3main.drv", L"TonePly.exe", L"lck.dat", L"K3grf.dat", L"K3rep.dat"};
  return 6;
}

bool ProductLocator::LocateProduct(std::wstring& folder) {
  progress_.ShowStep(kStepLookingForProduct);

  // The first source whose folder exists is final, even when it then fails verification.
  std::wstring candidate = kDefaultInstallFolder;
  bool taken = FolderExists(platform_, candidate);
  if (!taken) {
    candidate = ReadUserRegString(platform_, kProductRegistryKey, kProductRegistryValue);
    taken = FolderExists(platform_, candidate);
  }

  progress_.ShowStep(kStepSearchingComponents);
  std::vector<std::wstring> productFiles;
  const int32_t count = FillProductFileNames(productFiles);
  // The drive search is the last resort; its answer is taken as it comes.
  if (!taken) candidate = FindOnFixedDrives(productFiles);

  // Exactly one trailing "\" goes: a drive root "D:\" becomes "D:".
  if (!candidate.empty() && candidate.back() == L'\\') candidate.pop_back();

  bool found = true;
  for (int32_t position = 0; position < count; ++position) {
    if (!FileExists(platform_, candidate + L"\\" + productFiles[static_cast<size_t>(position)])) {
      found = false;
      break;
    }
  }
  folder = candidate;
  return found;
}

}  // namespace fenn
