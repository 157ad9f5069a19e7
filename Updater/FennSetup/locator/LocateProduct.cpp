// The sources of the product folder (the default folder, the same name in the folder for 32-bit
// programs, the folder the user's registry names, the drive search) and the verification of the six
// product files.
#include <cwctype>

#include "common/ExistenceTests.h"
#include "locator/PlainFolderPath.h"
#include "locator/ProductLocator.h"
#include "locator/ReadUserRegString.h"

namespace fenn {

namespace {
constexpr wchar_t kDefaultInstallFolder[] = L"C:\\Program Files\\톨바리네 2000";
constexpr wchar_t kInstallFolderName[] = L"\\톨바리네 2000";
constexpr wchar_t kProductRegistryKey[] = L"SOFTWARE\\Valto Corp.";
constexpr wchar_t kProductRegistryValue[] = L"ApplicationPath";

// Folder names compare without letter case, as the file system does.
bool SameFolder(const std::wstring& a, const std::wstring& b) {
  if (a.size() != b.size()) return false;
  for (size_t i = 0; i < a.size(); ++i) {
    if (std::towupper(static_cast<wint_t>(a[i])) != std::towupper(static_cast<wint_t>(b[i]))) {
      return false;
    }
  }
  return true;
}
}  // namespace

int32_t ProductLocator::FillProductFileNames(std::vector<std::wstring>& list) {
  // The order matters: verification stops at the first missing name, and the drive search looks
  // only for the first one.
  list = {L"k3main.exe", L"k3main.drv", L"TonePly.exe", L"lck.dat", L"K3grf.dat", L"K3rep.dat"};
  return 6;
}

// A folder, not a file: the existence test for folders also matches normal files, and a listing
// of a path that ends in "\" shows only a folder's own entries.
bool ProductLocator::NamesAFolder(const std::wstring& path) {
  if (!FolderExists(platform_, path)) return false;
  return path.back() == L'\\' || !FileExists(platform_, path);
}

bool ProductLocator::LocateProduct(std::wstring& folder) {
  progress_.ShowStep(kStepLookingForProduct);

  // The first source whose folder exists is final, even when it then fails verification.
  std::wstring candidate = kDefaultInstallFolder;
  bool taken = FolderExists(platform_, candidate);
  if (!taken) {
    // A 32-bit installer on 64-bit Windows puts the product in the folder for 32-bit programs
    // (WoW64 redirects only the system folder, not Program Files). Like the default folder, only
    // administrators can write there, and a folder found there is as final. On 32-bit Windows
    // the two are one and the same.
    const std::wstring programs32 = platform_.programFilesX86Folder();
    if (!programs32.empty()) {
      const std::wstring alternative = programs32 + kInstallFolderName;
      if (!SameFolder(alternative, candidate) && FolderExists(platform_, alternative)) {
        candidate = alternative;
        taken = true;
      }
    }
  }
  if (!taken) {
    candidate = ReadUserRegString(platform_, kProductRegistryKey, kProductRegistryValue);
    // The user's value counts only as a plain folder path that names a folder; anything else is
    // as good as no value, and the drive search runs.
    taken = IsPlainFolderPath(candidate) && NamesAFolder(candidate);
  }

  progress_.ShowStep(kStepSearchingComponents);
  std::vector<std::wstring> productFiles;
  const int32_t count = FillProductFileNames(productFiles);
  // The drive search is the last resort; its answer is taken as it comes.
  if (!taken) candidate = FindOnFixedDrives(productFiles);

  // Exactly one trailing "\" goes: a drive root "D:\" becomes "D:".
  if (!candidate.empty() && candidate.back() == L'\\') candidate.pop_back();

  // No folder is no product: the names are not looked for at the root of the current drive.
  bool found = !candidate.empty();
  for (int32_t position = 0; found && position < count; ++position) {
    if (!FileExists(platform_, candidate + L"\\" + productFiles[static_cast<size_t>(position)])) {
      found = false;
    }
  }
  folder = candidate;
  return found;
}

}  // namespace fenn
