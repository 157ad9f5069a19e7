// Makes the codec library reachable for the extraction, and removes it again afterwards.
//
// The extraction calls the codec only through the module loaded here by its full path in the
// system directory; no search by library name ever happens, so a library planted beside the
// setup or elsewhere on the search path never runs. The process therefore holds exactly one
// reference, which release mode drops once.
#include "setup/Texts.h"
#include "setup/frmPanel.h"

namespace fenn {

namespace {
constexpr wchar_t kDecompressorName[] = L"CompVLib.DLL";
constexpr int kDecompressorResource = 1001;
constexpr wchar_t kCustomResourceType[] = L"CUSTOM";
// Something else (a virus scanner, another process) may hold the file briefly; after this many
// attempts the file is left where it is and the setup goes on.
constexpr int kMaxReleasePasses = 20;
constexpr uint32_t kReleaseWaitMilliseconds = 50;
}  // namespace

std::wstring frmPanel::DecompressorPath() {
  std::wstring systemDirectory;
  const uint32_t length = platform_.getSystemDirectory(systemDirectory);
  if (length == 0) return std::wstring();
  if (systemDirectory.size() > length) systemDirectory.resize(length);
  return systemDirectory + L"\\" + kDecompressorName;
}

bool frmPanel::StageDecompressor(bool release) {
  if (release) {
    ReleaseDecompressor();
    return true;
  }
  if (LoadDecompressor()) return true;
  ShowError(texts::kCannotPrepareCodec);
  return false;
}

bool frmPanel::LoadDecompressor() {
  const std::wstring path = DecompressorPath();
  if (path.empty()) return false;

  // A library of that name that was there before is used as it is: never written, never deleted.
  if (FileExists(path)) {
    hDecompLib = platform_.loadLibrary(path);
    return hDecompLib != 0;
  }

  std::vector<uint8_t> library;
  if (!platform_.loadResourceData(kDecompressorResource, kCustomResourceType, library)) {
    return false;
  }
  if (!platform_.writeBytes(path, library)) {
    // The file was not a normal file before, so a normal file there now is our partial write.
    if (FileExists(path)) platform_.deleteFile(path);
    return false;
  }
  bDecompLoaded = true;
  hDecompLib = platform_.loadLibrary(path);
  if (hDecompLib == 0) {
    ReleaseDecompressor();
    return false;
  }
  return true;
}

void frmPanel::ReleaseDecompressor() {
  if (hDecompLib != 0) {
    platform_.freeLibrary(hDecompLib);
    hDecompLib = 0;
  }
  if (!bDecompLoaded) return;

  const std::wstring path = DecompressorPath();
  for (int pass = 0; pass < kMaxReleasePasses && FileExists(path); ++pass) {
    platform_.deleteFile(path);
    if (!FileExists(path)) break;
    platform_.yield();
    platform_.sleepMilliseconds(kReleaseWaitMilliseconds);
  }
  // Left behind, the file would pass for a library that was there before on every later run and
  // never go away; the system removes it at its next start instead.
  if (FileExists(path)) platform_.deleteFileAtRestart(path);
  bDecompLoaded = false;
}

}  // namespace fenn
