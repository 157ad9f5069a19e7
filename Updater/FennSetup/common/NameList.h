// NameList: names, each followed by exactly one NUL, read from the front one name at a time.
#pragma once

#include <string>

namespace fenn {

inline void AppendName(std::wstring& list, const std::wstring& name) {
  list += name;
  list += L'\0';
}

// Removes the first name and its NUL from the front of `list` and returns the name. A list whose
// last name lacks its NUL gives that name and becomes empty.
inline std::wstring TakeFirstName(std::wstring& list) {
  const size_t end = list.find(L'\0');
  if (end == std::wstring::npos) {
    std::wstring name;
    name.swap(list);
    return name;
  }
  std::wstring name = list.substr(0, end);
  list.erase(0, end + 1);
  return name;
}

}  // namespace fenn
