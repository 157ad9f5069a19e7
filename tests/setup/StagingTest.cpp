// The codec library in the system directory: staged byte for byte and removed again, or, when a
// library of that name was there before, used by full path and left exactly as it was.
#include "SetupWorld.h"
#include "setup/basMain.h"

namespace fenn::test {
namespace {

constexpr char kPreexisting[] = "MZ a library that was here before";

class StagingTest : public SetupTest {
 protected:
  StagingTest() { ShowPanel(); }
};

TEST_F(StagingTest, LoadWritesResource1001AndLoadsItByFullPath) {
  ASSERT_TRUE(stage.StageDecompressor(false));
  EXPECT_EQ(platform.fs.text(kStagedLibrary), kCodecLibraryBytes);
  EXPECT_TRUE(stage.staged());
  EXPECT_NE(stage.module(), 0u);
  EXPECT_EQ(platform.moduleReferences(kStagedLibrary), 1);

  EXPECT_TRUE(stage.StageDecompressor(true));
  EXPECT_FALSE(platform.fs.exists(kStagedLibrary));
  EXPECT_FALSE(stage.staged());
  EXPECT_EQ(platform.loadedModules(), 0u);
  EXPECT_EQ(platform.badFrees, 0);
  EXPECT_EQ(platform.sleeps, 0);
}

TEST_F(StagingTest, PreexistingLibraryIsUsedButNeverWrittenOrDeleted) {
  platform.fs.addFile(kStagedLibrary, kPreexisting);
  platform.fs.addFolder(L"C:\\Product");
  ASSERT_TRUE(stage.StageDecompressor(false));
  EXPECT_FALSE(stage.staged());
  EXPECT_EQ(platform.moduleReferences(kStagedLibrary), 1);
  installer.ExtractPayloads(L"C:\\Product", L"");
  stage.StageDecompressor(true);

  EXPECT_EQ(platform.decompressModules, std::vector<std::wstring>(4, kStagedLibrary));
  EXPECT_EQ(platform.fs.text(kStagedLibrary), kPreexisting);
  EXPECT_EQ(platform.loadedModules(), 0u);
  EXPECT_EQ(platform.badFrees, 0);
  EXPECT_TRUE(platform.deletedAtRestart.empty());
  for (int id : platform.dataReads) EXPECT_NE(id, 1001);
}

TEST_F(StagingTest, ReleaseWithoutLoadDoesNothing) {
  platform.fs.addFile(kStagedLibrary, kPreexisting);
  stage.StageDecompressor(true);
  EXPECT_EQ(platform.fs.text(kStagedLibrary), kPreexisting);
  EXPECT_EQ(platform.badFrees, 0);
}

TEST_F(StagingTest, LibraryThatCannotBePreparedLeavesNothing) {
  struct Case {
    const char* what;
    std::function<void(fake::FakePlatform&)> arrange;
  };
  const Case cases[] = {
      {"no write access", [](fake::FakePlatform& p) { p.fs.setWriteProtected(kSystemDirectory); }},
      {"disk full", [](fake::FakePlatform& p) { p.fs.setWriteQuota(kSystemDirectory, 4); }},
      {"resource missing", [](fake::FakePlatform& p) { p.customResources.erase(1001); }},
      {"not loadable",
       [](fake::FakePlatform& p) { p.unloadableModules.push_back(kStagedLibrary); }},
      {"no system directory", [](fake::FakePlatform& p) { p.systemDirectoryFails = true; }},
      {"no deletion at restart", [](fake::FakePlatform& p) { p.restartDeletionRefused = true; }},
  };
  for (const Case& c : cases) {
    fake::KoreanMachine machine;
    c.arrange(machine);
    CodecStage stage(machine);
    EXPECT_FALSE(stage.StageDecompressor(false)) << c.what;
    stage.StageDecompressor(true);
    EXPECT_FALSE(machine.fs.exists(kStagedLibrary)) << c.what;
    EXPECT_FALSE(stage.staged()) << c.what;
    EXPECT_EQ(machine.loadedModules(), 0u) << c.what;
  }
}

TEST_F(StagingTest, HiddenLibraryOfThatNameIsNeverDeleted) {
  // Not seen by the existence test, so load mode tries to write; the write is refused and the
  // clean-up must not take the hidden file with it.
  platform.fs.addFile(kStagedLibrary, kPreexisting, fake::kAttrHidden);
  EXPECT_FALSE(stage.StageDecompressor(false));
  EXPECT_EQ(platform.fs.text(kStagedLibrary), kPreexisting);
  EXPECT_TRUE(platform.deletedAtRestart.empty()) << "handed to the system to delete";
}

TEST_F(StagingTest, StagedLibraryIsHandedToTheSystemToDeleteBeforeItsFirstByte) {
  struct Watch : fake::KoreanMachine {
    bool writeBytes(const std::wstring& path, const std::vector<uint8_t>& bytes) override {
      if (!bytes.empty() && fake::SameName(path, kStagedLibrary)) {
        pendingAtWrite = deletionPendingAtRestart(path);
      }
      return FakePlatform::writeBytes(path, bytes);
    }
    bool deleteFileAtRestart(const std::wstring& path) override {
      if (fake::SameName(path, kStagedLibrary)) {
        // Another process that finds the file now can neither delete nor write it.
        othersLockedOut = fs.exists(path) && !fs.deleteFile(path) && !fs.writeBytes(path, {'x'});
        ++requests;
      }
      return FakePlatform::deleteFileAtRestart(path);
    }
    bool pendingAtWrite = false;
    bool othersLockedOut = false;
    int requests = 0;
  } machine;
  // Another program's pending work, before and after the setup's own request.
  machine.deleteFileAtRestart(L"C:\\Other\\before.tmp");
  CodecStage stage(machine);
  ASSERT_TRUE(stage.StageDecompressor(false));
  machine.deleteFileAtRestart(L"C:\\Other\\after.tmp");
  EXPECT_TRUE(machine.pendingAtWrite);
  EXPECT_TRUE(machine.othersLockedOut);
  EXPECT_EQ(machine.requests, 1);
  stage.StageDecompressor(true);
  // Asked for once, and taken back once the release deleted the file: only the setup's own
  // request goes. (It used to stay pending after a clean run: the machine was left "restart
  // pending", and a library of that name installed before the restart was deleted by it.)
  EXPECT_EQ(machine.deletedAtRestart,
            (std::vector<std::wstring>{L"C:\\Other\\before.tmp", L"C:\\Other\\after.tmp"}));
}

TEST_F(StagingTest, LeftoverOfAnEndedRunIsRecognisedRewrittenAndRemoved) {
  struct Leftover {
    const char* what;
    std::string bytes;
    bool pending;
  };
  const Leftover leftovers[] = {
      {"cut short, deletion pending", "MZ codec lib", true},
      {"whole, deletion pending", kCodecLibraryBytes, true},
      {"made empty, before its deletion was asked for", "", false},
  };
  for (const Leftover& leftover : leftovers) {
    fake::KoreanMachine machine;
    machine.fs.addFile(kStagedLibrary, leftover.bytes);
    if (leftover.pending) machine.deleteFileAtRestart(kStagedLibrary);
    CodecStage stage(machine);
    ASSERT_TRUE(stage.StageDecompressor(false)) << leftover.what;
    EXPECT_TRUE(stage.staged()) << leftover.what;
    EXPECT_EQ(machine.fs.text(kStagedLibrary), kCodecLibraryBytes) << leftover.what;
    stage.StageDecompressor(true);
    EXPECT_FALSE(machine.fs.exists(kStagedLibrary)) << leftover.what;
    EXPECT_TRUE(machine.deletedAtRestart.empty()) << leftover.what;
  }
  // A deletion still pending from an earlier run is not asked for twice, and goes with the file.
  fake::KoreanMachine machine;
  machine.fs.addFile(kStagedLibrary, "x");
  machine.deleteFileAtRestart(kStagedLibrary);
  machine.fs.deleteFile(kStagedLibrary);
  CodecStage stage(machine);
  ASSERT_TRUE(stage.StageDecompressor(false));
  stage.StageDecompressor(true);
  EXPECT_TRUE(machine.deletedAtRestart.empty());
}

TEST_F(StagingTest, ReleaseGivesUpOnAFileSomeoneElseHolds) {
  ASSERT_TRUE(stage.StageDecompressor(false));
  platform.fs.hold(kStagedLibrary);  // another process has it loaded
  stage.StageDecompressor(true);
  EXPECT_TRUE(platform.fs.exists(kStagedLibrary));
  EXPECT_EQ(platform.deletedAtRestart, std::vector<std::wstring>{kStagedLibrary});
  EXPECT_FALSE(stage.staged());
  EXPECT_GE(platform.sleeps, 10);
  EXPECT_LE(platform.sleeps, 20);
  EXPECT_EQ(platform.badFrees, 0);
}

TEST(StagingRunTest, HeldLibraryDoesNotStopTheRun) {
  fake::KoreanMachine machine{kDefaultFolder};
  machine.actWhenLabel(L"설치를 완료하였습니다.", fake::UserAction::ClickCancel);
  // Something else grabs the staged file while the payloads are decompressed.
  machine.codec = [](fake::FakePlatform& p, const std::wstring&, const std::wstring& destination) {
    p.fs.hold(kStagedLibrary);
    p.fs.writeBytes(destination, {});
    return 0;
  };
  Main(machine);
  EXPECT_TRUE(machine.fs.exists(kStagedLibrary));
  EXPECT_TRUE(machine.cmdRun.visible);
  EXPECT_TRUE(machine.panelDestroyed);
  EXPECT_FALSE(machine.stalled);
}

}  // namespace
}  // namespace fenn::test
