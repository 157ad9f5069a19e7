// Installs the payload catalogue into the product folder.
//
// Each payload travels as a compressed container ("CUSTOM" resource N) named by string-table
// entry N. It is written to a temp file, decompressed by the codec next to it (path + ".bin"),
// and moved into the product folder.
#pragma once

#include <cstdint>
#include <string>

#include "installer/CodecStage.h"
#include "common/SetupProgress.h"
#include "platform/Platform.h"

namespace fenn {

// How a run of the extraction ended. Every failure ends it at the payload that failed; payloads
// installed before stay installed.
enum class Extraction {
  Completed,           // the catalogue is done (installed or skipped)
  Cancelled,           // the person asked to stop
  CannotMakeTempFile,  // no temp file, or the container could not be read or written to it
  DecompressFailed,    // the codec failed or could not be called
  CannotPlaceFile,     // the unpacked file could not be moved into the product folder
};

class PayloadInstaller {
 public:
  PayloadInstaller(Platform& platform, SetupProgress& progress, const CodecStage& codec)
      : platform_(platform), progress_(progress), codec_(codec) {}

  // `presentLibraries` is the NameList of ListSystemDllsPresent.
  Extraction ExtractPayloads(const std::wstring& productFolder,
                             const std::wstring& presentLibraries);
  // A new, empty file in the user's temp folder; false (and `path` untouched) when none can be
  // made.
  bool MakeTempFile(const std::wstring& prefix, std::wstring& path);

 private:
  Extraction InstallPayload(int32_t id, const std::wstring& productFolder,
                            const std::wstring& name);

  Platform& platform_;
  SetupProgress& progress_;
  const CodecStage& codec_;
};

}  // namespace fenn
