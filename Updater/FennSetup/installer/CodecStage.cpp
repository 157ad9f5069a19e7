// The extraction calls the codec only through the module loaded here by its full path in the
// system directory; no search by library name ever happens, so a library planted beside the
// setup or elsewhere on the search path never runs. The process therefore holds exactly one
// reference, which release mode drops once.
#include "installer/CodecStage.h"

#include "common/ExistenceTests.h"
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

  // A library the system will delete at its next start is one this setup staged in a run that
  // was ended before its release: a library that was there before has no such deletion pending.
  // So is an empty file, left by a run ended right after it made the file, before it asked for
  // that deletion: an empty file is nobody's library.
  const bool deletionPending = platform_.deletionPendingAtRestart(path_);
  const bool present = FileExists(platform_, path_);
  const bool ownLeftover = present && (deletionPending || EmptyFileExists(platform_, path_));
  if (present && !ownLeftover) {
    hDecompLib = platform_.loadLibrary(path_);
    return hDecompLib != 0;
  }

  const std::optional<std::vector<uint8_t>> library =
      platform_.loadResourceData(FENN_CODEC_LIBRARY_ID);
  if (!library) return false;
  if (present ? !RewriteLeftover(*library, deletionPending)
              : !WriteNewLibrary(*library, deletionPending)) {
    return false;
  }
  hDecompLib = platform_.loadLibrary(path_);
  if (hDecompLib == 0) {
    ReleaseDecompressor();
    return false;
  }
  return true;
}

bool CodecStage::WriteNewLibrary(const std::vector<uint8_t>& library, bool deletionPending) {
  // The file is made only where no file of that name was (a hidden or system one included, which
  // the existence test does not see), so the deletion asked for while it is still empty never
  // covers a file that is not the setup's own. Until it is written whole, no other process can
  // open it: one that did could keep the setup from writing, or load half a library.
  // Without that deletion a run ended from here on would leave a library that passes for one
  // that was there before: the setup does not stage what it cannot be sure to remove.
  // One still pending from an earlier run covers this file too.
  const auto askForDeletion = [this, deletionPending] {
    return deletionPending || platform_.deleteFileAtRestart(path_);
  };
  if (!platform_.writeNewFile(path_, library, askForDeletion)) {
    return false;
  }
  bDecompLoaded = true;
  return true;
}

bool CodecStage::RewriteLeftover(const std::vector<uint8_t>& library, bool deletionPending) {
  // An empty leftover was ended before it asked for its deletion at restart; it does now.
  if (!deletionPending && !platform_.deleteFileAtRestart(path_)) {
    platform_.deleteFile(path_);
    return false;
  }
  bDecompLoaded = true;
  // The leftover may be a write that was cut short: it is written again, whole.
  if (!platform_.writeBytes(path_, library)) {
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

  bool deleted = false;
  for (int pass = 0; pass < kMaxReleasePasses && FileExists(platform_, path_); ++pass) {
    deleted = platform_.deleteFile(path_);
    if (!FileExists(platform_, path_)) break;
    platform_.yield();
    platform_.sleepMilliseconds(kReleaseWaitMilliseconds);
  }
  // A file that could not be deleted (another process holds it) is left to the system, which
  // was asked to delete it at its next start when it was staged. Once this run has deleted it,
  // that request comes off the system's list again: left there, it would keep the machine
  // "restart pending" for other installers, and a library someone installs under that name
  // before the restart would pass for the setup's leftover and be deleted with it.
  if (deleted && !FileExists(platform_, path_)) platform_.cancelDeletionAtRestart(path_);
  bDecompLoaded = false;
}

}  // namespace fenn
