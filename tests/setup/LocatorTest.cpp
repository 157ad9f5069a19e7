// LocateProduct: its three sources, their precedence, the one-"\" trim and the verification.
#include "SetupWorld.h"

namespace fenn::test {
namespace {

constexpr wchar_t kRegistryKey[] = L"SOFTWARE\\Valto Corp.";

class LocatorTest : public SetupTest {
 protected:
  LocatorTest() { ShowPanel(); }

  void RegisterFolder(const std::wstring& folder) {
    platform.registry.setValue(kRegistryKey, L"ApplicationPath",
                               fake::ToCp949(folder) + std::string(1, '\0'));
  }
  // The patterns of the verification listings, in order.
  std::vector<std::wstring> VerifiedNames() const {
    std::vector<std::wstring> names;
    for (const auto& call : platform.fs.listLog) {
      for (const auto& file : kProductFiles) {
        if (call.second == 0 && call.first.size() > file.size() &&
            call.first.compare(call.first.size() - file.size() - 1, std::wstring::npos,
                               L"\\" + file) == 0) {
          names.push_back(file);
        }
      }
    }
    return names;
  }
  bool DriveSearchRan() const {
    for (const auto& call : platform.fs.listLog) {
      if (call.first.find(L"*.") != std::wstring::npos) return true;
    }
    return false;
  }

  std::wstring folder = L"untouched";
};

TEST_F(LocatorTest, DefaultFolderWinsAndShowsStepsThreeThenTwo) {
  AddProduct(platform, kDefaultFolder);
  RegisterFolder(L"C:\\Elsewhere");
  EXPECT_TRUE(locator.LocateProduct(folder));
  EXPECT_EQ(folder, kDefaultFolder);
  EXPECT_EQ(platform.registry.opens, 0);
  EXPECT_EQ(platform.labelLog, (std::vector<std::wstring>{L"톨바리네를 찾고 있습니다.",
                                                          L"구성 요소를 검색하는 중입니다."}));
  EXPECT_EQ(VerifiedNames(), kProductFiles);
}

TEST_F(LocatorTest, AnExistingFolderIsFinalEvenWhenIncomplete) {
  AddProduct(platform, kDefaultFolder);
  platform.fs.deleteFile(Join(kDefaultFolder, L"K3rep.dat"));
  AddProduct(platform, L"C:\\Elsewhere");
  RegisterFolder(L"C:\\Elsewhere");
  EXPECT_FALSE(locator.LocateProduct(folder));
  EXPECT_EQ(folder, kDefaultFolder);
  EXPECT_EQ(platform.registry.opens, 0);
  EXPECT_FALSE(DriveSearchRan());
}

TEST_F(LocatorTest, RegistryFolderWithTrailingBackslash) {
  platform.fs.addDrive(L'E', kDriveFixed);
  AddProduct(platform, L"E:\\Apps\\Product");
  RegisterFolder(L"E:\\Apps\\Product\\");
  EXPECT_TRUE(locator.LocateProduct(folder));
  EXPECT_EQ(folder, L"E:\\Apps\\Product");
  EXPECT_FALSE(DriveSearchRan());
}

TEST_F(LocatorTest, IncompleteRegistryFolderStopsTheSearch) {
  platform.fs.addFile(L"C:\\Apps\\Hangul 톨바리네\\k3main.exe");
  AddProduct(platform, L"C:\\Other");
  RegisterFolder(L"C:\\Apps\\Hangul 톨바리네");
  EXPECT_FALSE(locator.LocateProduct(folder));
  EXPECT_EQ(folder, L"C:\\Apps\\Hangul 톨바리네");
  EXPECT_FALSE(DriveSearchRan());
}

TEST_F(LocatorTest, DriveSearchRunsWhenNeitherFolderExists) {
  RegisterFolder(L"C:\\Gone");
  AddProduct(platform, L"C:\\Games\\Tolvarine");
  EXPECT_TRUE(locator.LocateProduct(folder));
  EXPECT_EQ(folder, L"C:\\Games\\Tolvarine");
}

TEST_F(LocatorTest, ProductInADriveRootComesBackAsLetterAndColon) {
  platform.fs.addDrive(L'D', kDriveFixed);
  AddProduct(platform, L"D:");
  EXPECT_TRUE(locator.LocateProduct(folder));
  EXPECT_EQ(folder, L"D:");
  EXPECT_EQ(platform.fs.listLog.back().first, L"D:\\K3rep.dat");
}

TEST_F(LocatorTest, VerificationStopsAtTheFirstMissingFile) {
  AddProduct(platform, kDefaultFolder);
  platform.fs.deleteFile(Join(kDefaultFolder, L"k3main.drv"));
  EXPECT_FALSE(locator.LocateProduct(folder));
  EXPECT_EQ(VerifiedNames(), (std::vector<std::wstring>{L"k3main.exe", L"k3main.drv"}));
}

TEST_F(LocatorTest, HiddenOrSystemProductFileDoesNotCount) {
  for (uint32_t attribute : {fake::kAttrHidden, fake::kAttrSystem}) {
    AddProduct(platform, kDefaultFolder);
    platform.fs.setAttributes(Join(kDefaultFolder, L"lck.dat"), attribute);
    EXPECT_FALSE(locator.LocateProduct(folder));
  }
  platform.fs.setAttributes(Join(kDefaultFolder, L"lck.dat"), fake::kAttrReadOnly);
  EXPECT_TRUE(locator.LocateProduct(folder));
}

TEST_F(LocatorTest, NothingFoundGivesTheEmptyFolder) {
  EXPECT_FALSE(locator.LocateProduct(folder));
  EXPECT_EQ(folder, L"");
  EXPECT_EQ(platform.fs.listLog.back().first, L"\\k3main.exe");
  EXPECT_TRUE(platform.messageBoxes.empty());
}

TEST_F(LocatorTest, ExistenceTests) {
  platform.fs.addFile(L"C:\\Data\\file.txt");
  const size_t listingsBefore = platform.fs.listLog.size();
  EXPECT_FALSE(FileExists(platform, L""));
  EXPECT_FALSE(FolderExists(platform, L""));
  EXPECT_EQ(platform.fs.listLog.size(), listingsBefore);  // the empty path lists nothing

  EXPECT_TRUE(FolderExists(platform, L"C:\\Data\\file.txt"));
  EXPECT_FALSE(FileExists(platform, L"C:\\Data"));
  EXPECT_TRUE(FolderExists(platform, L"C:\\Data"));
  EXPECT_TRUE(FileExists(platform, L"C:\\Data\\*.txt"));
  EXPECT_FALSE(FileExists(platform, L"Q:\\file.txt"));
  EXPECT_FALSE(FileExists(platform, L"C:\\Da|ta"));  // a listing error counts as absent
  platform.fs.setListingError(L"C:\\Data");
  EXPECT_FALSE(FileExists(platform, L"C:\\Data\\file.txt"));
}

}  // namespace
}  // namespace fenn::test
