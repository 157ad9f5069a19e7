// The setup sequence and the panel's event handlers.
#include "setup/frmPanel.h"

#include "setup/FormDescription.h"
#include "setup/Texts.h"

namespace fenn {

void frmPanel::Load() {
  platform_.createPanel(PanelFormDescription(), *this);
  Form_Load();
}

void frmPanel::Unload() {
  int16_t cancel = 0;
  Form_QueryUnload(cancel, 1);
  if (cancel == 0) platform_.destroyPanel();
}

bool frmPanel::SetupCancelled() {
  return !platform_.panelVisible();
}

void frmPanel::ShowError(const std::wstring& text) {
  platform_.messageBox(text, kMessageBoxExclamation, texts::kTitleError);
}

void frmPanel::Form_Load() {
  ShowStep(1);
  platform_.showPanel();

  std::wstring productFolder;
  const bool found = LocateProduct(productFolder);
  // A search that was cancelled has not failed: the user asked to stop, so no box.
  if (SetupCancelled()) return;
  if (!found) {
    ShowError(texts::kProductNotFound);
    platform_.hidePanel();
    return;
  }

  // Whatever happens between staging and release, the staged codec library must not outlive
  // the run; nothing thrown below may skip the release.
  try {
    if (StageDecompressor(false)) {
      std::wstring presentLibraries = ListSystemDllsPresent(productFolder);
      ExtractPayloads(productFolder, presentLibraries);
    }
  } catch (...) {
  }
  StageDecompressor(true);
  if (SetupCancelled()) return;

  ShowStep(6);
  platform_.setButtonCaption(PanelButton::Cancel, texts::kFinishCaption);
  platform_.setButtonTag(PanelButton::Run, productFolder + L"\\" + texts::kUpdaterName);
  platform_.setButtonVisible(PanelButton::Run, true);
}

void frmPanel::cmdRun_Click() {
  const std::wstring updater = platform_.buttonTag(PanelButton::Run);
  if (!platform_.startProgram(updater, kShowNormal)) ShowError(texts::kCannotStartUpdater);
  platform_.hidePanel();
}

void frmPanel::cmdCancel_Click() {
  const std::wstring caption = platform_.buttonCaption(PanelButton::Cancel);
  if (!caption.empty() && caption[0] == texts::kNotCompletedMarker) {
    platform_.messageBox(texts::kCancelNotice, kMessageBoxExclamation, texts::kTitleNotice);
  }
  platform_.hidePanel();
}

void frmPanel::Form_QueryUnload(int16_t& Cancel, int16_t UnloadMode) {
  platform_.hidePanel();
  // A close from outside is refused after hiding; Main's wait loop then sees the hidden panel
  // and makes its own unload request (mode 1), which goes through.
  Cancel = (UnloadMode != 1) ? -1 : 0;
}

}  // namespace fenn
