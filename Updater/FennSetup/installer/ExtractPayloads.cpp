// Installs the payload catalogue into the product folder.
//
// Each payload travels as a compressed container ("CUSTOM" resource N) named by string-table
// entry N. It is written to a temp file, decompressed by the codec next to it (path + ".bin"),
// and moved into the product folder. Every way out of a pass deletes what it put in the temp
// folder (as far as the file system lets it).
#include "setup/NameList.h"
#include "setup/Texts.h"
#include "setup/frmPanel.h"

namespace fenn {

namespace {
constexpr int32_t kFirstCatalogueId = 101;
constexpr wchar_t kCustomResourceType[] = L"CUSTOM";
constexpr wchar_t kTempPrefix[] = L"~oc";
constexpr wchar_t kDecompressedSuffix[] = L".bin";
}  // namespace

void frmPanel::ExtractPayloads(std::wstring productFolder, std::wstring nameList) {
  // Present system libraries are matched by an ordered merge: at most one name waits in
  // `pending` and leaves it only when a catalogue entry of exactly that spelling comes along.
  std::wstring pending;
  std::wstring rest = nameList;
  for (int32_t id = kFirstCatalogueId;; ++id) {
    if (SetupCancelled()) return;
    std::wstring name;
    // The catalogue ends at the first id without a string-table entry.
    if (!platform_.loadResourceString(id, name)) return;

    // A file already in the product folder is never replaced.
    if (FileExists(productFolder + L"\\" + name)) continue;

    if (pending.empty() && !rest.empty()) pending = TakeFirstName(rest);
    if (pending == name) {
      pending.clear();
      continue;
    }

    if (!InstallPayload(id, productFolder, name)) return;
  }
}

// One pass that installs; false when the run must end (a failure, reported here, or a cancel).
bool frmPanel::InstallPayload(int32_t id, const std::wstring& productFolder,
                              const std::wstring& name) {
  ShowStep(4);
  platform_.yield();
  if (SetupCancelled()) return false;

  std::vector<uint8_t> container;
  if (!platform_.loadResourceData(id, kCustomResourceType, container)) {
    ShowError(texts::kCannotMakeTempFile);
    return false;
  }
  std::wstring tempPath;
  if (!MakeTempFile(kTempPrefix, tempPath)) {
    ShowError(texts::kCannotMakeTempFile);
    return false;
  }
  const bool written = platform_.writeBytes(tempPath, container);
  container.clear();
  container.shrink_to_fit();
  if (!written) {
    platform_.deleteFile(tempPath);
    ShowError(texts::kCannotMakeTempFile);
    return false;
  }

  const std::wstring outputPath = tempPath + kDecompressedSuffix;
  int32_t status = 0;
  // An unreachable entry point is a decompression failure like any other.
  const bool called = platform_.callDecompress(hDecompLib, platform_.toAnsi(tempPath),
                                               platform_.toAnsi(outputPath), status);
  platform_.deleteFile(tempPath);
  if (SetupCancelled()) {
    // The panel was closed while the codec pumped messages: this payload is not installed.
    platform_.deleteFile(outputPath);
    return false;
  }
  if (!called || status != 0) {
    platform_.deleteFile(outputPath);
    ShowError(texts::kDecompressFailed);
    return false;
  }

  if (!platform_.renameFile(outputPath, tempPath)) {
    platform_.deleteFile(outputPath);
    platform_.deleteFile(tempPath);
    ShowError(texts::kCannotPlaceFile);
    return false;
  }
  // The product folder may lie on another drive than the temp folder; the move covers that.
  if (!platform_.renameFile(tempPath, productFolder + L"\\" + name)) {
    platform_.deleteFile(tempPath);
    ShowError(texts::kCannotPlaceFile);
    return false;
  }

  ShowStep(5);
  platform_.yield();
  return true;
}

}  // namespace fenn
