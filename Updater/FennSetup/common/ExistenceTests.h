// FileExists and FolderExists: the only way the setup asks whether a file or folder is there.
#pragma once

#include <string>

#include "platform/Platform.h"

namespace fenn {

// Normal files only: hidden, system and folder entries are not seen.
bool FileExists(Platform& platform, const std::wstring& path);
// A normal file that holds no bytes.
bool EmptyFileExists(Platform& platform, const std::wstring& path);
// Folders and normal files.
bool FolderExists(Platform& platform, const std::wstring& path);

}  // namespace fenn
