// A Cancel click or a close request at any yield of a run: the run ends cleanly whatever the
// moment, and never installs a payload after the request.
#include "SetupWorld.h"
#include "setup/basMain.h"

namespace fenn::test {
namespace {

using fake::UserAction;

// A run with the product on a drive search's path, so every kind of yield occurs.
void BuildSearchMachine(fake::FakePlatform& machine) {
  BuildMachine(machine);
  machine.fs.addFolder(L"C:\\Apps\\Old");
  AddProduct(machine, L"C:\\Games\\Tolvarine");
}

std::vector<std::wstring> Installed(fake::FakePlatform& machine) {
  std::vector<std::wstring> names;
  for (const auto& name : kCatalogueNames) {
    if (machine.fs.exists(Join(L"C:\\Games\\Tolvarine", name))) names.push_back(name);
  }
  return names;
}

int YieldsOfAFullRun() {
  fake::FakePlatform machine;
  BuildSearchMachine(machine);
  machine.actWhenLabel(L"설치를 완료하였습니다.", UserAction::ClickCancel);
  Main(machine);
  return machine.yields;
}

TEST(CancelEverywhereTest, EveryYieldEndsCleanly) {
  const int yields = YieldsOfAFullRun();
  ASSERT_GT(yields, 15);
  for (UserAction action : {UserAction::ClickCancel, UserAction::CloseRequest}) {
    for (int at = 1; at <= yields; ++at) {
      SCOPED_TRACE("action " + std::to_string(static_cast<int>(action)) + " at yield " +
                   std::to_string(at));
      fake::FakePlatform machine;
      BuildSearchMachine(machine);
      machine.actAtYield(at, action);
      size_t installedWhenAsked = 0;
      machine.duringYield = [&] {
        if (machine.yields == at) installedWhenAsked = Installed(machine).size();
      };
      Main(machine);

      const bool completed = machine.labelLog.back() == L"설치를 완료하였습니다.";
      EXPECT_TRUE(machine.panelDestroyed);
      EXPECT_FALSE(machine.stalled);
      EXPECT_FALSE(machine.fs.exists(kStagedLibrary));
      EXPECT_EQ(machine.loadedModules(), 0u);
      EXPECT_EQ(machine.badFrees, 0);
      EXPECT_TRUE(machine.fs.entries(kTempFolder).empty());
      if (!completed) {
        EXPECT_TRUE(machine.startedPrograms.empty());
        // Only the cancel notice, and only for the button.
        const size_t boxes = action == UserAction::ClickCancel ? 1u : 0u;
        ASSERT_EQ(machine.messageBoxes.size(), boxes);
        if (boxes == 1) {
          EXPECT_EQ(machine.messageBoxes[0].title, L"알림");
        }
      } else {
        EXPECT_TRUE(machine.messageBoxes.empty());
      }
      EXPECT_EQ(Installed(machine).size(), installedWhenAsked);
    }
  }
}

}  // namespace
}  // namespace fenn::test
