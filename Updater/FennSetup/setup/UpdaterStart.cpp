#include "setup/UpdaterStart.h"

#include <vector>

namespace fenn {
namespace {

// The program: its content, its name and its permissions.
constexpr uint32_t kProgramRights =
    kFileWriteData | kFileAppendData | kDelete | kWriteDac | kWriteOwner;
// Its folder: a library planted beside the program is loaded by it; a deleted or renamed entry
// can be replaced.
constexpr uint32_t kProductFolderRights =
    kFileAddFile | kFileAddSubfolder | kFileDeleteChild | kDelete | kWriteDac | kWriteOwner;
// A folder above it: renaming a folder on the path swaps everything below it.
constexpr uint32_t kAncestorRights = kFileDeleteChild | kDelete | kWriteDac | kWriteOwner;

// "X:\", "X:\a", "X:\a\b" for "X:\a\b" (or "X:" for the root); empty when the text is no
// drive-absolute path that names each folder plainly.
std::vector<std::wstring> FoldersDownTo(const std::wstring& folder) {
  const bool drive =
      folder.size() >= 2 && folder[1] == L':' &&
      ((folder[0] >= L'A' && folder[0] <= L'Z') || (folder[0] >= L'a' && folder[0] <= L'z'));
  if (!drive || (folder.size() > 2 && folder[2] != L'\\')) return {};
  std::vector<std::wstring> folders = {folder.substr(0, 2) + L"\\"};
  size_t start = 3;
  while (start < folder.size()) {
    size_t end = folder.find(L'\\', start);
    if (end == std::wstring::npos) end = folder.size();
    const std::wstring part = folder.substr(start, end - start);
    if (part.empty() || part == L"." || part == L"..") return {};
    folders.push_back(folder.substr(0, end));
    start = end + 1;
  }
  return folders;
}

bool Changeable(Platform& platform, const std::wstring& path, uint32_t rights) {
  const EntryAccess access = platform.desktopUserAccess(path, rights);
  return !access.known || access.link || (access.rights & rights) != 0;
}

std::wstring WorkingFolder(const std::wstring& productFolder) {
  return productFolder.size() == 2 ? productFolder + L"\\" : productFolder;
}

}  // namespace

bool DesktopUserCouldChange(Platform& platform, const std::wstring& productFolder,
                            const std::wstring& name) {
  const std::vector<std::wstring> folders = FoldersDownTo(productFolder);
  if (folders.empty()) return true;
  for (size_t i = 0; i + 1 < folders.size(); ++i) {
    // The root itself cannot be renamed or deleted.
    const uint32_t rights = i == 0 ? kAncestorRights & ~kDelete : kAncestorRights;
    if (Changeable(platform, folders[i], rights)) return true;
  }
  if (Changeable(platform, folders.back(), kProductFolderRights)) return true;
  return Changeable(platform, folders.back() + (folders.size() == 1 ? L"" : L"\\") + name,
                    kProgramRights);
}

UpdaterStart StartUpdater(Platform& platform, const std::wstring& path) {
  // Without a desktop user nothing can be judged, and an elevated start of a program someone may
  // have changed is the one thing Run must never do.
  if (!platform.findDesktopUser()) return UpdaterStart::NoDesktopUser;
  const size_t slash = path.rfind(L'\\');
  const std::wstring folder = slash == std::wstring::npos ? std::wstring() : path.substr(0, slash);
  const std::wstring name = path.substr(slash + 1);
  const StartAs as =
      DesktopUserCouldChange(platform, folder, name) ? StartAs::DesktopUser : StartAs::Setup;
  return platform.startProgram(path, WorkingFolder(folder), as) ? UpdaterStart::Started
                                                                : UpdaterStart::NotStarted;
}

}  // namespace fenn
