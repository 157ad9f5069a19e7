// The program's entry: load the panel (which runs the setup), wait while it is visible, unload.
#include "setup/basMain.h"

#include <memory>

#include "setup/Texts.h"
#include "setup/frmPanel.h"

namespace fenn {

namespace {
// Started at the same moment, the other setup may not have shown its panel yet.
constexpr int kPanelLookups = 100;
constexpr uint32_t kPanelLookupWaitMilliseconds = 100;

// Another setup runs: its panel comes to the front, and this one ends without a window of its own,
// a box or a file touched. True when no panel came within the wait but the run could be claimed
// at its end: the other setup has ended meanwhile, and this one runs.
bool BringOtherSetupForward(Platform& platform) {
  for (int lookup = 0; lookup < kPanelLookups; ++lookup) {
    if (platform.activateOtherPanel()) return false;
    platform.sleepMilliseconds(kPanelLookupWaitMilliseconds);
  }
  return platform.claimSetupRun();
}
}  // namespace

void Main(Platform& platform) {
  std::unique_ptr<frmPanel> panel;
  try {
    // Two setups at once would share the staged codec library and race for the same files.
    if (!platform.claimSetupRun() && !BringOtherSetupForward(platform)) return;
    panel = std::make_unique<frmPanel>(platform);
    panel->Load();
    // The panel's handlers run from these yields; every way of ending a run hides the panel.
    // Between yields the program sleeps until the next message instead of polling a busy loop.
    while (platform.panelVisible()) {
      platform.yield();
      if (platform.panelVisible()) platform.waitForMessage();
    }
    panel->Unload();
  } catch (...) {
    // Nothing may leave the program through an unhandled error: it is reported once, and the
    // program ends as any run does.
    try {
      platform.messageBox(texts::kUnexpectedError, texts::kTitleError);
      platform.hidePanel();
      platform.destroyPanel();
    } catch (...) {
    }
  }
  panel.reset();
}

}  // namespace fenn
