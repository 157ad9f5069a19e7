// Read-only registry access through the narrow functions: value data comes back in the ANSI code
// page and every size is in those narrow bytes, which is what the registry reader counts with.
#include <algorithm>

#include "platform/win32/Win32Platform.h"

namespace fenn {

long Win32Platform::regOpenKeyEx(uintptr_t root, const std::wstring& subKey, uint32_t options,
                                 uint32_t access, RegKey& key) {
  HKEY opened = nullptr;
  LONG status = RegOpenKeyExA(reinterpret_cast<HKEY>(root), toAnsi(subKey).c_str(), options,
                              static_cast<REGSAM>(access), &opened);
  key = status == ERROR_SUCCESS ? reinterpret_cast<RegKey>(opened) : 0;
  return status;
}

long Win32Platform::regQueryValueEx(RegKey key, const std::wstring& valueName, uint32_t& type,
                                    std::string& data, uint32_t& size) {
  // The caller declares how many bytes of its buffer may be written; never more than it holds.
  DWORD capacity = static_cast<DWORD>(std::min<size_t>(size, data.size()));
  DWORD valueType = 0;
  BYTE* buffer = data.empty() ? nullptr : reinterpret_cast<BYTE*>(&data[0]);
  LONG status = RegQueryValueExA(reinterpret_cast<HKEY>(key), toAnsi(valueName).c_str(), nullptr,
                                 &valueType, buffer, &capacity);
  type = valueType;
  size = capacity;
  return status;
}

long Win32Platform::regCloseKey(RegKey key) {
  return RegCloseKey(reinterpret_cast<HKEY>(key));
}

}  // namespace fenn
