// The current user's registry in memory, answering like the narrow registry functions: values are
// raw narrow bytes (of any type: the setup reads every type as text), sizes count bytes, a
// too-small buffer gives ERROR_MORE_DATA.
#pragma once

#include <cstdint>
#include <map>
#include <string>
#include <vector>

#include "platform/Platform.h"

namespace fenn::fake {

constexpr long kErrorFileNotFound = 2;
constexpr long kErrorAccessDenied = 5;
constexpr long kErrorInvalidHandle = 6;

class FakeRegistry {
 public:
  void addKey(const std::wstring& key);
  void setValue(const std::wstring& key, const std::wstring& name, const std::string& bytes);
  // Every query of this key answers ERROR_ACCESS_DENIED without touching the size.
  void refuseQueries(const std::wstring& key);

  RegKey open(const std::wstring& subKey);
  RegRead query(RegKey key, const std::wstring& valueName, uint32_t capacity);
  void close(RegKey key);

  int opens = 0;
  int closes = 0;
  size_t openHandles() const { return handles_.size(); }

 private:
  struct Key {
    std::map<std::wstring, std::string> values;  // by upper-cased name
    bool refused = false;
  };
  std::map<std::wstring, Key> keys_;  // by upper-cased path
  std::map<RegKey, std::wstring> handles_;
  RegKey nextHandle_ = 0x100;
};

}  // namespace fenn::fake
