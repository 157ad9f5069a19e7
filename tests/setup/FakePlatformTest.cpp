// The fake's Windows semantics that the logic tests lean on. If these drift, the logic tests
// would pass against a machine that does not exist.
#include <gtest/gtest.h>

#include "FakePlatform.h"

namespace fenn::fake {
namespace {

std::vector<std::wstring> ListAll(FakePlatform& platform, const std::wstring& pattern,
                                  int attributes) {
  std::vector<std::wstring> names;
  for (ListResult entry = platform.listFirst(pattern, attributes); !entry.name.empty();
       entry = platform.listNext()) {
    names.push_back(entry.name);
  }
  return names;
}

class FakeListingTest : public ::testing::Test {
 protected:
  FakeListingTest() {
    platform.fs.addDrive(L'C', kDriveFixed);
    platform.fs.addFolder(L"C:\\Data\\Sub");
    platform.fs.addFolder(L"C:\\Data\\Tools.old");
    platform.fs.addFile(L"C:\\Data\\README");
    platform.fs.addFile(L"C:\\Data\\Setup.EXE");
    platform.fs.addFile(L"C:\\Data\\hidden.dat", "", kAttrHidden);
    platform.fs.addFile(L"C:\\Data\\locked.dat", "", kAttrReadOnly);
  }
  FakePlatform platform;
};

TEST_F(FakeListingTest, AttributeSetsAndExtensionlessPattern) {
  EXPECT_EQ(ListAll(platform, L"C:\\Data\\*", 0),
            (std::vector<std::wstring>{L"README", L"Setup.EXE", L"locked.dat"}));
  EXPECT_EQ(ListAll(platform, L"C:\\Data\\*.", 16),
            (std::vector<std::wstring>{L".", L"..", L"Sub", L"README"}));
  // A trailing "\" lists the folder's own entries.
  EXPECT_EQ(ListAll(platform, L"C:\\Data\\", 16).size(), 7u);
  // The drive root has no "." and "..".
  EXPECT_EQ(ListAll(platform, L"C:\\*.", 16), (std::vector<std::wstring>{L"Data"}));
}

TEST_F(FakeListingTest, NamesMatchWithoutRegardToCaseAndKeepTheirSpelling) {
  EXPECT_EQ(platform.listFirst(L"c:\\data\\setup.exe", 0).name, L"Setup.EXE");
  EXPECT_EQ(platform.listFirst(L"C:\\Data\\S?tup.*", 0).name, L"Setup.EXE");
  EXPECT_EQ(platform.listFirst(L"C:\\Data\\Sub", 0).name, L"");  // a folder is no normal file
  EXPECT_EQ(platform.listFirst(L"C:\\Data\\Sub", 16).name, L"Sub");
}

TEST_F(FakeListingTest, MissingFoldersAreEmptyButErrorsFail) {
  const ListResult missing = platform.listFirst(L"C:\\Nowhere\\x.exe", 0);
  EXPECT_FALSE(missing.failed);
  EXPECT_EQ(missing.name, L"");
  EXPECT_TRUE(platform.listFirst(L"Q:\\x.exe", 0).failed);
  EXPECT_TRUE(platform.listFirst(L"C:\\Da|ta\\x", 0).failed);
  platform.fs.setListingError(L"C:\\Data");
  EXPECT_TRUE(platform.listFirst(L"C:\\Data\\*", 16).failed);
}

TEST_F(FakeListingTest, OnlyOneListingIsOpen) {
  EXPECT_EQ(platform.listFirst(L"C:\\Data\\*", 0).name, L"README");
  EXPECT_EQ(platform.listFirst(L"C:\\*", 16).name, L"Data");
  EXPECT_EQ(platform.listNext().name, L"");
}

TEST(FakePlatformTest, ModulesHoldTheirFileUntilTheLastReferenceGoes) {
  FakePlatform platform;
  platform.fs.addDrive(L'C', kDriveFixed);
  platform.fs.addFile(L"C:\\lib.dll", "MZ");
  const ModuleHandle first = platform.loadLibrary(L"C:\\lib.dll");
  EXPECT_EQ(platform.loadLibrary(L"c:\\LIB.dll"), first);
  platform.freeLibrary(first);
  EXPECT_FALSE(platform.deleteFile(L"C:\\lib.dll"));
  platform.freeLibrary(first);
  EXPECT_TRUE(platform.deleteFile(L"C:\\lib.dll"));
  platform.freeLibrary(first);
  EXPECT_EQ(platform.badFrees, 1);
  EXPECT_EQ(platform.loadLibrary(L"lib.dll"), 0u);  // only full paths
}

TEST(FakePlatformTest, TempFileNamesAndAnsiText) {
  FakePlatform platform;
  platform.fs.addDrive(L'C', kDriveFixed);
  platform.fs.addFolder(L"C:\\TEMP");
  const std::wstring path = platform.createTempFile(L"C:\\TEMP\\", L"~ocx");
  EXPECT_EQ(path.rfind(L"C:\\TEMP\\~oc", 0), 0u);
  EXPECT_EQ(path.substr(path.size() - 4), L".TMP");
  EXPECT_TRUE(platform.fs.exists(path));
  EXPECT_EQ(platform.toAnsi(L"톨바리네").size(), 8u);
  EXPECT_EQ(platform.fromAnsi(platform.toAnsi(L"C:\\톨바리네 2000")), L"C:\\톨바리네 2000");
}

}  // namespace
}  // namespace fenn::fake
