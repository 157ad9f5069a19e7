// FindOnFixedDrives / FindFileInTree: order across drives and siblings, what is skipped, what
// is descended into, and that the walk always ends.
#include "SetupWorld.h"

namespace fenn::test {
namespace {

class DriveSearchTest : public SetupTest {
 protected:
  DriveSearchTest() { ShowPanel(); }
  int SubfolderListingsOf(const std::wstring& folder) const {
    int count = 0;
    for (const auto& call : platform.fs.listLog) count += call.first == folder + L"*.";
    return count;
  }
};

TEST_F(DriveSearchTest, DrivesInLetterOrderAndNoTrailingBackslash) {
  platform.fs.addDrive(L'D', kDriveFixed);
  platform.fs.addFile(L"D:\\k3main.exe");
  platform.fs.addFile(L"C:\\Program Files\\Product\\k3main.exe");
  EXPECT_EQ(FindOnFixedDrives(), L"C:\\Program Files\\Product");
}

TEST_F(DriveSearchTest, DriveRootKeepsItsBackslash) {
  platform.fs.addDrive(L'D', kDriveFixed);
  platform.fs.addFile(L"D:\\k3main.exe");
  EXPECT_EQ(FindOnFixedDrives(), L"D:\\");
}

TEST_F(DriveSearchTest, OnlyFixedDrivesAreSearched) {
  platform.fs.addDrive(L'A', fake::kDriveRemovable);
  platform.fs.addDrive(L'E', fake::kDriveCdRom);
  platform.fs.addDrive(L'N', fake::kDriveRemote);
  for (const wchar_t* path : {L"A:\\k3main.exe", L"E:\\k3main.exe", L"N:\\k3main.exe"}) {
    platform.fs.addFile(path);
  }
  EXPECT_EQ(FindOnFixedDrives(), L"");
  for (const auto& call : platform.fs.listLog) EXPECT_EQ(call.first[0], L'C') << call.first;
}

TEST_F(DriveSearchTest, NoFixedDriveMeansNoWalkAndNoYield) {
  fake::FakePlatform bare;
  bare.fs.addDrive(L'A', fake::kDriveRemovable);
  frmPanel barePanel(bare);
  bare.createPanel(PanelFormDescription(), barePanel);
  bare.showPanel();
  std::vector<std::wstring> names;
  ProductLocator::FillProductFileNames(names);
  EXPECT_EQ(ProductLocator(bare, barePanel).FindOnFixedDrives(names), L"");
  EXPECT_EQ(bare.yields, 0);
  EXPECT_TRUE(bare.fs.listLog.empty());
}

TEST_F(DriveSearchTest, DepthFirstInListingOrder) {
  platform.fs.addFile(L"C:\\A\\B\\k3main.exe");
  platform.fs.addFile(L"C:\\Z\\k3main.exe");
  platform.fs.setListingOrder(L"C:\\", {L"A", L"Z"});
  EXPECT_EQ(FindOnFixedDrives(), L"C:\\A\\B");
  platform.fs.setListingOrder(L"C:\\", {L"Z", L"A"});
  EXPECT_EQ(FindOnFixedDrives(), L"C:\\Z");
}

TEST_F(DriveSearchTest, AFolderIsTestedBeforeItsSubfolders) {
  platform.fs.addFile(L"C:\\P\\Deeper\\k3main.exe");
  platform.fs.addFile(L"C:\\P\\k3main.exe");
  EXPECT_EQ(FindOnFixedDrives(), L"C:\\P");
}

TEST_F(DriveSearchTest, DottedFoldersAreNotSearched) {
  platform.fs.addFile(L"C:\\Tools.old\\k3main.exe");
  EXPECT_EQ(FindOnFixedDrives(), L"");
  EXPECT_EQ(SubfolderListingsOf(L"C:\\Tools.old\\"), 0);
}

TEST_F(DriveSearchTest, ExtensionlessFilesAreDescendedIntoHarmlessly) {
  platform.fs.addFile(L"C:\\README");
  platform.fs.addFile(L"C:\\Work\\k3main.exe");
  platform.fs.setListingOrder(L"C:\\", {L"README", L"Work"});
  EXPECT_EQ(FindOnFixedDrives(), L"C:\\Work");
  EXPECT_EQ(SubfolderListingsOf(L"C:\\README\\"), 1);
}

TEST_F(DriveSearchTest, DotEntriesAreNeverDescendedInto) {
  platform.fs.addFile(L"C:\\Outer\\Inner\\k3main.exe");
  platform.fs.setListingOrder(L"C:\\Outer", {L"..", L"Inner", L"."});
  EXPECT_EQ(FindOnFixedDrives(), L"C:\\Outer\\Inner");
  for (const auto& call : platform.fs.listLog) {
    EXPECT_EQ(call.first.find(L"\\.\\"), std::wstring::npos) << call.first;
    EXPECT_EQ(call.first.find(L"\\..\\"), std::wstring::npos) << call.first;
  }
}

TEST_F(DriveSearchTest, OnlyTheFirstProductFileIsLookedFor) {
  AddProduct(platform, L"C:\\Full");
  platform.fs.deleteFile(L"C:\\Full\\k3main.exe");
  EXPECT_EQ(FindOnFixedDrives(), L"");
}

TEST_F(DriveSearchTest, UnreadableFoldersAreSkipped) {
  platform.fs.addFile(L"C:\\Denied\\k3main.exe");
  platform.fs.addFile(L"C:\\Denied2\\Sub\\k3main.exe");
  platform.fs.addFile(L"C:\\Open\\k3main.exe");
  platform.fs.setListingOrder(L"C:\\", {L"Denied", L"Denied2", L"Open"});
  platform.fs.setListingError(L"C:\\Denied");
  platform.fs.setListingError(L"C:\\Denied2");
  EXPECT_EQ(FindOnFixedDrives(), L"C:\\Open");
}

TEST_F(DriveSearchTest, LinkCyclesEnd) {
  // A junction back to its own parent makes C:\Loop\Again\Again\... endless.
  platform.fs.addFolder(L"C:\\Loop");
  platform.fs.addLink(L"C:\\Loop\\Again", L"C:\\Loop");
  EXPECT_EQ(FindOnFixedDrives(), L"");
  EXPECT_LE(platform.fs.listLog.size(), 300u);
}

TEST_F(DriveSearchTest, LinksAreNotDescendedInto) {
  // Two junctions per level back to the parent: a depth bound alone would walk 2^64 folders.
  platform.fs.addFolder(L"C:\\Loop");
  platform.fs.addLink(L"C:\\Loop\\A", L"C:\\Loop");
  platform.fs.addLink(L"C:\\Loop\\B", L"C:\\Loop");
  // The product behind a junction is found under its real path, not through the link.
  platform.fs.addFile(L"C:\\Real\\k3main.exe");
  platform.fs.addLink(L"C:\\Alias", L"C:\\Real");
  platform.fs.setListingOrder(L"C:\\", {L"Loop", L"Alias", L"Real"});
  EXPECT_EQ(FindOnFixedDrives(), L"C:\\Real");
  EXPECT_LE(platform.fs.listLog.size(), 30u);
}

TEST_F(DriveSearchTest, YieldsBeforeEveryDescentAndAfterEveryDrive) {
  platform.fs.addDrive(L'D', kDriveFixed);
  platform.fs.addFolder(L"D:\\One");
  platform.fs.addFolder(L"D:\\Two");
  // C: has WINDOWS, WINDOWS\system32 and TEMP: three descents; D: two.
  EXPECT_EQ(FindOnFixedDrives(), L"");
  EXPECT_EQ(platform.yields, 1 + 3 + 1 + 2 + 1);
}

}  // namespace
}  // namespace fenn::test
