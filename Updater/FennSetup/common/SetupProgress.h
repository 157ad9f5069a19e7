// What the locator and the installer need from the form that runs them: the status line and
// whether the person has asked to stop. frmPanel implements it.
#pragma once

#include <cstdint>

namespace fenn {

// Indexes into the panel's step-text table, in the order a run shows them: 1, 3, 2, then 4 and 5
// for every installed payload, 6.
enum StepIndex : int32_t {
  kStepPreparing = 1,
  kStepSearchingComponents = 2,
  kStepLookingForProduct = 3,
  kStepUnpacking = 4,
  kStepCopying = 5,
  kStepCompleted = 6,
};

class SetupProgress {
 public:
  // Sets the status line to the step text of `index`.
  virtual void ShowStep(int32_t index) = 0;
  // A Cancel click or a close request has hidden the panel; long stages stop at their next step.
  virtual bool SetupCancelled() = 0;

 protected:
  ~SetupProgress() = default;
};

}  // namespace fenn
