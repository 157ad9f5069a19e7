// Reads one text value under HKEY_CURRENT_USER, with no fixed size limit.
#include <new>

#include "setup/frmPanel.h"

namespace fenn {

namespace {
constexpr size_t kProbeBufferBytes = 1024;
}  // namespace

std::wstring frmPanel::ReadUserRegString(std::wstring keyPath, std::wstring valueName) {
  RegKey key = 0;
  if (platform_.regOpenKeyEx(kHkeyCurrentUser, keyPath, 0, kKeyQueryValue, key) != kErrorSuccess) {
    return std::wstring();
  }

  std::wstring result;
  try {
    // The probe declares the buffer 0 bytes long: for a value with data the answer is
    // ERROR_MORE_DATA and the size slot tells how many narrow bytes the data needs.
    uint32_t type = 0;
    uint32_t size = 0;
    std::string data(kProbeBufferBytes, '\0');
    const long probe = platform_.regQueryValueEx(key, valueName, type, data, size);
    if (probe != kErrorSuccess && size != 0) {
      data.assign(size, '\0');
      platform_.regQueryValueEx(key, valueName, type, data, size);
      // Text data ends in a NUL; of a multi-string only the first text counts; data without any
      // NUL is taken whole. The buffer stays all NUL when the read failed.
      const size_t end = data.find('\0');
      if (end != std::string::npos) data.resize(end);
      result = platform_.fromAnsi(data);
    }
  } catch (const std::bad_alloc&) {
    // A size the process cannot hold is no folder name.
    result.clear();
  }
  platform_.regCloseKey(key);
  return result;
}

}  // namespace fenn
