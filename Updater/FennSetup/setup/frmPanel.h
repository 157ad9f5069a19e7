// frmPanel: the setup's only form. It holds the form's state, its event handlers and the setup
// sequence; the locator and the installer are units of their own that it runs.
#pragma once

#include <array>
#include <cstdint>
#include <memory>
#include <string>

#include "common/SetupProgress.h"
#include "platform/Platform.h"

namespace fenn {

class frmPanel : public PanelEvents, public SetupProgress {
 public:
  explicit frmPanel(Platform& platform) : platform_(platform) {}

  // The load request: creates the window from the form description, then runs Form_Load, which
  // performs the whole setup sequence before returning.
  void Load();
  // The unload request: asks Form_QueryUnload with UnloadMode 1, then destroys the window unless
  // the request was refused.
  void Unload();

  void Form_Load();
  void cmdRun_Click() override;
  void cmdCancel_Click() override;
  void Form_QueryUnload(int16_t& Cancel, int16_t UnloadMode) override;
  void Form_EndSession() override;

 private:
  friend class frmPanelTestAccess;  // the native tests look at the form's fields

  std::wstring GetStepText(int32_t index);
  void ShowStep(int32_t index) override;
  // A Cancel click or a close request hides the panel; the sequence looks at that at its step
  // boundaries and stops there.
  bool SetupCancelled() override;
  void ShowError(const std::wstring& text);
  // The box, then the panel hides and Main ends the program.
  void EndWithError(const std::wstring& text);
  // Form_Load's steps: show the panel, find the product, install, complete.
  void RunSequence();
  // Stages the codec, installs the payloads and releases the codec again. False when a failure
  // was reported.
  bool InstallPayloads(HeldFolder& productFolder);
  // Holds the verified product folder and verifies its six files once more through the hold, so
  // that what the run works in is a folder that holds them, whatever changed since the first
  // check. Null when it cannot be held or a file is missing.
  std::unique_ptr<HeldFolder> HoldVerifiedFolder(const std::wstring& productFolder);

  Platform& platform_;

  // The form's fields.
  std::array<std::wstring, 21> sStepText;
  std::wstring cmdRunTag;  // the updater's full path, once the setup has completed
  // The verified product folder, held from its verification until Unload (after Run, Cancel or
  // Finish): nobody can rename it or put a link in its place meanwhile.
  std::unique_ptr<HeldFolder> hProductFolder;
};

}  // namespace fenn
