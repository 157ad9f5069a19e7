// How a run ends when installing fails: one box, earlier payloads kept, nothing later attempted,
// nothing left in the temp folder, the staged library removed, and then the run ends like one
// that found no product: no completion text, no Run button, no updater.
#include <stdexcept>

#include "SetupWorld.h"
#include "installer/ProductFolderPlacement.h"
#include "setup/basMain.h"

namespace fenn::test {
namespace {

constexpr wchar_t kCannotMakeTempFile[] = L"새 리소스를 만들 수 없습니다.";
constexpr wchar_t kDecompressFailed[] = L"압축을 푸는데 에러가 발생했습니다.";
constexpr wchar_t kCannotPlaceFile[] =
    L"리소스를 추가할 수 없습니다. 파일 쓰는데 오류가 발생했습니다.";
constexpr wchar_t kUnexpectedError[] = L"설치 중 오류가 발생했습니다.";

// A machine on which loading the staged library throws, as a platform out of memory would.
struct ThrowingLoader : fake::KoreanMachine {
  ModuleHandle loadLibrary(const std::wstring&) override { throw std::bad_alloc(); }
  void messageBox(const std::wstring& text, const std::wstring& title) override {
    libraryAtBox = fs.exists(kStagedLibrary);
    FakePlatform::messageBox(text, title);
  }
  bool libraryAtBox = true;
};

class ExtractionErrorTest : public SetupTest {
 protected:
  ExtractionErrorTest() { AddProduct(platform, kDefaultFolder); }
  void Run() { Main(platform); }
  std::vector<std::wstring> Installed() const {
    std::vector<std::wstring> names;
    for (const auto& name : kCatalogueNames) {
      if (platform.fs.exists(Join(kDefaultFolder, name))) names.push_back(name);
    }
    return names;
  }
  // What every ending shares: the one box, the staged library gone, then the panel hides and
  // the program ends by itself, never in the completion state.
  void ExpectEnding(const std::wstring& text, const std::vector<std::wstring>& installed) {
    ExpectEndedAfterBox(platform, text);
    EXPECT_EQ(Installed(), installed);
  }
  static void ExpectEndedAfterBox(fake::FakePlatform& machine, const std::wstring& text) {
    ASSERT_EQ(machine.messageBoxes.size(), 1u);
    EXPECT_EQ(machine.messageBoxes[0].text, text);
    EXPECT_EQ(machine.messageBoxes[0].title, L"에러");
    EXPECT_FALSE(machine.fs.exists(kStagedLibrary));
    EXPECT_EQ(machine.loadedModules(), 0u);
    const auto box = std::find(machine.windowLog.begin(), machine.windowLog.end(), L"box:에러");
    EXPECT_NE(std::find(box, machine.windowLog.end(), L"hide"), machine.windowLog.end());
    EXPECT_NE(machine.labelLog.back(), L"설치를 완료하였습니다.");
    EXPECT_FALSE(machine.cmdRun.visible);
    EXPECT_TRUE(machine.startedPrograms.empty());
    EXPECT_TRUE(machine.panelDestroyed);
    EXPECT_FALSE(machine.stalled);
  }
};

TEST_F(ExtractionErrorTest, DecompressionFailureKeepsEarlierPayloadsOnly) {
  platform.customResources[102] = {'j', 'u', 'n', 'k'};
  Run();
  ExpectEnding(kDecompressFailed, {L"CompLib.dll"});
  EXPECT_TRUE(TempFiles().empty());
  EXPECT_EQ(platform.stringReads, (std::vector<int>{101, 102}));
}

TEST_F(ExtractionErrorTest, UnreachableCodecEntryIsADecompressionFailure) {
  platform.codecEntryMissing = true;
  Run();
  ExpectEnding(kDecompressFailed, {});
  EXPECT_TRUE(TempFiles().empty());
}

TEST_F(ExtractionErrorTest, NoTempFile) {
  platform.fs.setWriteProtected(kTempFolder);
  Run();
  ExpectEnding(kCannotMakeTempFile, {});
  EXPECT_TRUE(TempFiles().empty());
}

TEST_F(ExtractionErrorTest, NoTempFolder) {
  platform.tempPathFails = true;
  Run();
  ExpectEnding(kCannotMakeTempFile, {});
}

TEST_F(ExtractionErrorTest, MissingPayloadResource) {
  platform.customResources.erase(103);
  Run();
  ExpectEnding(kCannotMakeTempFile, {L"CompLib.dll", L"K3Fenn.exe"});
  EXPECT_TRUE(TempFiles().empty());
}

TEST_F(ExtractionErrorTest, TempFileWriteFails) {
  platform.fs.setWriteQuota(kTempFolder, 3);  // the disk fills up
  Run();
  ExpectEnding(kCannotMakeTempFile, {});
  EXPECT_TRUE(TempFiles().empty());
}

TEST_F(ExtractionErrorTest, MoveIntoTheProductFolderFails) {
  platform.fs.setWriteProtected(kDefaultFolder);
  Run();
  ExpectEnding(kCannotPlaceFile, {});
  EXPECT_TRUE(TempFiles().empty());  // the decompressed file does not stay behind
  EXPECT_EQ(platform.fs.entries(kDefaultFolder).size(), kProductFiles.size());
  EXPECT_EQ(platform.copies, 0)
      << "only a rename that cannot leave its volume falls back to a copy";
}

// Across volumes, a name of the setup's partial form that the setup did not make (a hidden file,
// a folder, a link) is neither removed as a leftover nor deleted when the copy cannot be made
// under it, and nothing is written through it.
TEST_F(ExtractionErrorTest, PartialNameTheSetupDidNotMakeIsLeftAlone) {
  const std::wstring product = L"D:\\Tolvarine";
  const std::wstring partial = Join(product, PartialCopyName(L"CompLib.dll"));
  for (int kind = 0; kind < 3; ++kind) {
    SCOPED_TRACE("kind " + std::to_string(kind));
    fake::KoreanMachine machine;
    machine.fs.addDrive(L'D', kDriveFixed);
    AddProduct(machine, product);
    machine.fs.addFile(L"D:\\Admin\\kept.dll", "the administrators' file");
    if (kind == 0) machine.fs.addFile(partial, "someone's", fake::kAttrHidden);
    if (kind == 1) machine.fs.addFolder(partial);
    if (kind == 2) machine.fs.addLink(partial, L"D:\\Admin");
    Main(machine);
    ExpectEndedAfterBox(machine, kCannotPlaceFile);
    EXPECT_FALSE(machine.fs.exists(Join(product, L"CompLib.dll")));
    EXPECT_TRUE(machine.fs.exists(partial));
    if (kind == 0) {
      EXPECT_EQ(machine.fs.text(partial), "someone's");
    }
    EXPECT_EQ(machine.fs.entries(L"D:\\Admin"), std::vector<std::wstring>{L"kept.dll"});
    EXPECT_EQ(machine.fs.text(L"D:\\Admin\\kept.dll"), "the administrators' file");
  }
}

TEST_F(ExtractionErrorTest, RenameOfTheOutputFails) {
  // The container cannot be deleted after decompression, so the output cannot take its name.
  auto unpack = platform.codec;
  platform.codec = [unpack](fake::FakePlatform& p, const std::wstring& source,
                            const std::wstring& destination) {
    const int32_t status = unpack(p, source, destination);
    p.fs.setAttributes(source, fake::kAttrReadOnly);
    return status;
  };
  Run();
  ExpectEnding(kCannotPlaceFile, {});
  for (const auto& name : TempFiles()) {
    EXPECT_NE(name.substr(name.size() - 4), L".bin") << name;
  }
}

TEST_F(ExtractionErrorTest, CodecThatCannotBePrepared) {
  platform.fs.setWriteProtected(kSystemDirectory);
  Run();
  ExpectEnding(L"압축 해제 모듈을 준비할 수 없습니다.", {});
  EXPECT_EQ(platform.tempFileNames, 0);
}

TEST_F(ExtractionErrorTest, AnErrorThrownInAStageIsReportedOnceAfterTheRelease) {
  // Thrown in the middle of the extraction, with a temp file made.
  platform.codec = [](fake::FakePlatform&, const std::wstring&, const std::wstring&) -> int32_t {
    throw std::runtime_error("platform failure");
  };
  Run();
  ExpectEnding(kUnexpectedError, {});
  EXPECT_TRUE(TempFiles().empty());
  // Thrown while staging, after the library file was written.
  ThrowingLoader machine;
  AddProduct(machine, kDefaultFolder);
  Main(machine);
  ExpectEndedAfterBox(machine, kUnexpectedError);
  EXPECT_FALSE(machine.libraryAtBox) << "the library is released before the box";
}

}  // namespace
}  // namespace fenn::test
