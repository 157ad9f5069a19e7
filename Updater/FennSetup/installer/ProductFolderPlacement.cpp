#include "installer/ProductFolderPlacement.h"

#include <cwctype>

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

void RemovePartialCopy(HeldFolder& productFolder, const std::wstring& name) {
  productFolder.deleteRegularFile(PartialCopyName(name));
}

bool PlaceInProductFolder(Platform& platform, const std::wstring& file, HeldFolder& productFolder,
                          const std::wstring& name) {
  switch (productFolder.moveInto(file, name)) {
    case Moved::Done:
      return true;
    case Moved::Failed:
      // A name taken meanwhile, no access: a copy would fail the same way, or worse, succeed
      // where the setup was refused.
      return false;
    case Moved::OtherVolume:
      break;
  }
  if (!productFolder.copyInto(file, PartialCopyName(name), name)) return false;
  platform.deleteFile(file);
  return true;
}

}  // namespace fenn
