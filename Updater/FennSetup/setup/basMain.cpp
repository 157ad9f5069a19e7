// The program's entry: load the panel (which runs the setup), wait while it is visible, unload.
#include "setup/basMain.h"

#include <memory>

#include "setup/Texts.h"
#include "setup/frmPanel.h"

namespace fenn {

void Main(Platform& platform) {
  std::unique_ptr<frmPanel> panel;
  try {
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
