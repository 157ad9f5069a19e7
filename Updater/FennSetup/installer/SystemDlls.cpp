// The Windows system libraries the product folder gets only when Windows lacks them.
#include "setup/NameList.h"
#include "setup/frmPanel.h"

namespace fenn {

int32_t frmPanel::FillSystemDllNames(std::vector<std::wstring>& names) {
  // Spelled and ordered exactly like their catalogue entries (103, 104): the extraction merges
  // this list against the catalogue by exact comparison.
  names = {L"cfgmgr32.dll", L"setupapi.dll"};
  return 2;
}

std::wstring frmPanel::ListSystemDllsPresent(std::wstring /*productFolder*/) {
  std::wstring present;
  std::wstring systemDirectory;
  const uint32_t length = platform_.getSystemDirectory(systemDirectory);
  if (length == 0) return present;
  if (systemDirectory.size() > length) systemDirectory.resize(length);
  const std::wstring prefix = systemDirectory + L"\\";

  std::vector<std::wstring> names;
  const int32_t count = FillSystemDllNames(names);
  for (int32_t index = 0; index < count; ++index) {
    const std::wstring& name = names[static_cast<size_t>(index)];
    if (FileExists(prefix + name)) AppendName(present, name);
  }
  return present;
}

}  // namespace fenn
