// Resources of the running executable. Every catalogue resource is stored in the Korean language
// only, so lookups name that language instead of depending on the thread's UI language (which
// LoadString would use).
#include <cstring>

#include "platform/win32/Win32Platform.h"
#include "resources/ResourceIds.h"

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

std::optional<std::wstring> Win32Platform::loadResourceString(int id) {
  if (id < 0 || id > 0xFFFF) return std::nullopt;
  // Strings live in bundles of 16: bundle id/16+1, each entry a length and that many UTF-16 units.
  DWORD size = 0;
  const BYTE* bundle =
      findKoreanResource(RT_STRING, MAKEINTRESOURCEW(static_cast<WORD>(id / 16 + 1)), size);
  if (!bundle) return std::nullopt;
  const BYTE* end = bundle + size;
  const BYTE* cursor = bundle;
  for (int slot = 0; slot < 16; ++slot) {
    if (cursor + sizeof(WORD) > end) return std::nullopt;
    WORD length;
    memcpy(&length, cursor, sizeof length);
    cursor += sizeof(WORD);
    if (cursor + length * sizeof(wchar_t) > end) return std::nullopt;
    if (slot == id % 16) {
      // An empty slot is how the resource compiler leaves ids without an entry.
      if (length == 0) return std::nullopt;
      std::wstring text(length, L'\0');
      memcpy(&text[0], cursor, length * sizeof(wchar_t));
      return text;
    }
    cursor += length * sizeof(wchar_t);
  }
  return std::nullopt;
}

std::optional<std::vector<uint8_t>> Win32Platform::loadResourceData(int id) {
  if (id < 0 || id > 0xFFFF) return std::nullopt;
  DWORD size = 0;
  const BYTE* data =
      findKoreanResource(L"" FENN_PAYLOAD_TYPE, MAKEINTRESOURCEW(static_cast<WORD>(id)), size);
  if (!data) return std::nullopt;
  return std::vector<uint8_t>(data, data + size);
}

}  // namespace fenn
