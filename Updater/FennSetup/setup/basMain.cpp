#include "setup/basMain.h"

#include "setup/FormDescription.h"
#include "setup/frmPanel.h"

namespace fenn {

void Main(Platform& platform) {
  frmPanel panel(platform);
  platform.createPanel(PanelFormDescription(), panel);
  panel.Form_Load();
}

}  // namespace fenn
