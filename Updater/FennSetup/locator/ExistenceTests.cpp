// FileExists and FolderExists: one directory listing of the path itself.
#include "setup/frmPanel.h"

namespace fenn {

bool frmPanel::PathListed(const std::wstring& path, int attributes) {
  if (path.empty()) return false;
  // A listing error (malformed path, drive not ready, no access) means "not there".
  const ListResult first = platform_.listFirst(path, attributes);
  return !first.failed && !first.name.empty();
}

// Normal files only: hidden, system and folder entries are not seen.
bool frmPanel::FileExists(std::wstring path) {
  return PathListed(path, kListNormalFiles);
}

// Folders and normal files.
bool frmPanel::FolderExists(std::wstring path) {
  return PathListed(path, kListFilesAndFolders);
}

}  // namespace fenn
