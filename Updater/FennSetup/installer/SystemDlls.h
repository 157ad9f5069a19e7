// The Windows system libraries the product folder gets only when Windows lacks them.
#pragma once

#include <cstdint>
#include <string>
#include <utility>
#include <vector>

#include "platform/Platform.h"

namespace fenn {

int32_t FillSystemDllNames(std::vector<std::wstring>& names);
// The NameList of those libraries that the system directory already has, in catalogue order.
std::wstring ListSystemDllsPresent(Platform& platform, const std::wstring& productFolder);

// The extraction's ordered merge of the catalogue with that NameList: at most one name of the
// list waits, and it leaves only when a catalogue entry of exactly its spelling (letter case
// included) comes along. Every entry is asked about, in catalogue order, before anything else
// decides about it: an entry passed over for another reason would leave its name waiting, and the
// next library of the list would then never match.
class PresentSystemDlls {
 public:
  explicit PresentSystemDlls(std::wstring presentLibraries) : rest_(std::move(presentLibraries)) {}
  // Whether the system directory has the library of this catalogue entry.
  bool Has(const std::wstring& name);

 private:
  std::wstring pending_;
  std::wstring rest_;
};

}  // namespace fenn
