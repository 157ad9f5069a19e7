// The Windows system libraries the product folder gets only when Windows lacks them.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "platform/Platform.h"

namespace fenn {

int32_t FillSystemDllNames(std::vector<std::wstring>& names);
// The NameList of those libraries that the system directory already has, in catalogue order.
std::wstring ListSystemDllsPresent(Platform& platform, const std::wstring& productFolder);

}  // namespace fenn
