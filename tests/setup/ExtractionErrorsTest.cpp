// How an extraction ends when a step fails: one box, earlier payloads kept, nothing later
// attempted, nothing left in the temp folder, and the staged library still removed.
#include <stdexcept>

#include "SetupWorld.h"
#include "setup/basMain.h"

namespace fenn::test {
namespace {

constexpr wchar_t kCannotMakeTempFile[] = L"새 리소스를 만들 수 없습니다.";
constexpr wchar_t kDecompressFailed[] = L"압축을 푸는데 에러가 발생했습니다.";
constexpr wchar_t kCannotPlaceFile[] =
    L"리소스를 추가할 수 없습니다. 파일 쓰는데 오류가 발생했습니다.";

class ExtractionErrorTest : public SetupTest {
 protected:
  ExtractionErrorTest() {
    AddProduct(platform, kDefaultFolder);
    platform.actWhenLabel(L"설치를 완료하였습니다.", fake::UserAction::ClickCancel);
  }
  void Run() { Main(platform); }
  std::vector<std::wstring> Installed() const {
    std::vector<std::wstring> names;
    for (const auto& name : kCatalogueNames) {
      if (platform.fs.exists(Join(kDefaultFolder, name))) names.push_back(name);
    }
    return names;
  }
  // What every ending shares: the one box, the completion state, the staged library gone.
  void ExpectEnding(const std::wstring& text, const std::vector<std::wstring>& installed) {
    ASSERT_EQ(platform.messageBoxes.size(), 1u);
    EXPECT_EQ(platform.messageBoxes[0].text, text);
    EXPECT_EQ(platform.messageBoxes[0].title, L"에러");
    EXPECT_EQ(Installed(), installed);
    EXPECT_FALSE(platform.fs.exists(kStagedLibrary));
    EXPECT_EQ(platform.loadedModules(), 0u);
    EXPECT_TRUE(platform.cmdRun.visible);
    EXPECT_TRUE(platform.panelDestroyed);
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

TEST_F(ExtractionErrorTest, AnErrorThrownMidwayStillReleasesTheLibrary) {
  platform.codec = [](fake::FakePlatform&, const std::wstring&, const std::wstring&) -> int32_t {
    throw std::runtime_error("platform failure");
  };
  Run();
  EXPECT_FALSE(platform.fs.exists(kStagedLibrary));
  EXPECT_EQ(platform.loadedModules(), 0u);
  EXPECT_TRUE(platform.panelDestroyed);
}

}  // namespace
}  // namespace fenn::test
