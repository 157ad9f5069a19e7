// The run as a person sees it: step texts, the completion state, the not-found ending, and what
// Run, Cancel/Finish, Esc and close requests do before and after completion.
#include "SetupWorld.h"
#include "setup/UpdaterStart.h"
#include "setup/basMain.h"

namespace fenn::test {
namespace {

using fake::UserAction;

// Everything its owner may do to a folder.
constexpr uint32_t kProductFolderRightsForTest =
    kFileAddFile | kFileAddSubfolder | kFileDeleteChild | kDelete | kWriteDac | kWriteOwner;

const std::wstring kStep[] = {L"BEGIN",
                              L"설치 준비 중 입니다.",
                              L"구성 요소를 검색하는 중입니다.",
                              L"톨바리네를 찾고 있습니다.",
                              L"압축을 해제하고 있습니다.",
                              L"파일을 복사하고 있습니다.",
                              L"설치를 완료하였습니다."};

TEST_F(SetupTest, StepTextTableIsFilledOnceOnFirstUse) {
  EXPECT_TRUE(access.sStepText()[0].empty());
  EXPECT_EQ(access.GetStepText(5), kStep[5]);
  for (int index = 0; index <= 6; ++index) EXPECT_EQ(access.sStepText()[index], kStep[index]);
  EXPECT_EQ(access.GetStepText(0), L"BEGIN");
  for (int index = 7; index <= 20; ++index) EXPECT_EQ(access.GetStepText(index), L"");
  EXPECT_EQ(access.GetStepText(21), L"");
  EXPECT_EQ(access.GetStepText(-1), L"");
}

class RunTest : public SetupTest {
 protected:
  void Run() { Main(platform); }
  void FinishWhenCompleted(UserAction action = UserAction::ClickCancel) {
    platform.actWhenLabel(kStep[6], action);
  }
  bool LibraryWasStaged() const {
    for (int id : platform.dataReads) {
      if (id == 1001) return true;
    }
    return false;
  }
  // The program ended the way Main ends it: panel hidden, then unloaded once.
  void ExpectEnded() {
    EXPECT_FALSE(platform.visible);
    EXPECT_TRUE(platform.panelDestroyed);
    EXPECT_EQ(std::count(platform.windowLog.begin(), platform.windowLog.end(), L"destroy"), 1);
    EXPECT_FALSE(platform.stalled);
  }
};

TEST_F(RunTest, CompletedRunShowsStepsInOrderAndEndsOnFinish) {
  AddProduct(platform, kDefaultFolder);
  FinishWhenCompleted();
  Run();

  std::vector<std::wstring> expected = {kStep[1], kStep[3], kStep[2]};
  for (int payload = 0; payload < 4; ++payload) {
    expected.push_back(kStep[4]);
    expected.push_back(kStep[5]);
  }
  expected.push_back(kStep[6]);
  EXPECT_EQ(platform.labelLog, expected);
  // The label already reads step 1 when the panel first appears.
  EXPECT_EQ(platform.windowLog[1], L"label:" + kStep[1]);
  EXPECT_EQ(platform.windowLog[2], L"show");

  EXPECT_EQ(platform.cmdCancel.caption, L"완료(&F)");
  EXPECT_TRUE(platform.cmdRun.visible);
  EXPECT_TRUE(platform.messageBoxes.empty());
  EXPECT_TRUE(platform.startedPrograms.empty());
  ExpectEnded();
}

TEST_F(RunTest, ProductInADriveRootGivesARootUpdaterPath) {
  platform.fs.addDrive(L'D', kDriveFixed);
  AddProduct(platform, L"D:");
  FinishWhenCompleted(UserAction::ClickRun);
  Run();
  EXPECT_EQ(platform.startedPrograms, std::vector<std::wstring>{L"D:\\K3Fenn.exe"});
  EXPECT_EQ(platform.starts[0].workingFolder, L"D:\\");
  EXPECT_TRUE(platform.fs.exists(L"D:\\K3Fenn.exe"));
}

TEST_F(RunTest, ProductNotFound) {
  Run();
  ASSERT_EQ(platform.messageBoxes.size(), 1u);
  EXPECT_EQ(platform.messageBoxes[0].text,
            L"톨바리네를 찾을 수 없습니다.\r\n톨바리네를 다시 설치해 주십시오.");
  EXPECT_EQ(platform.messageBoxes[0].title, L"에러");
  EXPECT_EQ(platform.labelLog.back(), kStep[2]);
  EXPECT_FALSE(platform.cmdRun.visible);
  EXPECT_FALSE(LibraryWasStaged());
  EXPECT_TRUE(platform.stringReads.empty());
  ExpectEnded();
}

TEST_F(RunTest, RunStartsTheInstalledUpdaterAndEnds) {
  AddProduct(platform, kDefaultFolder);
  FinishWhenCompleted(UserAction::ClickRun);
  Run();
  ASSERT_EQ(platform.startedPrograms.size(), 1u);
  EXPECT_EQ(platform.startedPrograms[0], Join(kDefaultFolder, L"K3Fenn.exe"));
  // In its own folder, elevated: the desktop user can change nothing on its way.
  EXPECT_EQ(platform.starts[0].workingFolder, kDefaultFolder);
  EXPECT_EQ(platform.starts[0].as, StartAs::Setup);
  EXPECT_TRUE(platform.messageBoxes.empty());
  // Started inside the run, before the panel (and all the run holds) goes.
  const auto start = std::find(platform.windowLog.begin(), platform.windowLog.end(),
                               L"start:" + platform.startedPrograms[0]);
  EXPECT_LT(start, std::find(platform.windowLog.begin(), platform.windowLog.end(), L"destroy"));
  ExpectEnded();
}

TEST_F(RunTest, UpdaterStartsElevatedOnlyWhereTheDesktopUserCouldChangeNothingOnItsPath) {
  const std::wstring folder = kDefaultFolder;
  const std::wstring updater = Join(folder, L"K3Fenn.exe");
  struct Case {
    const char* what;
    std::wstring path;
    uint32_t rights;
    StartAs as;
  };
  const Case cases[] = {
      {"an administrators' folder", folder, 0x1 /* list */ | 0x20 /* traverse */, StartAs::Setup},
      // Any user may make folders in C:\ (and so found C:\0): that changes nothing below it.
      {"new folders in the root", L"C:\\", kFileAddSubfolder, StartAs::Setup},
      {"a library planted beside it", folder, kFileAddFile, StartAs::DesktopUser},
      {"a subfolder in its folder", folder, kFileAddSubfolder, StartAs::DesktopUser},
      {"its folder's entries deleted", folder, kFileDeleteChild, StartAs::DesktopUser},
      {"its folder renamed", folder, kDelete, StartAs::DesktopUser},
      {"its folder's permissions", folder, kWriteDac, StartAs::DesktopUser},
      {"its folder's owner", folder, kWriteOwner, StartAs::DesktopUser},
      {"the parent's entries deleted", L"C:\\Program Files", kFileDeleteChild,
       StartAs::DesktopUser},
      {"the parent renamed", L"C:\\Program Files", kDelete, StartAs::DesktopUser},
      {"the root's entries deleted", L"C:\\", kFileDeleteChild, StartAs::DesktopUser},
      {"the program written", updater, kFileWriteData, StartAs::DesktopUser},
      {"the program appended to", updater, kFileAppendData, StartAs::DesktopUser},
      {"the program deleted", updater, kDelete, StartAs::DesktopUser},
      {"the program's permissions", updater, kWriteDac, StartAs::DesktopUser},
      {"the program's owner", updater, kWriteOwner, StartAs::DesktopUser},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    fake::KoreanMachine machine{folder};
    machine.desktopUserRights[c.path] = c.rights;
    machine.actWhenLabel(kStep[6], UserAction::ClickRun);
    Main(machine);
    ASSERT_EQ(machine.starts.size(), 1u);
    EXPECT_EQ(machine.starts[0].as, c.as);
    EXPECT_EQ(machine.starts[0].workingFolder, folder);
    EXPECT_TRUE(machine.messageBoxes.empty());
  }
}

TEST_F(RunTest, AUsersFolderFoundByTheSearchGetsItsProgramStartedAsThatUser) {
  // A standard user made "C:\\0" (it comes before "C:\\Program Files (x86)") with the six files
  // and a K3Fenn.exe of its own, which the setup keeps: the folder is the user's.
  AddProduct(platform, L"C:\\0");
  platform.fs.addFile(L"C:\\0\\K3Fenn.exe", "the user's program", 0);
  platform.desktopUserRights[L"C:\\0"] = kProductFolderRightsForTest;
  platform.desktopUserRights[L"C:\\0\\K3Fenn.exe"] = kFileWriteData | kDelete | kWriteDac;
  FinishWhenCompleted(UserAction::ClickRun);
  Run();
  ASSERT_EQ(platform.startedPrograms, std::vector<std::wstring>{L"C:\\0\\K3Fenn.exe"});
  EXPECT_EQ(platform.starts[0].as, StartAs::DesktopUser);
  EXPECT_EQ(platform.starts[0].workingFolder, L"C:\\0");
}

TEST_F(SetupTest, LinksAndUnwalkablePathsCountAsChangedByTheDesktopUser) {
  AddProduct(platform, kDefaultFolder);
  EXPECT_FALSE(DesktopUserCouldChange(platform, kDefaultFolder, L"k3main.exe"));
  platform.fs.addLink(L"C:\\Linked", kDefaultFolder);  // a junction on the path
  EXPECT_TRUE(DesktopUserCouldChange(platform, L"C:\\Linked", L"k3main.exe"));
  // An entry whose security cannot be read (here: one that is not there).
  EXPECT_TRUE(DesktopUserCouldChange(platform, kDefaultFolder, L"K3Fenn.exe"));
  for (const wchar_t* path : {L"", L"C:relative", L"\\\\server\\share", L"C:\\Program Files\\..",
                              L"C:\\Program Files\\\\톨바리네 2000"}) {
    EXPECT_TRUE(DesktopUserCouldChange(platform, path, L"k3main.exe"))
        << testing::PrintToString(path);
  }
}

TEST_F(RunTest, WithoutADesktopUserRunStartsNothingAndSaysSo) {
  AddProduct(platform, kDefaultFolder);
  platform.desktopUserFound = false;
  FinishWhenCompleted(UserAction::ClickRun);
  Run();
  EXPECT_TRUE(platform.startedPrograms.empty());
  ASSERT_EQ(platform.messageBoxes.size(), 1u);
  EXPECT_EQ(platform.messageBoxes[0].text,
            L"바탕 화면 사용자를 찾을 수 없어 업데이터를 실행하지 않습니다.");
  EXPECT_EQ(platform.messageBoxes[0].title, L"에러");
  ExpectEnded();
}

TEST_F(RunTest, UpdaterThatCannotStartIsReported) {
  AddProduct(platform, kDefaultFolder);
  platform.duringYield = [this] {  // the updater goes away before Run is clicked
    if (platform.label == kStep[6]) platform.fs.deleteFile(Join(kDefaultFolder, L"K3Fenn.exe"));
  };
  FinishWhenCompleted(UserAction::ClickRun);
  Run();
  ASSERT_EQ(platform.messageBoxes.size(), 1u);
  EXPECT_EQ(platform.messageBoxes[0].text, L"업데이터를 실행할 수 없습니다.");
  EXPECT_EQ(platform.messageBoxes[0].title, L"에러");
  EXPECT_TRUE(platform.startedPrograms.empty());
  ExpectEnded();
}

TEST_F(RunTest, FinishAndCloseAfterCompletionShowNothing) {
  for (UserAction action : {UserAction::PressEsc, UserAction::CloseRequest}) {
    fake::KoreanMachine machine{kDefaultFolder};
    machine.actWhenLabel(kStep[6], action);
    Main(machine);
    EXPECT_TRUE(machine.messageBoxes.empty());
    EXPECT_TRUE(machine.startedPrograms.empty());
    EXPECT_TRUE(machine.panelDestroyed);
    EXPECT_FALSE(machine.stalled);
  }
}

TEST_F(RunTest, CompletedPanelSleepsBetweenMessagesInsteadOfSpinning) {
  AddProduct(platform, kDefaultFolder);
  int yieldsAfterCompletion = 0;
  int waitsBeforeCompletion = -1;
  platform.duringYield = [&] {
    if (platform.label != kStep[6]) return;
    if (waitsBeforeCompletion < 0) waitsBeforeCompletion = platform.waits;
    if (++yieldsAfterCompletion == 3) platform.perform(UserAction::ClickCancel);
  };
  Main(platform);
  // The sequence itself never sleeps; the wait loop sleeps once after every yield that left the
  // panel up.
  EXPECT_EQ(waitsBeforeCompletion, 0);
  EXPECT_EQ(platform.waits, 2);
  ExpectEnded();
}

TEST_F(RunTest, CancelDuringTheSequenceNotifiesStopsAndCleansUp) {
  for (UserAction action : {UserAction::ClickCancel, UserAction::PressEsc}) {
    fake::KoreanMachine machine{kDefaultFolder};
    // The first payload's progress yield: CompLib.dll is not installed yet.
    machine.actWhenLabel(kStep[4], action);
    Main(machine);
    ASSERT_EQ(machine.messageBoxes.size(), 1u);
    EXPECT_EQ(machine.messageBoxes[0].text, L"작업을 취소합니다.");
    EXPECT_EQ(machine.messageBoxes[0].title, L"알림");
    const auto box = std::find(machine.windowLog.begin(), machine.windowLog.end(), L"box:알림");
    ASSERT_NE(box, machine.windowLog.end());
    EXPECT_EQ(*(box + 1), L"hide");  // the notice comes first, then the panel goes
    for (const auto& name : kCatalogueNames) {
      EXPECT_FALSE(machine.fs.exists(Join(kDefaultFolder, name))) << name;
    }
    EXPECT_EQ(machine.tempFileNames, 0);  // stopped before the payload was touched
    EXPECT_FALSE(machine.fs.exists(kStagedLibrary));
    EXPECT_EQ(machine.loadedModules(), 0u);
    EXPECT_TRUE(machine.fs.entries(kTempFolder).empty());
    EXPECT_NE(machine.labelLog.back(), kStep[6]);
    EXPECT_TRUE(machine.startedPrograms.empty());
    EXPECT_TRUE(machine.panelDestroyed);
  }
}

TEST_F(RunTest, CloseRequestIsRefusedAndMainEndsTheProgram) {
  AddProduct(platform, kDefaultFolder);
  platform.actWhenLabel(kStep[5], UserAction::CloseRequest);
  Run();
  EXPECT_TRUE(platform.messageBoxes.empty());
  // Only the payload whose copy step was showing got in; none after it.
  EXPECT_TRUE(platform.fs.exists(Join(kDefaultFolder, L"CompLib.dll")));
  EXPECT_FALSE(platform.fs.exists(Join(kDefaultFolder, L"K3Fenn.exe")));
  EXPECT_FALSE(platform.fs.exists(kStagedLibrary));
  ExpectEnded();
}

TEST_F(RunTest, CancelledDriveSearchEndsWithoutTheNotFoundBox) {
  for (int folder = 0; folder < 50; ++folder) {
    platform.fs.addFolder(L"C:\\Data\\F" + std::to_wstring(folder));
  }
  AddProduct(platform, L"C:\\Zzz");
  platform.actAtYield(3, UserAction::ClickCancel);
  Run();
  ASSERT_EQ(platform.messageBoxes.size(), 1u);
  EXPECT_EQ(platform.messageBoxes[0].title, L"알림");
  EXPECT_LT(platform.fs.listLog.size(), 20u);  // the walk stopped descending
  EXPECT_FALSE(LibraryWasStaged());
  ExpectEnded();
}

}  // namespace
}  // namespace fenn::test
