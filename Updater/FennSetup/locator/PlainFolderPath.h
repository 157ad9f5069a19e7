// Which folder texts from outside the setup it takes as a place to look for the product.
#pragma once

#include <string>

namespace fenn {

// A drive-absolute path "X:\..." (one trailing "\" allowed) whose every part is an ordinary
// name: no wildcards, no device names ("CON", "NUL", "COM1"...), no stream names, no part that
// Windows would silently change (a trailing dot or space, "." and ".."). Device prefixes
// ("\\?\", "\\.\"), UNC paths and relative paths are not drive-absolute.
bool IsPlainFolderPath(const std::wstring& path);

}  // namespace fenn
