// Installs the payload catalogue into the product folder.
//
// Each payload travels as a compressed container ("CUSTOM" resource N) named by string-table
// entry N. It is written to a temp file, decompressed by the codec next to it (path + ".bin"),
// and moved into the product folder. The temp files live in a folder the installer makes for the
// run, which only SYSTEM and Administrators can open: nobody else can read, swap or change a
// payload between its decoding and its placement.
#pragma once

#include <cstdint>
#include <memory>
#include <string>

#include "common/SetupProgress.h"
#include "installer/CodecStage.h"
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

  // `presentLibraries` is the NameList of ListSystemDllsPresent. Every file of the product
  // folder is looked at, made and renamed through the held folder.
  Extraction ExtractPayloads(HeldFolder& productFolder, const std::wstring& presentLibraries);
  // The same on a product folder held for this extraction only.
  Extraction ExtractPayloads(const std::wstring& productFolder,
                             const std::wstring& presentLibraries);
  // A new, empty file in the run's private folder inside the user's temp folder; false (and
  // `path` untouched) when none can be made.
  bool MakeTempFile(const std::wstring& prefix, std::wstring& path);

 private:
  Extraction ExtractCatalogue(HeldFolder& productFolder, const std::wstring& presentLibraries);
  Extraction InstallPayload(int32_t id, HeldFolder& productFolder, const std::wstring& name);
  // The private folder's path, ending in "\"; made on first use. Empty when it cannot be made.
  std::wstring PrivateTempFolder();

  Platform& platform_;
  SetupProgress& progress_;
  const CodecStage& codec_;
  // Held until the installer ends, then removed (it is empty by then).
  std::unique_ptr<HeldFolder> privateFolder_;
};

}  // namespace fenn
