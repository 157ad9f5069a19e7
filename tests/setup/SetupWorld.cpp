#include "SetupWorld.h"

namespace fenn::test {

std::wstring Join(const std::wstring& folder, const std::wstring& name) {
  return folder + L"\\" + name;
}

std::wstring NameList(const std::vector<std::wstring>& names) {
  std::wstring list;
  for (const auto& name : names) list += name + std::wstring(1, L'\0');
  return list;
}

}  // namespace fenn::test
