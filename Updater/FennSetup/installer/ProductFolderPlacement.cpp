#include "installer/ProductFolderPlacement.h"

#include <cwctype>
#include <vector>

namespace fenn {

namespace {
// No file of the product starts with "~" and the setup's name: the form is the setup's alone.
constexpr wchar_t kPartialPrefix[] = L"~FennSetup-";
constexpr wchar_t kPartialSuffix[] = L".partial";

bool SameLetters(const std::wstring& a, size_t offset, const std::wstring& b) {
  if (a.size() < offset + b.size()) return false;
  for (size_t i = 0; i < b.size(); ++i) {
    if (std::towupper(static_cast<wint_t>(a[offset + i])) !=
        std::towupper(static_cast<wint_t>(b[i]))) {
      return false;
    }
  }
  return true;
}
}  // namespace

std::wstring PartialCopyName(const std::wstring& name) {
  return kPartialPrefix + name + kPartialSuffix;
}

bool IsPartialCopyName(const std::wstring& fileName) {
  const std::wstring prefix = kPartialPrefix;
  const std::wstring suffix = kPartialSuffix;
  return fileName.size() > prefix.size() + suffix.size() && SameLetters(fileName, 0, prefix) &&
         SameLetters(fileName, fileName.size() - suffix.size(), suffix);
}

void RemovePartialCopies(Platform& platform, const std::wstring& productFolder) {
  // Collected first: a listing is not changed under its own feet.
  std::vector<std::wstring> leftovers;
  const std::wstring pattern = productFolder + L"\\" + PartialCopyName(L"*");
  for (ListResult entry = platform.listFirst(pattern, kListNormalFiles);
       !entry.failed && !entry.name.empty(); entry = platform.listNext()) {
    // The listing's wildcards may also match other spellings (short names): the form decides.
    if (IsPartialCopyName(entry.name)) leftovers.push_back(entry.name);
  }
  for (const std::wstring& name : leftovers) platform.deleteFile(productFolder + L"\\" + name);
}

bool PlaceInProductFolder(Platform& platform, const std::wstring& file,
                          const std::wstring& productFolder, const std::wstring& name) {
  const std::wstring target = productFolder + L"\\" + name;
  if (platform.renameFile(file, target)) return true;
  // Another volume (or a target that appeared meanwhile, which the last rename then finds).
  const std::wstring partial = productFolder + L"\\" + PartialCopyName(name);
  if (!platform.copyFile(file, partial) || !platform.renameFile(partial, target)) {
    platform.deleteFile(partial);
    return false;
  }
  platform.deleteFile(file);
  return true;
}

}  // namespace fenn
