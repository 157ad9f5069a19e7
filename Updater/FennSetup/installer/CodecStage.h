// The codec library staged as "CompVLib.DLL" in the system directory for the extraction. The
// stage owns what it staged: release mode, which the destructor runs on every way out (an
// exception included), drops the module and deletes the file. A library of that name that was
// there before is used as it is and never written or deleted.
#pragma once

#include <string>

#include "platform/Platform.h"

namespace fenn {

class CodecStage {
 public:
  explicit CodecStage(Platform& platform) : platform_(platform) {}
  ~CodecStage();
  CodecStage(const CodecStage&) = delete;
  CodecStage& operator=(const CodecStage&) = delete;

  // Load mode (release = false) answers whether the codec can be called; release mode always
  // answers true and leaves the stage as if nothing had been loaded.
  bool StageDecompressor(bool release);
  // The module the extraction calls; 0 when none is loaded.
  ModuleHandle module() const { return hDecompLib; }
  // The process is about to be ended (Windows logs off or shuts down): a library this stage wrote
  // is handed to the system to delete at its next start, since release mode will not run.
  void RemoveAtRestart();

  // The library file was written by this stage and is still its own.
  bool staged() const { return bDecompLoaded; }

 private:
  bool LoadDecompressor();
  void ReleaseDecompressor();

  Platform& platform_;
  std::wstring path_;  // the library's place in the system directory, once load mode found it
  bool bDecompLoaded = false;
  ModuleHandle hDecompLib = 0;
};

}  // namespace fenn
