// Read-only registry access through the narrow functions: value data comes back in the ANSI code
// page and every size is in those narrow bytes, which is what the registry reader counts with.
#include "platform/win32/Win32Platform.h"

namespace fenn {

RegKey Win32Platform::openUserKey(const std::wstring& subKey) {
  HKEY opened = nullptr;
  LONG status =
      RegOpenKeyExA(HKEY_CURRENT_USER, toAnsi(subKey).c_str(), 0, KEY_QUERY_VALUE, &opened);
  return status == ERROR_SUCCESS ? reinterpret_cast<RegKey>(opened) : 0;
}

RegRead Win32Platform::queryValue(RegKey key, const std::wstring& valueName, uint32_t capacity) {
  RegRead read;
  read.data.assign(capacity, '\0');
  DWORD size = capacity;
  // Never a null buffer: with one the call answers success and the size instead of "more data".
  BYTE none = 0;
  BYTE* buffer = capacity == 0 ? &none : reinterpret_cast<BYTE*>(&read.data[0]);
  read.status = RegQueryValueExA(reinterpret_cast<HKEY>(key), toAnsi(valueName).c_str(), nullptr,
                                 nullptr, buffer, &size);
  read.size = size;
  return read;
}

void Win32Platform::closeKey(RegKey key) {
  RegCloseKey(reinterpret_cast<HKEY>(key));
}

}  // namespace fenn
