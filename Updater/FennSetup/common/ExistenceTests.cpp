// One directory listing of the path itself; the empty path is absent without a listing.
#include "common/ExistenceTests.h"

namespace fenn {

namespace {
bool PathListed(Platform& platform, const std::wstring& path, int attributes) {
  if (path.empty()) return false;
  // A listing error (malformed path, drive not ready, no access) means "not there".
  const ListResult first = platform.listFirst(path, attributes);
  return !first.failed && !first.name.empty();
}
}  // namespace

bool FileExists(Platform& platform, const std::wstring& path) {
  return PathListed(platform, path, kListNormalFiles);
}

bool EmptyFileExists(Platform& platform, const std::wstring& path) {
  if (path.empty()) return false;
  const ListResult first = platform.listFirst(path, kListNormalFiles);
  return !first.failed && !first.name.empty() && first.size == 0;
}

bool FolderExists(Platform& platform, const std::wstring& path) {
  return PathListed(platform, path, kListFilesAndFolders);
}

}  // namespace fenn
