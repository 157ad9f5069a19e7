// The setup sequence and the panel's event handlers.
#include "setup/frmPanel.h"

#include "installer/CodecStage.h"
#include "installer/PayloadInstaller.h"
#include "installer/SystemDlls.h"
#include "locator/ProductLocator.h"
#include "setup/FormDescription.h"
#include "setup/Texts.h"
#include "setup/UpdaterStart.h"

namespace fenn {

namespace {
// The box each failed extraction ends with; none for a completed or cancelled one.
const wchar_t* FailureText(Extraction result) {
  switch (result) {
    case Extraction::CannotMakeTempFile:
      return texts::kCannotMakeTempFile;
    case Extraction::DecompressFailed:
      return texts::kDecompressFailed;
    case Extraction::CannotPlaceFile:
      return texts::kCannotPlaceFile;
    case Extraction::Completed:
    case Extraction::Cancelled:
      break;
  }
  return nullptr;
}
}  // namespace

void frmPanel::Load() {
  platform_.createPanel(PanelFormDescription(), *this);
  Form_Load();
}

void frmPanel::Unload() {
  int16_t cancel = 0;
  Form_QueryUnload(cancel, 1);
  if (cancel == 0) {
    platform_.destroyPanel();
    hProductFolder.reset();  // the run is over: the product folder is let go
  }
}

bool frmPanel::SetupCancelled() {
  return !platform_.panelVisible();
}

void frmPanel::ShowError(const std::wstring& text) {
  platform_.messageBox(text, texts::kTitleError);
}

void frmPanel::Form_Load() {
  try {
    RunSequence();
  } catch (...) {
    // The codec stage has released the library on the way out; the person hears of it once.
    EndWithError(texts::kUnexpectedError);
  }
}

void frmPanel::EndWithError(const std::wstring& text) {
  ShowError(text);
  platform_.hidePanel();
}

void frmPanel::RunSequence() {
  ShowStep(kStepPreparing);
  platform_.showPanel();

  std::wstring productFolder;
  const bool found = ProductLocator(platform_, *this).LocateProduct(productFolder);
  // A search that was cancelled has not failed: the user asked to stop, so no box.
  if (SetupCancelled()) return;
  if (!found) return EndWithError(texts::kProductNotFound);
  hProductFolder = HoldVerifiedFolder(productFolder);
  if (!hProductFolder) return EndWithError(texts::kProductNotFound);

  // A failure box ends the run like a product that was not found: no completion, no Run.
  const bool installed = InstallPayloads(*hProductFolder);
  if (SetupCancelled()) return;
  if (!installed) return platform_.hidePanel();

  ShowStep(kStepCompleted);
  platform_.setButtonCaption(PanelButton::Cancel, texts::kFinishCaption);
  cmdRunTag = productFolder + L"\\" + texts::kUpdaterName;
  platform_.setButtonVisible(PanelButton::Run, true);
}

std::unique_ptr<HeldFolder> frmPanel::HoldVerifiedFolder(const std::wstring& productFolder) {
  std::unique_ptr<HeldFolder> held = platform_.holdFolder(productFolder);
  if (!held) return nullptr;
  std::vector<std::wstring> productFiles;
  const int32_t count = ProductLocator::FillProductFileNames(productFiles);
  for (int32_t position = 0; position < count; ++position) {
    if (!held->hasFile(productFiles[static_cast<size_t>(position)])) return nullptr;
  }
  return held;
}

bool frmPanel::InstallPayloads(HeldFolder& productFolder) {
  // The stage releases the library when it goes out of scope, whatever happened in between: after
  // a failure box, and before anything else when an error unwinds the sequence.
  CodecStage stage(platform_);

  if (!stage.StageDecompressor(false)) {
    ShowError(texts::kCannotPrepareCodec);
    return false;
  }
  const std::wstring presentLibraries = ListSystemDllsPresent(platform_, productFolder.path());
  const Extraction result =
      PayloadInstaller(platform_, *this, stage).ExtractPayloads(productFolder, presentLibraries);
  if (const wchar_t* failure = FailureText(result)) {
    ShowError(failure);
    return false;
  }
  stage.StageDecompressor(true);
  return true;
}

void frmPanel::cmdRun_Click() {
  // The start happens here, inside the run, before anything the run holds is let go: the
  // product folder stays as it was judged until the updater has been started.
  switch (StartUpdater(platform_, cmdRunTag)) {
    case UpdaterStart::Started:
      break;
    case UpdaterStart::NotStarted:
      ShowError(texts::kCannotStartUpdater);
      break;
    case UpdaterStart::NoDesktopUser:
      ShowError(texts::kNoDesktopUser);
      break;
  }
  platform_.hidePanel();
}

void frmPanel::cmdCancel_Click() {
  const std::wstring caption = platform_.buttonCaption(PanelButton::Cancel);
  if (!caption.empty() && caption[0] == texts::kNotCompletedMarker) {
    platform_.messageBox(texts::kCancelNotice, texts::kTitleNotice);
  }
  platform_.hidePanel();
}

void frmPanel::Form_QueryUnload(int16_t& Cancel, int16_t UnloadMode) {
  platform_.hidePanel();
  // A close from outside is refused after hiding; Main's wait loop then sees the hidden panel
  // and makes its own unload request (mode 1), which goes through.
  Cancel = (UnloadMode != 1) ? -1 : 0;
}

void frmPanel::Form_EndSession() {
  // The process ends once this returns, before the stage can release the library. Nothing is left
  // to do: the system was asked to delete the staged file at its next start when it was written,
  // and the next run of the setup recognises it by that.
}

}  // namespace fenn
