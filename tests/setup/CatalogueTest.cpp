// The catalogue walk and its skip rules: an existing product file is never replaced, and a
// system library Windows already has is matched by an ordered, case-sensitive merge.
#include "SetupWorld.h"

namespace fenn::test {
namespace {

constexpr wchar_t kProduct[] = L"C:\\Product";

class CatalogueTest : public SetupTest {
 protected:
  CatalogueTest() {
    ShowPanel();
    platform.fs.addFolder(kProduct);
  }
  // Load mode, the extraction with this list, release mode: the middle of Form_Load.
  void Install(const std::vector<std::wstring>& presentLibraries) {
    ASSERT_TRUE(stage.StageDecompressor(false));
    platform.dataReads.clear();
    installer.ExtractPayloads(kProduct, NameList(presentLibraries));
    stage.StageDecompressor(true);
  }
  std::vector<std::wstring> Installed() const { return platform.fs.entries(kProduct); }
  void ExpectInstalledIntact(const std::wstring& name) {
    EXPECT_EQ(platform.fs.text(Join(kProduct, name)), PayloadContent(name)) << name;
  }
};

TEST_F(CatalogueTest, WalksIdsFrom101AndStopsQuietlyAt105) {
  Install({});
  EXPECT_EQ(platform.stringReads, (std::vector<int>{101, 102, 103, 104, 105}));
  EXPECT_EQ(platform.dataReads, (std::vector<int>{101, 102, 103, 104}));
  EXPECT_EQ(Installed(), kCatalogueNames);
  for (const auto& name : kCatalogueNames) ExpectInstalledIntact(name);
  EXPECT_TRUE(platform.messageBoxes.empty());
  EXPECT_TRUE(TempFiles().empty());
  // Every call went to the staged module, and dropping that one reference freed the file.
  EXPECT_EQ(platform.decompressModules, std::vector<std::wstring>(4, kStagedLibrary));
  EXPECT_FALSE(platform.fs.exists(kStagedLibrary));
  EXPECT_EQ(platform.sleeps, 0);
}

TEST_F(CatalogueTest, TempFileAndOutputNames) {
  std::vector<std::pair<std::wstring, std::wstring>> calls;
  auto unpack = platform.codec;
  platform.codec = [&](fake::FakePlatform& fake, const std::wstring& source,
                       const std::wstring& destination) {
    calls.emplace_back(source, destination);
    EXPECT_TRUE(fake.fs.exists(source));  // the container was written before the call
    EXPECT_EQ(fake.fs.permissions(source), fake::FakePlatform::kPrivatePermissions);
    return unpack(fake, source, destination);
  };
  Install({});
  ASSERT_EQ(calls.size(), 4u);
  for (const auto& call : calls) {
    // In the run's own folder inside the temp folder.
    EXPECT_EQ(call.first.rfind(std::wstring(kTempFolder) + L"~FennSetup-", 0), 0u) << call.first;
    EXPECT_EQ(call.first.compare(call.first.rfind(L'\\') + 1, 3, L"~oc"), 0) << call.first;
    EXPECT_EQ(call.first.substr(call.first.size() - 4), L".TMP");
    EXPECT_EQ(call.second, call.first + L".bin");
  }
}

TEST_F(CatalogueTest, PresentSystemLibrariesAreSkipped) {
  Install({L"cfgmgr32.dll", L"setupapi.dll"});
  EXPECT_EQ(Installed(), (std::vector<std::wstring>{L"CompLib.dll", L"K3Fenn.exe"}));
}

TEST_F(CatalogueTest, OnlyTheSetupLibraryPresent) {
  Install({L"setupapi.dll"});
  EXPECT_EQ(Installed(),
            (std::vector<std::wstring>{L"CompLib.dll", L"K3Fenn.exe", L"cfgmgr32.dll"}));
}

TEST_F(CatalogueTest, AListedLibraryIsNeverInstalledWhateverTheProductFolderHolds) {
  // 103 is already in the product folder; it still takes "cfgmgr32.dll" off the list, so
  // "setupapi.dll", which the system directory has, is not installed at 104. (Until this was
  // mended, that name stayed behind and the product folder got its own "setupapi.dll".)
  platform.fs.addFile(Join(kProduct, L"cfgmgr32.dll"), "older copy");
  Install({L"cfgmgr32.dll", L"setupapi.dll"});
  EXPECT_EQ(platform.fs.text(Join(kProduct, L"cfgmgr32.dll")), "older copy");
  EXPECT_FALSE(platform.fs.exists(Join(kProduct, L"setupapi.dll")));
  EXPECT_EQ(platform.dataReads, (std::vector<int>{101, 102}));
}

TEST_F(CatalogueTest, LetterCaseCountsInTheMerge) {
  Install({L"SETUPAPI.DLL"});
  EXPECT_EQ(Installed(), kCatalogueNames);
}

TEST_F(CatalogueTest, NothingToDoWhenEverythingIsInstalled) {
  for (const auto& name : kCatalogueNames) platform.fs.addFile(Join(kProduct, name), "old");
  Install({});
  EXPECT_TRUE(platform.dataReads.empty());
  EXPECT_EQ(platform.tempFileNames, 0);
  for (const auto& text : platform.labelLog) {
    EXPECT_NE(text, L"압축을 해제하고 있습니다.");
    EXPECT_NE(text, L"파일을 복사하고 있습니다.");
  }
  EXPECT_TRUE(platform.messageBoxes.empty());
  for (const auto& name : kCatalogueNames) EXPECT_EQ(platform.fs.text(Join(kProduct, name)), "old");
  EXPECT_FALSE(platform.fs.exists(kStagedLibrary));
  EXPECT_EQ(platform.sleeps, 0);  // the release took one pass
}

TEST_F(CatalogueTest, SystemLibraryCheck) {
  EXPECT_EQ(ListSystemDllsPresent(platform, L"C:\\Product"), L"");
  platform.fs.addFile(Join(kSystemDirectory, L"setupapi.dll"));
  EXPECT_EQ(ListSystemDllsPresent(platform, L"C:\\Product"), NameList({L"setupapi.dll"}));
  platform.fs.addFile(Join(kSystemDirectory, L"CFGMGR32.DLL"));
  EXPECT_EQ(ListSystemDllsPresent(platform, L"C:\\Product"),
            NameList({L"cfgmgr32.dll", L"setupapi.dll"}));
  platform.fs.setAttributes(Join(kSystemDirectory, L"setupapi.dll"), fake::kAttrSystem);
  EXPECT_EQ(ListSystemDllsPresent(platform, L"C:\\Product"), NameList({L"cfgmgr32.dll"}));
  platform.systemDirectoryFails = true;
  EXPECT_EQ(ListSystemDllsPresent(platform, L"C:\\Product"), L"");
}

}  // namespace
}  // namespace fenn::test
