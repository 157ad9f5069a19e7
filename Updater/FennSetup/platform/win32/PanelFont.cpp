#include "platform/win32/PanelFont.h"

namespace fenn {
namespace {

struct FaceSearch {
  std::wstring wanted;  // an exact face to look for; empty: any fixed-pitch face
  std::wstring found;
};

int CALLBACK collectFace(const LOGFONTW* font, const TEXTMETRICW*, DWORD, LPARAM context) {
  auto* search = reinterpret_cast<FaceSearch*>(context);
  std::wstring face = font->lfFaceName;
  if (face.empty() || face[0] == L'@') return 1;  // "@" faces are the vertical variants
  if (!search->wanted.empty()) {
    search->found = face;
    return 0;
  }
  if ((font->lfPitchAndFamily & 0x3) == FIXED_PITCH) {
    search->found = face;
    return 0;
  }
  return 1;
}

// The first installed face with `charset` that is `wanted` (or, with wanted empty, any
// fixed-pitch face); empty when there is none.
std::wstring findFace(const std::wstring& wanted, int charset) {
  HDC screen = GetDC(nullptr);
  LOGFONTW query = {};
  query.lfCharSet = static_cast<BYTE>(charset);
  lstrcpynW(query.lfFaceName, wanted.c_str(), LF_FACESIZE);
  FaceSearch search{wanted, L""};
  EnumFontFamiliesExW(screen, &query, collectFace, reinterpret_cast<LPARAM>(&search), 0);
  ReleaseDC(nullptr, screen);
  return search.found;
}

}  // namespace

std::wstring choosePanelFontFace(const FormDescription& form) {
  // The wanted face, then well-known fixed-pitch Hangul faces, then any fixed-pitch Hangul face.
  // They all keep the layout's metrics: a half-width character half as wide as a syllable.
  const std::wstring candidates[] = {form.fontName, L"GulimChe", L"NanumGothicCoding",
                                     L"D2Coding",   L"DotumChe", L"BatangChe"};
  for (const std::wstring& candidate : candidates) {
    std::wstring face = findFace(candidate, form.fontCharset);
    if (!face.empty()) return face;
  }
  std::wstring anyFixed = findFace(L"", form.fontCharset);
  return anyFixed.empty() ? form.fontName : anyFixed;
}

HFONT createPanelFont(const FormDescription& form, const std::wstring& face, int dpi) {
  LOGFONTW font = {};
  font.lfHeight = -MulDiv(form.fontPoints, dpi, 72);  // negative: the character height
  font.lfWeight = form.fontWeight;
  font.lfCharSet = static_cast<BYTE>(form.fontCharset);
  font.lfOutPrecision = OUT_DEFAULT_PRECIS;
  font.lfClipPrecision = CLIP_DEFAULT_PRECIS;
  font.lfQuality = DEFAULT_QUALITY;
  font.lfPitchAndFamily = FIXED_PITCH | FF_MODERN;
  lstrcpynW(font.lfFaceName, face.c_str(), LF_FACESIZE);
  return CreateFontIndirectW(&font);
}

}  // namespace fenn
