// A run killed at any moment, then run again: the product folder never holds part of a payload
// under the payload's name, the staged library never passes for one that was there before, and
// the next run completes the installation and removes what the killed one left.
#include <algorithm>
#include <optional>

#include "SetupWorld.h"
#include "installer/ProductFolderPlacement.h"
#include "setup/basMain.h"

namespace fenn::test {
namespace {

// The product on a second fixed drive: another volume than the temp folder, so every payload is
// copied into the product folder before it gets its name.
constexpr wchar_t kOtherVolumeFolder[] = L"D:\\Tolvarine";

// The disk and the pending deletions at the moment of the kill.
struct KilledMachine {
  fake::FakeFileSystem fs;
  std::vector<std::wstring> pendingAtRestart;
};

// A machine whose setup is killed at its `killAt`-th moment: the middle or the end of a write,
// a copy or a decompression, the end of a delete, rename, request to delete at restart or its
// withdrawal. The run
// itself goes on (a fake process cannot be ended); what counts is the copy of its disk taken then.
class KillableMachine : public fake::KoreanMachine {
 public:
  explicit KillableMachine(int killAt) : KoreanMachine(kOtherVolumeFolder), killAt_(killAt) {
    duringCopy = [this](const std::wstring&) { Moment(); };
    afterHeldFolderStep = [this] { Moment(); };
    codec = [this](fake::FakePlatform& self, const std::wstring& source,
                   const std::wstring& destination) {
      // The codec writes its output piece by piece.
      self.fs.writeBytes(destination, {'h', 'a', 'l', 'f'});
      Moment();
      const int32_t status = unpack_(self, source, destination);
      Moment();
      return status;
    };
    actWhenLabel(L"설치를 완료하였습니다.", fake::UserAction::ClickCancel);
  }

  bool writeBytes(const std::wstring& path, const std::vector<uint8_t>& bytes) override {
    if (bytes.size() > 1) {
      FakePlatform::writeBytes(path, std::vector<uint8_t>(bytes.begin(), bytes.begin() + 1));
      Moment();
    }
    return After(FakePlatform::writeBytes(path, bytes));
  }
  bool writeNewFile(const std::wstring& path, const std::vector<uint8_t>& bytes,
                    const std::function<bool()>& whileEmpty) override {
    return FakePlatform::writeNewFile(path, bytes, [&] {
      Moment();  // made empty
      return whileEmpty();
    });
  }
  bool deleteFile(const std::wstring& path) override {
    return After(FakePlatform::deleteFile(path));
  }
  bool renameFile(const std::wstring& from, const std::wstring& to) override {
    return After(FakePlatform::renameFile(from, to));
  }
  bool deleteFileAtRestart(const std::wstring& path) override {
    return After(FakePlatform::deleteFileAtRestart(path));
  }
  bool cancelDeletionAtRestart(const std::wstring& path) override {
    return After(FakePlatform::cancelDeletionAtRestart(path));
  }

  std::optional<KilledMachine> killed;
  int moments = 0;

 private:
  bool After(bool result) {
    Moment();
    return result;
  }
  void Moment() {
    if (++moments == killAt_) killed = KilledMachine{fs, deletedAtRestart};
  }

  int killAt_;
  decltype(codec) unpack_ = codec;
};

std::wstring InProduct(const std::wstring& name) {
  return Join(kOtherVolumeFolder, name);
}

// What a kill may leave: under a payload's name nothing or the whole file; a staged library only
// with its deletion pending.
void ExpectNothingHalfDone(const KilledMachine& killed) {
  for (const std::wstring& name : kCatalogueNames) {
    if (killed.fs.exists(InProduct(name))) {
      EXPECT_EQ(killed.fs.text(InProduct(name)), PayloadContent(name)) << "partial payload";
    }
  }
  // The file is made empty before its deletion is asked for, and gets its first byte after.
  if (killed.fs.exists(kStagedLibrary) && !killed.fs.contents(kStagedLibrary).empty()) {
    EXPECT_NE(std::find(killed.pendingAtRestart.begin(), killed.pendingAtRestart.end(),
                        std::wstring(kStagedLibrary)),
              killed.pendingAtRestart.end())
        << "a staged library without its deletion at restart";
  }
}

// The next run on the killed machine's disk completes the installation and removes what the
// killed run left in the system directory and the product folder.
void ExpectNextRunCompletes(const KilledMachine& killed, bool restartFirst) {
  fake::KoreanMachine next;
  next.fs = killed.fs;
  next.fs.releaseAllHolds();  // the killed process's modules went with it
  next.deletedAtRestart = killed.pendingAtRestart;
  if (restartFirst) {
    next.restartSystem();
    EXPECT_TRUE(next.fs.contents(kStagedLibrary).empty())
        << "the staged library outlived a restart";
    // So did no temp file: each was handed to the same deletion when it was made. The killed
    // run's private folder may stay, empty.
    for (const std::wstring& folder : next.fs.entries(kTempFolder)) {
      EXPECT_TRUE(next.fs.entries(Join(kTempFolder, folder)).empty())
          << "a temp file outlived a restart";
    }
  }
  next.actWhenLabel(L"설치를 완료하였습니다.", fake::UserAction::ClickCancel);
  Main(next);
  EXPECT_TRUE(next.messageBoxes.empty());
  EXPECT_EQ(next.labelLog.back(), L"설치를 완료하였습니다.");
  for (const std::wstring& name : kCatalogueNames) {
    EXPECT_EQ(next.fs.text(InProduct(name)), PayloadContent(name)) << testing::PrintToString(name);
  }
  EXPECT_FALSE(next.fs.exists(kStagedLibrary));
  EXPECT_EQ(next.loadedModules(), 0u);
  for (const std::wstring& name : next.fs.entries(kOtherVolumeFolder)) {
    EXPECT_FALSE(IsPartialCopyName(name)) << testing::PrintToString(name);
  }
  // Only the killed run's private folder, with its own temporary names, can be left in the temp
  // folder.
  for (const std::wstring& folder : next.fs.entries(kTempFolder)) {
    EXPECT_EQ(folder.rfind(L"~FennSetup-", 0), 0u) << testing::PrintToString(folder);
    for (const std::wstring& name : next.fs.entries(Join(kTempFolder, folder))) {
      EXPECT_EQ(name.rfind(L"~oc", 0), 0u) << testing::PrintToString(name);
    }
  }
}

TEST(KilledRunTest, KilledAtAnyMomentThenRunAgain) {
  int moment = 1;
  for (;; ++moment) {
    SCOPED_TRACE("killed at moment " + std::to_string(moment));
    KillableMachine machine(moment);
    Main(machine);
    if (!machine.killed) break;  // the whole run has fewer moments
    ASSERT_TRUE(machine.messageBoxes.empty());
    ExpectNothingHalfDone(*machine.killed);
    ExpectNextRunCompletes(*machine.killed, false);
    ExpectNextRunCompletes(*machine.killed, true);
  }
  // Staging, four payloads each decompressed, copied and renamed, the release.
  EXPECT_GT(moment, 40);
}

TEST(KilledRunTest, PayloadIsCopiedUnderAPartialNameOnlyAcrossVolumes) {
  fake::KoreanMachine across{kOtherVolumeFolder};
  across.fs.setPermissions(kOtherVolumeFolder, L"product folder's");
  std::vector<std::wstring> copiedTo;
  across.duringCopy = [&](const std::wstring& target) {
    copiedTo.push_back(target);
    // Half a copy is never under the payload's name.
    const std::wstring name = target.substr(target.rfind(L'\\') + 1);
    EXPECT_TRUE(IsPartialCopyName(name)) << testing::PrintToString(name);
  };
  across.actWhenLabel(L"설치를 완료하였습니다.", fake::UserAction::ClickCancel);
  Main(across);
  EXPECT_EQ(copiedTo.size(), kCatalogueNames.size());
  EXPECT_TRUE(across.fs.entries(kTempFolder).empty());

  // On the temp folder's volume a payload is placed with one rename, never copied.
  fake::KoreanMachine same{kDefaultFolder};
  same.fs.setPermissions(kDefaultFolder, L"product folder's");
  same.actWhenLabel(L"설치를 완료하였습니다.", fake::UserAction::ClickCancel);
  Main(same);
  EXPECT_EQ(same.copies, 0);
  for (const std::wstring& name : kCatalogueNames) {
    EXPECT_EQ(same.fs.text(Join(kDefaultFolder, name)), PayloadContent(name));
    // Either way a placed file has the permissions the product folder gives, not the private
    // folder's it was decoded in.
    EXPECT_EQ(same.fs.permissions(Join(kDefaultFolder, name)), L"product folder's");
    EXPECT_EQ(across.fs.permissions(InProduct(name)), L"product folder's");
  }
  EXPECT_EQ(same.heldFolders + across.heldFolders, 0);
}

// The verified folder is held until the run ends: it cannot be swapped for a link, and a link put
// in place of one of its parents redirects nothing, neither the payloads nor the removal of
// partial copies.
TEST(KilledRunTest, SwapAfterVerificationRedirectsNothing) {
  for (const std::wstring product : {L"D:\\Games\\Tolvarine", L"C:\\Games\\Tolvarine"}) {
    SCOPED_TRACE(testing::PrintToString(product));
    const std::wstring drive = product.substr(0, 2);
    const std::wstring adminCopy = drive + L"\\Admin\\Tolvarine";
    const std::wstring adminFile = Join(adminCopy, PartialCopyName(L"K3Fenn.exe"));
    struct NotesTheHoldAtRun : fake::KoreanMachine {
      bool startProgram(const std::wstring& path, const std::wstring& workingFolder,
                        StartAs as) override {
        heldAtRun = heldFolders;
        return FakePlatform::startProgram(path, workingFolder, as);
      }
      int heldAtRun = -1;
    } machine;
    machine.fs.addDrive(L'D', kDriveFixed);
    AddProduct(machine, product);
    machine.fs.addFile(adminFile, "the administrators' file");
    bool swapped = false;
    machine.duringYield = [&] {
      // Once the run has verified the folder and starts unpacking.
      if (swapped || machine.label != L"압축을 해제하고 있습니다.") return;
      swapped = true;
      EXPECT_FALSE(machine.fs.moveFolder(product, product + L".old")) << "the held folder";
      ASSERT_TRUE(machine.fs.moveFolder(drive + L"\\Games", drive + L"\\Games.old"));
      machine.fs.addLink(drive + L"\\Games", drive + L"\\Admin");
    };
    machine.actWhenLabel(L"설치를 완료하였습니다.", fake::UserAction::ClickRun);
    Main(machine);
    EXPECT_TRUE(swapped);
    EXPECT_EQ(machine.heldAtRun, 1) << "the folder is still held when Run starts the updater";
    EXPECT_EQ(machine.heldFolders, 0) << "and let go when the panel ends";
    EXPECT_NE(
        std::find(machine.labelLog.begin(), machine.labelLog.end(), L"설치를 완료하였습니다."),
        machine.labelLog.end());
    for (const std::wstring& name : kCatalogueNames) {
      EXPECT_EQ(machine.fs.text(Join(drive + L"\\Games.old\\Tolvarine", name)),
                PayloadContent(name));
    }
    EXPECT_EQ(machine.fs.entries(adminCopy),
              std::vector<std::wstring>{PartialCopyName(L"K3Fenn.exe")});
    EXPECT_EQ(machine.fs.text(adminFile), "the administrators' file");
  }
}

// A swap between the verification and the hold: what is held is verified once more, so a link
// is refused and a folder without the six files is not taken; either way the run ends as not
// found, before anything is staged or written.
TEST(KilledRunTest, SwapBeforeTheHoldEndsAsNotFound) {
  struct SwappedBeforeTheHold : fake::KoreanMachine {
    SwappedBeforeTheHold() : KoreanMachine(kOtherVolumeFolder) {}
    std::unique_ptr<HeldFolder> holdFolder(const std::wstring& path) override {
      fs.moveFolder(path, path + L".old");
      if (link) {
        fs.addLink(path, L"D:\\Admin");
      } else {
        fs.addFile(Join(path, L"k3main.exe"), "a user's");
      }
      return FakePlatform::holdFolder(path);
    }
    bool link = false;
  };
  for (bool link : {true, false}) {
    SwappedBeforeTheHold machine;
    machine.link = link;
    machine.fs.addFile(L"D:\\Admin\\kept.dll", "the administrators' file");
    Main(machine);
    ASSERT_EQ(machine.messageBoxes.size(), 1u);
    EXPECT_EQ(machine.messageBoxes[0].text,
              L"톨바리네를 찾을 수 없습니다.\r\n톨바리네를 다시 설치해 주십시오.");
    EXPECT_EQ(machine.fs.entries(L"D:\\Admin"), std::vector<std::wstring>{L"kept.dll"});
    EXPECT_TRUE(machine.dataReads.empty()) << "nothing staged or unpacked";
    EXPECT_EQ(machine.heldFolders, 0);
  }
}

TEST(KilledRunTest, PartialCopiesAreRemovedAndNothingElse) {
  fake::KoreanMachine machine{kOtherVolumeFolder};
  // K3Fenn.exe was installed whole by the killed run; the copy of setupapi.dll was cut short.
  machine.fs.addFile(InProduct(L"K3Fenn.exe"), PayloadContent(L"K3Fenn.exe"));
  machine.fs.addFile(InProduct(PartialCopyName(L"setupapi.dll")), "plain by");
  machine.fs.addFile(InProduct(L"~fennsetup-K3Fenn.exe.PARTIAL"), "plain bytes of K3");
  // Names that only look alike belong to the product.
  // So do partial names of what is no catalogue entry.
  const std::vector<std::wstring> alike = {L"~FennSetup-.partial", L"~FennSetup-notes.txt",
                                           L"K3Fenn.exe.partial", L"~FennSetup-x.partial.bak",
                                           L"~FennSetup-k3main.exe.partial"};
  for (const std::wstring& name : alike) machine.fs.addFile(InProduct(name), "product");
  machine.actWhenLabel(L"설치를 완료하였습니다.", fake::UserAction::ClickCancel);
  Main(machine);

  EXPECT_TRUE(machine.messageBoxes.empty());
  std::vector<std::wstring> expected = kProductFiles;
  expected.insert(expected.end(), alike.begin(), alike.end());
  expected.insert(expected.end(), kCatalogueNames.begin(), kCatalogueNames.end());
  std::vector<std::wstring> entries = machine.fs.entries(kOtherVolumeFolder);
  std::sort(entries.begin(), entries.end());
  std::sort(expected.begin(), expected.end());
  EXPECT_EQ(entries, expected);
  for (const std::wstring& name : alike) EXPECT_EQ(machine.fs.text(InProduct(name)), "product");
}

TEST(KilledRunTest, CopyThatCannotBeFinishedLeavesNoPartOfIt) {
  fake::KoreanMachine machine{kOtherVolumeFolder};
  machine.fs.setWriteQuota(kOtherVolumeFolder, 5);  // the product's disk is full
  Main(machine);
  ASSERT_EQ(machine.messageBoxes.size(), 1u);
  EXPECT_EQ(machine.messageBoxes[0].text,
            L"리소스를 추가할 수 없습니다. 파일 쓰는데 오류가 발생했습니다.");
  EXPECT_EQ(machine.fs.entries(kOtherVolumeFolder).size(), kProductFiles.size());
  EXPECT_TRUE(machine.fs.entries(kTempFolder).empty());
  EXPECT_FALSE(machine.fs.exists(kStagedLibrary));
}

}  // namespace
}  // namespace fenn::test
