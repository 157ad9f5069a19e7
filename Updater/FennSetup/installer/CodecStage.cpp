// The extraction calls the codec only through the module loaded here by its full path in the
// system directory; no search by library name ever happens, so a library planted beside the
// setup or elsewhere on the search path never runs. The process therefore holds exactly one
// reference, which release mode drops once.
#include "installer/CodecStage.h"

#include "locator/ExistenceTests.h"
#include "resources/ResourceIds.h"

namespace fenn {

namespace {
constexpr wchar_t kDecompressorName[] = L"CompVLib.DLL";
// Something else (a virus scanner, another process) may hold the file briefly; after this many
// attempts the file is left to the system to delete at its next start and the setup goes on.
constexpr int kMaxReleasePasses = 20;
constexpr uint32_t kReleaseWaitMilliseconds = 50;
}  // namespace

CodecStage::~CodecStage() {
  // Also runs while an error unwinds the sequence; nothing may leave a destructor then.
  try {
    ReleaseDecompressor();
  } catch (...) {
  }
}

bool CodecStage::StageDecompressor(bool release) {
  if (release) {
    ReleaseDecompressor();
    return true;
  }
  return LoadDecompressor();
}

bool CodecStage::LoadDecompressor() {
  const std::wstring systemDirectory = platform_.systemDirectory();
  if (systemDirectory.empty()) return false;
  path_ = systemDirectory + L"\\" + kDecompressorName;

  if (FileExists(platform_, path_)) {
    hDecompLib = platform_.loadLibrary(path_);
    return hDecompLib != 0;
  }

  const std::optional<std::vector<uint8_t>> library =
      platform_.loadResourceData(FENN_CODEC_LIBRARY_ID);
  if (!library) return false;
  if (!platform_.writeBytes(path_, *library)) {
    // The file was not a normal file before, so a normal file there now is our partial write.
    if (FileExists(platform_, path_)) platform_.deleteFile(path_);
    return false;
  }
  bDecompLoaded = true;
  hDecompLib = platform_.loadLibrary(path_);
  if (hDecompLib == 0) {
    ReleaseDecompressor();
    return false;
  }
  return true;
}

void CodecStage::ReleaseDecompressor() {
  if (hDecompLib != 0) {
    platform_.freeLibrary(hDecompLib);
    hDecompLib = 0;
  }
  if (!bDecompLoaded) return;

  for (int pass = 0; pass < kMaxReleasePasses && FileExists(platform_, path_); ++pass) {
    platform_.deleteFile(path_);
    if (!FileExists(platform_, path_)) break;
    platform_.yield();
    platform_.sleepMilliseconds(kReleaseWaitMilliseconds);
  }
  // Left behind, the file would pass for a library that was there before on every later run and
  // never go away; the system removes it at its next start instead.
  if (FileExists(platform_, path_)) platform_.deleteFileAtRestart(path_);
  bDecompLoaded = false;
}

void CodecStage::RemoveAtRestart() {
  if (bDecompLoaded) platform_.deleteFileAtRestart(path_);
}

}  // namespace fenn
