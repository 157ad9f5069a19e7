#include "FakeRegistry.h"

#include <algorithm>
#include <cwctype>

namespace fenn::fake {

namespace {
std::wstring Upper(std::wstring text) {
  for (wchar_t& c : text) c = static_cast<wchar_t>(std::towupper(static_cast<wint_t>(c)));
  return text;
}
}  // namespace

void FakeRegistry::addKey(const std::wstring& key) {
  keys_[Upper(key)];
}

void FakeRegistry::setValue(const std::wstring& key, const std::wstring& name, uint32_t type,
                            const std::string& bytes) {
  keys_[Upper(key)].values[Upper(name)] = Value{type, bytes};
}

void FakeRegistry::refuseQueries(const std::wstring& key) {
  keys_[Upper(key)].refused = true;
}

long FakeRegistry::open(uintptr_t root, const std::wstring& subKey, RegKey& key) {
  ++opens;
  if (root != kHkeyCurrentUser || keys_.count(Upper(subKey)) == 0) return kErrorFileNotFound;
  key = nextHandle_++;
  handles_[key] = Upper(subKey);
  return kErrorSuccess;
}

long FakeRegistry::query(RegKey key, const std::wstring& valueName, uint32_t& type,
                         std::string& data, uint32_t& size) {
  ++queries;
  const auto handle = handles_.find(key);
  if (handle == handles_.end()) return kErrorInvalidHandle;
  const Key& entry = keys_[handle->second];
  if (entry.refused) return kErrorAccessDenied;
  const auto value = entry.values.find(Upper(valueName));
  if (value == entry.values.end()) return kErrorFileNotFound;
  type = value->second.type;
  const std::string& bytes = value->second.bytes;
  const uint32_t needed = static_cast<uint32_t>(bytes.size());
  if (size < needed) {
    size = needed;
    return kErrorMoreData;
  }
  // Only the first `size` bytes of the caller's buffer belong to the call.
  std::copy_n(bytes.begin(), std::min(bytes.size(), data.size()), data.begin());
  size = needed;
  return kErrorSuccess;
}

long FakeRegistry::close(RegKey key) {
  ++closes;
  return handles_.erase(key) == 1 ? kErrorSuccess : kErrorInvalidHandle;
}

}  // namespace fenn::fake
