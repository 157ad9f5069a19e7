// One setup at a time: a second start while a setup runs brings the running panel to the front
// and ends without a window, a box or a file touched.
#include <memory>

#include "SetupWorld.h"
#include "setup/basMain.h"

namespace fenn::test {
namespace {

// What a second start must never do.
void ExpectNothingTouched(const fake::FakePlatform& second) {
  EXPECT_TRUE(second.windowLog.empty());
  EXPECT_TRUE(second.messageBoxes.empty());
  EXPECT_TRUE(second.fs.listLog.empty());
  EXPECT_TRUE(second.dataReads.empty());
  EXPECT_TRUE(second.stringReads.empty());
  EXPECT_EQ(second.tempFileNames, 0);
  EXPECT_TRUE(second.deletedAtRestart.empty());
  EXPECT_FALSE(second.fs.exists(kStagedLibrary));
}

TEST(SetupRunTest, SecondStartBringsTheRunningPanelForwardAndEnds) {
  fake::KoreanMachine second{kDefaultFolder};
  fake::FakePlatform third;
  {
    fake::KoreanMachine first{kDefaultFolder};
    second.joinMachineOf(first);
    third.joinMachineOf(first);
    // The second start comes while the first one unpacks its first payload.
    first.duringYield = [&] {
      if (first.label == L"압축을 해제하고 있습니다." && first.otherPanelActivations == 0 &&
          second.sleeps == 0) {
        Main(second);
      }
    };
    first.actWhenLabel(L"설치를 완료하였습니다.", fake::UserAction::ClickCancel);
    Main(first);

    EXPECT_EQ(first.otherPanelActivations, 1);
    EXPECT_EQ(second.sleeps, 0);
    ExpectNothingTouched(second);
    EXPECT_TRUE(first.messageBoxes.empty());
    for (const auto& name : kCatalogueNames) {
      EXPECT_TRUE(first.fs.exists(Join(kDefaultFolder, name)));
    }
    // The claim lasts as long as the first process.
    EXPECT_FALSE(third.claimSetupRun());
  }
  // Once it has ended, a new start runs.
  EXPECT_TRUE(third.claimSetupRun());
}

TEST(SetupRunTest, SecondStartWaitsBoundedlyForAPanelThatIsNotShownYet) {
  for (const int shownAfter : {3, -1}) {
    SCOPED_TRACE("panel shown after " + std::to_string(shownAfter) + " lookups");
    fake::FakePlatform first;
    ASSERT_TRUE(first.claimSetupRun());
    fake::FakePlatform second;
    second.joinMachineOf(first);
    second.duringSleep = [&] {
      if (second.sleeps == shownAfter) first.showPanel();
    };
    Main(second);
    ExpectNothingTouched(second);
    if (shownAfter > 0) {
      EXPECT_EQ(first.otherPanelActivations, 1);
      EXPECT_EQ(second.sleeps, shownAfter);
    } else {
      // The other setup ended meanwhile, or runs on another desktop: no panel to bring forward.
      EXPECT_EQ(first.otherPanelActivations, 0);
      EXPECT_GE(second.sleeps, 50);
      EXPECT_LE(second.sleeps, 200);
    }
  }
}

TEST(SetupRunTest, SecondStartRunsWhenTheFirstEndedDuringItsWait) {
  fake::KoreanMachine second{kDefaultFolder};
  auto first = std::make_unique<fake::FakePlatform>();
  ASSERT_TRUE(first->claimSetupRun());
  second.joinMachineOf(*first);
  // The first ends without ever showing a panel to this start.
  second.duringSleep = [&] {
    if (second.sleeps == 5) first.reset();
  };
  second.actWhenLabel(L"설치를 완료하였습니다.", fake::UserAction::ClickCancel);
  Main(second);
  EXPECT_GE(second.sleeps, 50);  // the whole wait, then the claim once more
  EXPECT_TRUE(second.messageBoxes.empty());
  EXPECT_TRUE(second.panelDestroyed);
  EXPECT_TRUE(second.fs.exists(Join(kDefaultFolder, L"K3Fenn.exe")));
}

}  // namespace
}  // namespace fenn::test
