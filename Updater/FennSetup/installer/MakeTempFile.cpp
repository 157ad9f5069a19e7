// A new, empty file in the user's temp folder.
#include "setup/frmPanel.h"

namespace fenn {

bool frmPanel::MakeTempFile(const std::wstring& prefix, std::wstring& path) {
  std::wstring tempFolder;
  if (platform_.getTempPath(tempFolder) == 0) return false;
  std::wstring made;
  if (platform_.getTempFileName(tempFolder, prefix, made) == 0) return false;
  path = made;
  return true;
}

}  // namespace fenn
