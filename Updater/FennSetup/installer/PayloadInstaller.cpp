#include "installer/PayloadInstaller.h"

#include "installer/ProductFolderPlacement.h"
#include "installer/SystemDlls.h"
#include "installer/TempFileGuard.h"
#include "resources/ResourceIds.h"

namespace fenn {

namespace {
constexpr wchar_t kTempPrefix[] = L"~oc";
constexpr wchar_t kDecompressedSuffix[] = L".bin";
}  // namespace

std::wstring PayloadInstaller::PrivateTempFolder() {
  if (!privateFolder_) {
    const std::wstring userTemp = platform_.tempPath();
    if (userTemp.empty()) return std::wstring();
    privateFolder_ = platform_.makePrivateFolder(userTemp);
    if (!privateFolder_) return std::wstring();
  }
  return privateFolder_->path() + L"\\";
}

bool PayloadInstaller::MakeTempFile(const std::wstring& prefix, std::wstring& path) {
  const std::wstring tempFolder = PrivateTempFolder();
  if (tempFolder.empty()) return false;
  const std::wstring made = platform_.createTempFile(tempFolder, prefix);
  if (made.empty()) return false;
  path = made;
  return true;
}

Extraction PayloadInstaller::ExtractPayloads(const std::wstring& productFolder,
                                             const std::wstring& presentLibraries) {
  const std::unique_ptr<HeldFolder> held = platform_.holdFolder(productFolder);
  if (!held) return Extraction::CannotPlaceFile;
  return ExtractPayloads(*held, presentLibraries);
}

Extraction PayloadInstaller::ExtractPayloads(HeldFolder& productFolder,
                                             const std::wstring& presentLibraries) {
  const Extraction result = ExtractCatalogue(productFolder, presentLibraries);
  // Every pass deleted its temp files: the private folder goes with the extraction.
  privateFolder_.reset();
  return result;
}

Extraction PayloadInstaller::ExtractCatalogue(HeldFolder& productFolder,
                                              const std::wstring& presentLibraries) {
  PresentSystemDlls present(presentLibraries);
  for (int32_t id = FENN_FIRST_PAYLOAD_ID;; ++id) {
    if (progress_.SetupCancelled()) return Extraction::Cancelled;
    // The catalogue ends at the first id without a string-table entry.
    const std::optional<std::wstring> name = platform_.loadResourceString(id);
    if (!name) return Extraction::Completed;
    RemovePartialCopy(productFolder, *name);

    // A library the system directory has is never installed, whatever the product folder holds.
    if (present.Has(*name)) continue;
    // A file already in the product folder is never replaced.
    if (productFolder.hasFile(*name)) continue;

    const Extraction installed = InstallPayload(id, productFolder, *name);
    if (installed != Extraction::Completed) return installed;
  }
}

// One pass that installs: Completed when the file is in the product folder.
Extraction PayloadInstaller::InstallPayload(int32_t id, HeldFolder& productFolder,
                                            const std::wstring& name) {
  progress_.ShowStep(kStepUnpacking);
  platform_.yield();
  if (progress_.SetupCancelled()) return Extraction::Cancelled;

  std::optional<std::vector<uint8_t>> container = platform_.loadResourceData(id);
  if (!container) return Extraction::CannotMakeTempFile;
  std::wstring tempPath;
  if (!MakeTempFile(kTempPrefix, tempPath)) return Extraction::CannotMakeTempFile;
  TempFileGuard made(platform_);
  made.Guard(tempPath);
  const bool written = platform_.writeBytes(tempPath, *container);
  container.reset();  // the payload is not held in memory during the decompression
  if (!written) return Extraction::CannotMakeTempFile;

  const std::wstring outputPath = tempPath + kDecompressedSuffix;
  made.Guard(outputPath);
  // The codec pumps window messages: the panel may be closed while it works.
  const std::optional<int32_t> status =
      platform_.callDecompress(codec_.module(), tempPath, outputPath);
  platform_.deleteFile(tempPath);
  if (progress_.SetupCancelled()) return Extraction::Cancelled;
  // An unreachable entry point is a decompression failure like any other.
  if (!status || *status != 0) return Extraction::DecompressFailed;

  if (!platform_.renameFile(outputPath, tempPath)) return Extraction::CannotPlaceFile;
  // The product folder may lie on another volume than the temp folder.
  if (!PlaceInProductFolder(platform_, tempPath, productFolder, name)) {
    return Extraction::CannotPlaceFile;
  }
  made.Commit();

  progress_.ShowStep(kStepCopying);
  platform_.yield();
  return Extraction::Completed;
}

}  // namespace fenn
