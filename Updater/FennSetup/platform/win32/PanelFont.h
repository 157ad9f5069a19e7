// The panel's font: the face the form description names, or a fixed-pitch Hangul face in its
// place when that one is not installed.
#pragma once

#include <windows.h>

#include <string>

#include "platform/Platform.h"

namespace fenn {

// Picks the installed face to use for `form`'s font; never empty.
std::wstring choosePanelFontFace(const FormDescription& form);

// Creates the font of `form` in `face` for a screen of `dpi` dots per inch.
HFONT createPanelFont(const FormDescription& form, const std::wstring& face, int dpi);

}  // namespace fenn
