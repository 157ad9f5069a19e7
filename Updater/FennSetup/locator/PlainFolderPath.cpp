// Windows gives several path forms meanings beyond "this folder": a device ("NUL", "\\.\..."),
// a share on another machine (UNC, whose opening offers the user's credentials to that server),
// a pattern ("*", and "<", ">", '"' that the listing also reads as wildcards), a stream
// ("name:stream"), or a name that it rewrites before use ("T. ." is "T"). A value that is any of
// these is no folder the product was installed to.
#include "locator/PlainFolderPath.h"

namespace fenn {

namespace {

bool IsAsciiLetter(wchar_t c) {
  return (c >= L'A' && c <= L'Z') || (c >= L'a' && c <= L'z');
}

wchar_t AsciiUpper(wchar_t c) {
  return (c >= L'a' && c <= L'z') ? static_cast<wchar_t>(c - L'a' + L'A') : c;
}

// The names Windows keeps for devices, in every folder, also with an extension ("NUL.txt").
bool IsDeviceName(const std::wstring& part) {
  std::wstring base = part.substr(0, part.find(L'.'));
  while (!base.empty() && base.back() == L' ') base.pop_back();
  for (wchar_t& c : base) c = AsciiUpper(c);
  if (base == L"CON" || base == L"PRN" || base == L"AUX" || base == L"NUL" || base == L"CONIN$" ||
      base == L"CONOUT$") {
    return true;
  }
  if (base.size() != 4 || (base.compare(0, 3, L"COM") != 0 && base.compare(0, 3, L"LPT") != 0)) {
    return false;
  }
  const wchar_t digit = base[3];
  // COM0..COM9, and the superscript digits one, two and three that Windows also accepts.
  return (digit >= L'0' && digit <= L'9') || digit == L'\u00b9' || digit == L'\u00b2' ||
         digit == L'\u00b3';
}

bool IsOrdinaryName(const std::wstring& part) {
  if (part.empty() || part.back() == L'.' || part.back() == L' ') return false;
  for (wchar_t c : part) {
    if (c < 0x20 || c == L'<' || c == L'>' || c == L':' || c == L'"' || c == L'/' || c == L'|' ||
        c == L'?' || c == L'*') {
      return false;
    }
  }
  return !IsDeviceName(part);
}

}  // namespace

bool IsPlainFolderPath(const std::wstring& path) {
  if (path.size() < 3 || !IsAsciiLetter(path[0]) || path[1] != L':' || path[2] != L'\\') {
    return false;
  }
  // The parts after "X:\", each ended by "\" or by the end of the text; only the last "\" may
  // end the text.
  size_t start = 3;
  while (start < path.size()) {
    size_t end = path.find(L'\\', start);
    if (end == std::wstring::npos) end = path.size();
    if (!IsOrdinaryName(path.substr(start, end - start))) return false;
    start = end + 1;
  }
  return true;
}

}  // namespace fenn
