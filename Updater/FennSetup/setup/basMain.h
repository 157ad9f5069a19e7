// Entry point of the setup logic: the platform's WinMain calls Main once and returns when it does.
#pragma once

#include "platform/Platform.h"

namespace fenn {

void Main(Platform& platform);

}  // namespace fenn
