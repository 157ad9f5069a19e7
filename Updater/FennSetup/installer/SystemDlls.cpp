#include "installer/SystemDlls.h"

#include "common/ExistenceTests.h"
#include "common/NameList.h"

namespace fenn {

int32_t FillSystemDllNames(std::vector<std::wstring>& names) {
  // Spelled and ordered exactly like their catalogue entries (103, 104): the extraction merges
  // this list against the catalogue by exact comparison.
  names = {L"cfgmgr32.dll", L"setupapi.dll"};
  return 2;
}

std::wstring ListSystemDllsPresent(Platform& platform, const std::wstring& /*productFolder*/) {
  std::wstring present;
  const std::wstring systemDirectory = platform.systemDirectory();
  if (systemDirectory.empty()) return present;

  std::vector<std::wstring> names;
  const int32_t count = FillSystemDllNames(names);
  for (int32_t index = 0; index < count; ++index) {
    const std::wstring& name = names[static_cast<size_t>(index)];
    if (FileExists(platform, systemDirectory + L"\\" + name)) AppendName(present, name);
  }
  return present;
}

bool PresentSystemDlls::Has(const std::wstring& name) {
  if (pending_.empty() && !rest_.empty()) pending_ = TakeFirstName(rest_);
  if (pending_ != name) return false;
  pending_.clear();
  return true;
}

}  // namespace fenn
