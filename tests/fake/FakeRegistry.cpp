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

void FakeRegistry::setValue(const std::wstring& key, const std::wstring& name,
                            const std::string& bytes) {
  keys_[Upper(key)].values[Upper(name)] = bytes;
}

void FakeRegistry::refuseQueries(const std::wstring& key) {
  keys_[Upper(key)].refused = true;
}

RegKey FakeRegistry::open(const std::wstring& subKey) {
  ++opens;
  if (keys_.count(Upper(subKey)) == 0) return 0;
  const RegKey key = nextHandle_++;
  handles_[key] = Upper(subKey);
  return key;
}

RegRead FakeRegistry::query(RegKey key, const std::wstring& valueName, uint32_t capacity) {
  RegRead read;
  read.data.assign(capacity, '\0');
  read.size = capacity;
  const auto handle = handles_.find(key);
  if (handle == handles_.end()) {
    read.status = kErrorInvalidHandle;
    return read;
  }
  const Key& entry = keys_[handle->second];
  const auto value = entry.values.find(Upper(valueName));
  if (entry.refused || value == entry.values.end()) {
    read.status = entry.refused ? kErrorAccessDenied : kErrorFileNotFound;
    read.size = 0;
    return read;
  }
  const std::string& bytes = value->second;
  read.size = static_cast<uint32_t>(bytes.size());
  if (capacity < bytes.size()) {
    read.status = kErrorMoreData;
    return read;
  }
  std::copy(bytes.begin(), bytes.end(), read.data.begin());
  read.status = kErrorSuccess;
  return read;
}

void FakeRegistry::close(RegKey key) {
  ++closes;
  handles_.erase(key);
}

}  // namespace fenn::fake
