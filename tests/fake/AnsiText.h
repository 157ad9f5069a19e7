// Conversion between wide text and the Korean narrow code page (949), as a Korean Windows does.
// Characters the code page cannot hold become "?".
#pragma once

#include <string>

namespace fenn::fake {

std::string ToCp949(const std::wstring& text);
std::wstring FromCp949(const std::string& text);

}  // namespace fenn::fake
