// The codec library staged as "CompVLib.DLL" in the system directory for the extraction. The
// stage owns what it staged: release mode, which the destructor runs on every way out (an
// exception included), drops the module and deletes the file. From the moment the file exists,
// the system is also asked to delete it at its next start, so a run that is ended in the middle
// (killed, or a logoff) leaves nothing that outlives a restart; the next run recognises that
// leftover by the pending deletion and removes it after use. Once the release has deleted the
// file, the request is taken back. A library of that name that was
// there before, with no deletion pending, is used as it is and never written or deleted.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

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

  // The library file was written by this stage (or left by an earlier run of the setup) and is
  // still its own.
  bool staged() const { return bDecompLoaded; }

 private:
  bool LoadDecompressor();
  // Stages the library where no file of that name is; its deletion at the system's next start is
  // asked for before its first byte.
  bool WriteNewLibrary(const std::vector<uint8_t>& library, bool deletionPending);
  // Writes the library again over a leftover of an earlier run of the setup.
  bool RewriteLeftover(const std::vector<uint8_t>& library, bool deletionPending);
  void ReleaseDecompressor();

  Platform& platform_;
  std::wstring path_;  // the library's place in the system directory, once load mode found it
  bool bDecompLoaded = false;
  ModuleHandle hDecompLib = 0;
};

}  // namespace fenn
