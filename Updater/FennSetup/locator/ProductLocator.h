// Finds the product's install folder (the default folder or its twin in the folder for 32-bit
// programs, the folder the registry names, or a search of every fixed drive) and verifies that it
// holds the six product files.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "common/SetupProgress.h"
#include "platform/Platform.h"

namespace fenn {

class ProductLocator {
 public:
  ProductLocator(Platform& platform, SetupProgress& progress)
      : platform_(platform), progress_(progress) {}

  // Always overwrites `folder` (without a trailing "\"; a drive root comes back as "D:"); true
  // only when all six product files are in it.
  bool LocateProduct(std::wstring& folder);
  // The six product file names; the order matters (see LocateProduct.cpp).
  static int32_t FillProductFileNames(std::vector<std::wstring>& list);
  // The folder that holds productFiles[0] on the first fixed drive that has it, searched in
  // letter order and depth first; empty when none does.
  std::wstring FindOnFixedDrives(const std::vector<std::wstring>& productFiles);
  // The first folder of the tree below `folder` (ending in "\") that holds `fileName`, as passed
  // down; empty when none does.
  std::wstring FindFileInTree(const std::wstring& folder, const std::wstring& fileName,
                              int depth = 0);

 private:
  // The path names an existing folder (not a file).
  bool NamesAFolder(const std::wstring& path);

  Platform& platform_;
  SetupProgress& progress_;
};

}  // namespace fenn
