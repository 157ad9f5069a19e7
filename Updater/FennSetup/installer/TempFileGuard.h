// Deletes the files one pass made in the temp folder, on every way out of the pass, unless the
// pass committed them: the failure branches then need no clean-up of their own.
//
// Each file is also handed to the system's deletion at its next start the moment it is guarded
// (the request does not need the file to exist yet, so the codec's output is covered before the
// codec makes it), and taken off that list again once the file is gone. A run that is killed
// leaves nothing in the temp folder that the next restart does not remove; a run that ends leaves
// nothing on that list.
#pragma once

#include <string>
#include <vector>

#include "common/ExistenceTests.h"
#include "platform/Platform.h"

namespace fenn {

class TempFileGuard {
 public:
  explicit TempFileGuard(Platform& platform) : platform_(platform) {}
  ~TempFileGuard() {
    try {
      for (const Guarded& file : files_) {
        platform_.deleteFile(file.path);
        Forget(file);
      }
    } catch (...) {
    }
  }
  TempFileGuard(const TempFileGuard&) = delete;
  TempFileGuard& operator=(const TempFileGuard&) = delete;

  void Guard(const std::wstring& path) {
    // Without the request the file is only left behind by a killed run, as it always was.
    files_.push_back({path, platform_.deleteFileAtRestart(path)});
  }
  // The files now belong elsewhere (moved into the product folder): nothing is deleted.
  void Commit() {
    for (const Guarded& file : files_) Forget(file);
    files_.clear();
  }

 private:
  struct Guarded {
    std::wstring path;
    bool pendingAtRestart;
  };
  // A file still there (one the system would not let go) keeps its deletion at restart.
  void Forget(const Guarded& file) {
    if (file.pendingAtRestart && !FileExists(platform_, file.path)) {
      platform_.cancelDeletionAtRestart(file.path);
    }
  }

  Platform& platform_;
  std::vector<Guarded> files_;
};

}  // namespace fenn
