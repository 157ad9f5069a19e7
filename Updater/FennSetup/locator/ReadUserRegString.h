// Reads one text value under HKEY_CURRENT_USER.
#pragma once

#include <string>

#include "platform/Platform.h"

namespace fenn {

// The value's text up to its first NUL; the empty text when the key or value is absent or
// unreadable.
std::wstring ReadUserRegString(Platform& platform, const std::wstring& keyPath,
                               const std::wstring& valueName);

}  // namespace fenn
