// The setup's only form.
#pragma once

#include "platform/Platform.h"

namespace fenn {

class frmPanel : public PanelEvents {
 public:
  explicit frmPanel(Platform& platform) : platform_(platform) {}

  void Form_Load() {}
  void cmdRun_Click() override {}
  void cmdCancel_Click() override {}
  void Form_QueryUnload(int16_t& Cancel, int16_t UnloadMode) override {
    (void)Cancel;
    (void)UnloadMode;
  }

 private:
  Platform& platform_;
};

}  // namespace fenn
