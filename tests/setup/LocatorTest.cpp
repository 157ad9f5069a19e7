// LocateProduct: its three sources, their precedence, the one-"\" trim and the verification.
#include "SetupWorld.h"
#include "locator/PlainFolderPath.h"

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

TEST_F(LocatorTest, On64BitWindowsTheFolderFor32BitProgramsComesRightAfterTheDefault) {
  // Where a 32-bit installer puts the product; a planted "C:\\0" and the user's value are never
  // consulted, and the folder is as final as the default one.
  const std::wstring programs32 = L"C:\\Program Files (x86)\\톨바리네 2000";
  AddProduct(platform, L"C:\\0");
  AddProduct(platform, L"C:\\Elsewhere");
  RegisterFolder(L"C:\\Elsewhere");
  AddProduct(platform, programs32);
  EXPECT_TRUE(locator.LocateProduct(folder));
  EXPECT_EQ(folder, programs32);
  EXPECT_EQ(platform.registry.opens, 0);
  EXPECT_FALSE(DriveSearchRan());

  platform.fs.deleteFile(Join(programs32, L"K3rep.dat"));
  EXPECT_FALSE(locator.LocateProduct(folder));
  EXPECT_EQ(folder, programs32);
  EXPECT_EQ(platform.registry.opens, 0);
  EXPECT_FALSE(DriveSearchRan());
}

TEST_F(LocatorTest, On32BitWindowsTheTwoFoldersAreOneAndTheRegistryComesNext) {
  // "C:\\Program Files" is the folder for 32-bit programs there; a system that cannot name the
  // folder behaves the same.
  for (const wchar_t* programs32 : {L"C:\\Program Files", L"c:\\program files", L""}) {
    fake::KoreanMachine machine;
    machine.programFilesX86 = programs32;
    machine.fs.addFolder(L"C:\\Program Files");
    AddProduct(machine, L"C:\\Elsewhere");
    machine.registry.setValue(kRegistryKey, L"ApplicationPath",
                              std::string("C:\\Elsewhere") + '\0');
    ProductLocator locator(machine, panel);
    EXPECT_TRUE(locator.LocateProduct(folder));
    EXPECT_EQ(folder, L"C:\\Elsewhere");
    int defaultListings = 0;
    for (const auto& call : machine.fs.listLog) {
      if (fake::SameName(call.first, kDefaultFolder)) ++defaultListings;
    }
    EXPECT_EQ(defaultListings, 1) << "the default folder was tested twice";
  }
}

TEST_F(LocatorTest, ARegistryValueThatIsNoPlainFolderPathCountsAsAbsent) {
  // The drive search runs, as without a value, and finds the product.
  platform.fs.addFile(L"C:\\Data\\file.txt");
  platform.fs.addFolder(L"C:\\Games\\T");
  AddProduct(platform, L"C:\\Games\\Tolvarine");
  // clang-format off
  const wchar_t* values[] = {
      L"C:\\Data\\file.txt", L"NUL", L"C:\\Games\\*", L"C:\\Games\\Tol?arine", L"C:\\Games\\T. .",
      L"C:\\Games\\..\\Games\\Tolvarine", L"\\\\?\\C:\\Games\\Tolvarine",
      L"\\\\.\\C:\\Games\\Tolvarine", L"\\\\server\\share\\Tolvarine", L"C:Games\\Tolvarine",
      L"C:/Games/Tolvarine", L"C:\\Games\\NUL.txt", L"C:\\Games\\Tolvarine:stream",
      L"C:\\Games\\Tol<arine", L"C:\\Games\\\\Tolvarine"};
  // clang-format on
  for (const wchar_t* value : values) {
    fake::KoreanMachine machine;
    machine.fs = platform.fs;
    machine.registry.setValue(kRegistryKey, L"ApplicationPath", fake::ToCp949(value) + '\0');
    ProductLocator locator(machine, panel);
    EXPECT_TRUE(locator.LocateProduct(folder)) << fake::ToCp949(value);
    EXPECT_EQ(folder, L"C:\\Games\\Tolvarine") << fake::ToCp949(value);
    EXPECT_EQ(machine.registry.opens, 1);
  }
  EXPECT_TRUE(IsPlainFolderPath(L"C:\\"));
  EXPECT_TRUE(IsPlainFolderPath(L"d:\\게임\\톨바리네 2000\\"));
  EXPECT_TRUE(IsPlainFolderPath(L"C:\\.hidden\\con2\\NULL\\a b"));
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
  // No folder is no product: the six names are not looked for at the root of the current drive,
  // where a removable drive's files would otherwise be taken for it.
  EXPECT_FALSE(locator.LocateProduct(folder));
  EXPECT_EQ(folder, L"");
  for (const auto& call : platform.fs.listLog) EXPECT_NE(call.first.substr(0, 1), L"\\");
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
