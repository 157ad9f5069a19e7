// A Cancel click, a close request, the end of the Windows session or an unexpected error at any
// yield of a run: the run ends cleanly whatever the moment, never installs a payload after it,
// and reports an error once.
#include <algorithm>
#include <stdexcept>

#include "SetupWorld.h"
#include "setup/basMain.h"

namespace fenn::test {
namespace {

using fake::UserAction;

// A run with the product on a drive search's path, so every kind of yield occurs.
struct SearchMachine : fake::KoreanMachine {
  SearchMachine() : KoreanMachine(L"C:\\Games\\Tolvarine") { fs.addFolder(L"C:\\Apps\\Old"); }
};

std::vector<std::wstring> Installed(fake::FakePlatform& machine) {
  std::vector<std::wstring> names;
  for (const auto& name : kCatalogueNames) {
    if (machine.fs.exists(Join(L"C:\\Games\\Tolvarine", name))) names.push_back(name);
  }
  return names;
}

int YieldsOfAFullRun() {
  SearchMachine machine;
  machine.actWhenLabel(L"설치를 완료하였습니다.", UserAction::ClickCancel);
  Main(machine);
  return machine.yields;
}

// What happens at the chosen yield besides the person's actions.
enum class Event { None, Error };

TEST(CancelEverywhereTest, EveryYieldEndsCleanly) {
  const int yields = YieldsOfAFullRun();
  ASSERT_GT(yields, 15);
  const std::pair<UserAction, Event> moments[] = {{UserAction::ClickCancel, Event::None},
                                                  {UserAction::CloseRequest, Event::None},
                                                  {UserAction::EndSession, Event::None},
                                                  // raised before the yield's actions run
                                                  {UserAction::ClickRun, Event::Error}};
  for (const auto& [action, event] : moments) {
    for (int at = 1; at <= yields; ++at) {
      SCOPED_TRACE("action " + std::to_string(static_cast<int>(action)) + ", event " +
                   std::to_string(static_cast<int>(event)) + " at yield " + std::to_string(at));
      SearchMachine machine;
      machine.actAtYield(at, action);
      size_t installedWhenAsked = 0;
      bool stagedWhenAsked = false;
      machine.duringYield = [&] {
        if (machine.yields != at) return;
        installedWhenAsked = Installed(machine).size();
        stagedWhenAsked = machine.fs.exists(kStagedLibrary);
        if (event == Event::Error) throw std::runtime_error("unexpected");
      };
      Main(machine);

      const bool completed = machine.labelLog.back() == L"설치를 완료하였습니다.";
      EXPECT_TRUE(machine.panelDestroyed);
      EXPECT_FALSE(machine.stalled);
      EXPECT_FALSE(machine.fs.exists(kStagedLibrary));
      EXPECT_EQ(machine.loadedModules(), 0u);
      EXPECT_EQ(machine.badFrees, 0);
      EXPECT_TRUE(machine.fs.entries(kTempFolder).empty());
      // Whatever the run handed to the system's deletion at the next start (the staged library,
      // the temp files), it removed itself and took back: the machine is left with no restart
      // pending.
      EXPECT_TRUE(machine.deletedAtRestart.empty());
      const bool staged = std::count(machine.dataReads.begin(), machine.dataReads.end(), 1001) > 0;
      if (stagedWhenAsked) {
        EXPECT_TRUE(staged);
      }
      if (event == Event::Error) {
        ASSERT_EQ(machine.messageBoxes.size(), 1u);
        EXPECT_EQ(machine.messageBoxes[0].text, L"설치 중 오류가 발생했습니다.");
        EXPECT_EQ(machine.messageBoxes[0].title, L"에러");
        EXPECT_EQ(machine.windowLog.back(), L"destroy");
      } else if (!completed) {
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
