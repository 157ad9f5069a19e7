// Searches every fixed drive, in letter order, depth first, for the first product file.
#include "common/NameList.h"
#include "locator/ProductLocator.h"

namespace fenn {

namespace {
// Junctions and symbolic links are not descended into: their contents stand under their real path
// as well, and one that points back up the tree would make the walk endless (with two such links
// in a folder, exponentially so). The depth bound is a second guard for anything a listing does
// not report as a link; no real install path comes near it (the narrow path limit of 260
// characters allows at most about 130 levels of one-letter names).
constexpr int kMaxSearchDepth = 64;
}  // namespace

std::wstring ProductLocator::FindOnFixedDrives(const std::vector<std::wstring>& productFiles) {
  if (productFiles.empty()) return std::wstring();

  // Every existing drive is classified before any search begins.
  const uint32_t driveMask = platform_.logicalDrives();
  int32_t fixedDrives[26];
  int fixedCount = 0;
  for (int32_t drive = 0; drive < 26; ++drive) {
    const uint32_t bit = 1u << drive;
    if ((driveMask & bit) != bit) continue;
    const std::wstring root = std::wstring(1, static_cast<wchar_t>(L'A' + drive)) + L":\\";
    if (platform_.driveType(root) == kDriveFixed) fixedDrives[fixedCount++] = drive;
  }
  if (fixedCount == 0) return std::wstring();

  platform_.yield();
  for (int slot = 0; slot < fixedCount; ++slot) {
    const std::wstring root =
        std::wstring(1, static_cast<wchar_t>(L'A' + fixedDrives[slot])) + L":\\";
    std::wstring found = FindFileInTree(root, productFiles[0], 0);
    platform_.yield();
    if (!found.empty()) {
      // A drive root keeps its "\"; any deeper folder loses it.
      if (found.size() > 3) found.pop_back();
      return found;
    }
    if (progress_.SetupCancelled()) break;
  }
  return std::wstring();
}

std::wstring ProductLocator::FindFileInTree(const std::wstring& folder,
                                            const std::wstring& fileName, int depth) {
  // A listing error counts as a folder with neither the file nor subfolders.
  const ListResult fileTest = platform_.listFirst(folder + fileName, kListNormalFiles);
  if (fileTest.failed) return std::wstring();
  if (!fileTest.name.empty()) return folder;
  if (depth >= kMaxSearchDepth) return std::wstring();

  // Only one listing can be open at a time, so this level's subfolder listing is read to its end
  // before the first descent starts listings of its own.
  ListResult entry = platform_.listFirst(folder + L"*.", kListFilesAndFolders);
  std::wstring pending;
  while (!entry.failed && !entry.name.empty()) {
    if (entry.name != L"." && entry.name != L".." && !entry.link) AppendName(pending, entry.name);
    entry = platform_.listNext();
  }
  // An error part-way through the listing drops what it gave: the folder is treated as unreadable.
  if (entry.failed) return std::wstring();

  while (!pending.empty()) {
    const std::wstring name = TakeFirstName(pending);
    platform_.yield();
    if (progress_.SetupCancelled()) return std::wstring();
    std::wstring found = FindFileInTree(folder + name + L"\\", fileName, depth + 1);
    if (!found.empty()) return found;
  }
  return std::wstring();
}

}  // namespace fenn
