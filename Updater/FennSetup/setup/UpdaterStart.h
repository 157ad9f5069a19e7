// Run: the updater starts with the setup's own rights only where the desktop user could have
// changed neither it nor the folders it is reached through. Otherwise it starts with the desktop
// user's rights, which the desktop user had anyway; without a desktop user it does not start.
#pragma once

#include <string>

#include "platform/Platform.h"

namespace fenn {

enum class UpdaterStart {
  Started,
  NotStarted,     // the program could not be started (gone, or not a program)
  NoDesktopUser,  // nobody whose rights it could be given: not started
};

// Starts the program at `path` ("<product folder>\K3Fenn.exe", Run's tag) with the product folder
// as its working folder.
UpdaterStart StartUpdater(Platform& platform, const std::wstring& path);

// Whether the desktop user could have changed the program at "<productFolder>\<name>", put a file
// beside it, or swapped a folder on its path: a link or an entry whose security cannot be read
// anywhere on the path counts as such a change, and so does a path that is no "X:\..." path.
bool DesktopUserCouldChange(Platform& platform, const std::wstring& productFolder,
                            const std::wstring& name);

}  // namespace fenn
