// Deletes the files one pass made in the temp folder, on every way out of the pass, unless the
// pass committed them: the failure branches then need no clean-up of their own.
#pragma once

#include <string>
#include <vector>

#include "platform/Platform.h"

namespace fenn {

class TempFileGuard {
 public:
  explicit TempFileGuard(Platform& platform) : platform_(platform) {}
  ~TempFileGuard() {
    try {
      for (const std::wstring& path : paths_) platform_.deleteFile(path);
    } catch (...) {
    }
  }
  TempFileGuard(const TempFileGuard&) = delete;
  TempFileGuard& operator=(const TempFileGuard&) = delete;

  void Guard(const std::wstring& path) { paths_.push_back(path); }
  // The files now belong elsewhere (moved into the product folder): nothing is deleted.
  void Commit() { paths_.clear(); }

 private:
  Platform& platform_;
  std::vector<std::wstring> paths_;
};

}  // namespace fenn
