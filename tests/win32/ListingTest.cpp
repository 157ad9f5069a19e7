// The directory listing on the real file system: patterns, attribute sets, the one open listing,
// and which failures are "nothing there" and which are errors.
#include <gtest/gtest.h>

#include <algorithm>
#include <set>

#include "TestFolder.h"
#include "platform/win32/Win32Platform.h"

namespace fenn {
namespace {

using Names = std::multiset<std::wstring>;

class ListingTest : public ::testing::Test {
 protected:
  // root\ holds files and folders that the two attribute sets and "*." tell apart.
  void SetUp() override {
    root.addFile(L"README");
    root.addFile(L"a.txt", "a");
    root.addFile(L"readonly.txt", "r", FILE_ATTRIBUTE_READONLY);
    root.addFile(L"archived.dat", "x", FILE_ATTRIBUTE_ARCHIVE);
    root.addFile(L"hidden.txt", "h", FILE_ATTRIBUTE_HIDDEN);
    root.addFile(L"system.dat", "s", FILE_ATTRIBUTE_SYSTEM);
    root.addFile(L"톨바리네.txt", "k");
    root.addFolder(L"sub");
    root.addFolder(L"Tools.old");
    root.addFolder(L"k3main.exe");  // a folder named like a file
    root.addFolder(L"hiddendir", FILE_ATTRIBUTE_HIDDEN);
  }

  // Every name of one listing, to its end; fails the test on a listing error.
  Names listAll(const std::wstring& pattern, int attributes) {
    Names names;
    ListResult entry = platform.listFirst(pattern, attributes);
    while (!entry.failed && !entry.name.empty()) {
      names.insert(entry.name);
      entry = platform.listNext();
    }
    EXPECT_FALSE(entry.failed) << "listing of a readable folder failed";
    return names;
  }

  test::TestFolder root;
  Win32Platform platform;
};

TEST_F(ListingTest, AttributeSetsHideHiddenSystemAndFolderEntries) {
  EXPECT_EQ(listAll(root.path(), kListNormalFiles),
            (Names{L"README", L"a.txt", L"readonly.txt", L"archived.dat", L"톨바리네.txt"}));
  // Set 16 adds the folders, "." and "..", but still no hidden or system entry.
  EXPECT_EQ(listAll(root.path(), kListFilesAndFolders),
            (Names{L".", L"..", L"README", L"a.txt", L"readonly.txt", L"archived.dat",
                   L"톨바리네.txt", L"sub", L"Tools.old", L"k3main.exe"}));
  EXPECT_EQ(listAll(root / L"*", kListFilesAndFolders), listAll(root.path(), kListFilesAndFolders));
}

TEST_F(ListingTest, StarDotMatchesOnlyNamesWithoutExtension) {
  EXPECT_EQ(listAll(root / L"*.", kListFilesAndFolders), (Names{L".", L"..", L"README", L"sub"}));
  EXPECT_EQ(listAll(root / L"*.", kListNormalFiles), (Names{L"README"}));
}

TEST_F(ListingTest, ExactNamesAreTestedWithTheirAttributes) {
  EXPECT_EQ(platform.listFirst(root / L"a.txt", kListNormalFiles).name, L"a.txt");
  EXPECT_EQ(platform.listFirst(root / L"A.TXT", kListNormalFiles).name, L"a.txt");
  EXPECT_EQ(platform.listFirst(root / L"readonly.txt", kListNormalFiles).name, L"readonly.txt");
  EXPECT_EQ(platform.listFirst(root / L"톨바리네.txt", kListNormalFiles).name, L"톨바리네.txt");
  // A folder named like the file is no file; with set 16 it is listed.
  EXPECT_EQ(platform.listFirst(root / L"k3main.exe", kListNormalFiles).name, L"");
  EXPECT_EQ(platform.listFirst(root / L"k3main.exe", kListFilesAndFolders).name, L"k3main.exe");
  EXPECT_EQ(platform.listFirst(root / L"hidden.txt", kListNormalFiles).name, L"");
  EXPECT_EQ(platform.listFirst(root / L"hidden.txt", kListFilesAndFolders).name, L"");
  EXPECT_EQ(platform.listFirst(root / L"system.dat", kListNormalFiles).name, L"");
  EXPECT_EQ(platform.listFirst(root / L"hiddendir", kListFilesAndFolders).name, L"");
}

TEST_F(ListingTest, MissingEntriesAndFoldersGiveTheEmptyNameNotAnError) {
  for (const std::wstring& pattern :
       {root / L"nothing.here", root / L"missing\\*", root / L"missing\\", root / L"a\\b\\c.txt",
        root / L"README\\*", root / L"README\\", root / L"README\\*.", std::wstring()}) {
    ListResult result = platform.listFirst(pattern, kListFilesAndFolders);
    EXPECT_FALSE(result.failed) << "pattern " << testing::PrintToString(pattern);
    EXPECT_EQ(result.name, L"");
    EXPECT_EQ(platform.listNext().name, L"");
  }
}

TEST_F(ListingTest, MalformedAndOverlongPathsAreErrors) {
  EXPECT_TRUE(platform.listFirst(root / L"bad|name\\*", kListFilesAndFolders).failed);
  std::wstring deep = root.path();
  while (deep.size() < MAX_PATH + 10) deep += L"folder\\";
  EXPECT_TRUE(platform.listFirst(deep, kListFilesAndFolders).failed);
  EXPECT_TRUE(platform.listFirst(deep + L"k3main.exe", kListNormalFiles).failed);
}

TEST_F(ListingTest, StartingAListingEndsThePreviousOne) {
  root.addFile(L"sub\\only.txt");
  ListResult first = platform.listFirst(root.path(), kListFilesAndFolders);
  ASSERT_FALSE(first.name.empty());
  EXPECT_EQ(platform.listFirst(root / L"sub\\", kListNormalFiles).name, L"only.txt");
  // The next name comes from the new listing, which has no more.
  EXPECT_EQ(platform.listNext().name, L"");
  EXPECT_EQ(platform.listNext().name, L"");
}

TEST(ListingLinkTest, LinksAreMarkedAsSuch) {
  Win32Platform platform;
  // Laid out by the test launcher: a folder and a symbolic link to it.
  const std::wstring fixture = L"C:\\fenn-link-fixture\\";
  if (GetFileAttributesW((fixture + L"link").c_str()) == INVALID_FILE_ATTRIBUTES) {
    GTEST_SKIP() << "no link fixture: run the tests through run-platform-tests";
  }
  ListResult real = platform.listFirst(fixture + L"real", kListFilesAndFolders);
  EXPECT_EQ(real.name, L"real");
  EXPECT_FALSE(real.link);
  ListResult link = platform.listFirst(fixture + L"link", kListFilesAndFolders);
  EXPECT_EQ(link.name, L"link");
  EXPECT_TRUE(link.link);
  bool linkSeen = false;
  for (ListResult entry = platform.listFirst(fixture, kListFilesAndFolders); !entry.name.empty();
       entry = platform.listNext()) {
    if (entry.name == L"link") linkSeen = entry.link;
  }
  EXPECT_TRUE(linkSeen) << "listNext marks links too";
}

}  // namespace
}  // namespace fenn
