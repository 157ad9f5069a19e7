// The system's list of what to rename or delete at its next start (the registry value
// PendingFileRenameOperations): a list of texts in pairs, a file and its new name, as NT paths
// ("\??\C:\..."); an empty new name deletes the file. Other programs add to it as well, so it
// is read and changed here byte for byte, without any assumption about what they wrote.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

namespace fenn {

struct PendingRename {
  size_t offset = 0;     // where the pair starts in the value, in bytes
  size_t length = 0;     // its bytes: both names and their NULs
  std::wstring file;     // without the "\??\" prefix
  bool deletes = false;  // the new name is empty
};

// Every pair of the value (UTF-16 text), in order. A pair whose file is empty says nothing and
// is passed over, not taken for the end of the list; a last name without its partner ends it.
std::vector<PendingRename> ReadPendingRenames(const std::vector<uint8_t>& value);

// The value without that pair; every other byte stays as it was.
std::vector<uint8_t> WithoutPair(const std::vector<uint8_t>& value, const PendingRename& pair);

// Nothing but NULs (or nothing at all) is left: no pair at all.
bool HoldsOnlyTerminators(const std::vector<uint8_t>& value);

}  // namespace fenn
