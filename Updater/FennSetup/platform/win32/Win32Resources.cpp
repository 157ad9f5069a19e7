// Resources of the running executable. Every catalogue resource is stored in the Korean language
// only, so lookups name that language instead of depending on the thread's UI language (which
// LoadString would use).
#include <cstring>

#include "platform/win32/Win32Platform.h"

namespace fenn {
namespace {

const WORD kKorean = MAKELANGID(LANG_KOREAN, SUBLANG_DEFAULT);

// The bytes of one resource of this executable, or nullptr when it has none in Korean.
const BYTE* findKoreanResource(const wchar_t* type, const wchar_t* name, DWORD& size) {
  HMODULE self = GetModuleHandleW(nullptr);
  HRSRC found = FindResourceExW(self, type, name, kKorean);
  if (!found) return nullptr;
  HGLOBAL loaded = LoadResource(self, found);
  if (!loaded) return nullptr;
  size = SizeofResource(self, found);
  return static_cast<const BYTE*>(LockResource(loaded));
}

}  // namespace

bool Win32Platform::loadResourceString(int id, std::wstring& text) {
  if (id < 0 || id > 0xFFFF) return false;
  // Strings live in bundles of 16: bundle id/16+1, each entry a length and that many UTF-16 units.
  DWORD size = 0;
  const BYTE* bundle =
      findKoreanResource(RT_STRING, MAKEINTRESOURCEW(static_cast<WORD>(id / 16 + 1)), size);
  if (!bundle) return false;
  const BYTE* end = bundle + size;
  const BYTE* cursor = bundle;
  for (int slot = 0; slot < 16; ++slot) {
    if (cursor + sizeof(WORD) > end) return false;
    WORD length;
    memcpy(&length, cursor, sizeof length);
    cursor += sizeof(WORD);
    if (cursor + length * sizeof(wchar_t) > end) return false;
    if (slot == id % 16) {
      // An empty slot is how the resource compiler leaves ids without an entry.
      if (length == 0) return false;
      text.assign(length, L'\0');
      memcpy(&text[0], cursor, length * sizeof(wchar_t));
      return true;
    }
    cursor += length * sizeof(wchar_t);
  }
  return false;
}

bool Win32Platform::loadResourceData(int id, const std::wstring& type,
                                     std::vector<uint8_t>& bytes) {
  if (id < 0 || id > 0xFFFF) return false;
  DWORD size = 0;
  const BYTE* data =
      findKoreanResource(type.c_str(), MAKEINTRESOURCEW(static_cast<WORD>(id)), size);
  if (!data) return false;
  bytes.assign(data, data + size);
  return true;
}

}  // namespace fenn
