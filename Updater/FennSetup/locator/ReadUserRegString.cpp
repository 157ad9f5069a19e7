// The value is read in two calls, with no fixed size limit: a probe that declares a buffer of 0
// bytes, which for a value with data answers "more data" and the size the data needs in narrow
// bytes, then a read of exactly that size.
#include "locator/ReadUserRegString.h"

#include <new>

namespace fenn {

std::wstring ReadUserRegString(Platform& platform, const std::wstring& keyPath,
                               const std::wstring& valueName) {
  const RegKey key = platform.openUserKey(keyPath);
  if (key == 0) return std::wstring();

  std::wstring result;
  try {
    const RegRead probe = platform.queryValue(key, valueName, 0);
    if (probe.status != kErrorSuccess && probe.size != 0) {
      std::string data = platform.queryValue(key, valueName, probe.size).data;
      // Text data ends in a NUL; of a multi-string only the first text counts; data without any
      // NUL is taken whole. The buffer stays all NUL when the read failed.
      const size_t end = data.find('\0');
      if (end != std::string::npos) data.resize(end);
      result = platform.fromAnsi(data);
    }
  } catch (const std::bad_alloc&) {
    // A size the process cannot hold is no folder name.
    result.clear();
  }
  platform.closeKey(key);
  return result;
}

}  // namespace fenn
