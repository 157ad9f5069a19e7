// File operations, kernel32 queries, resources of this test program and the call into a real
// codec library.
#include <gtest/gtest.h>

#include <string>

#include "TestFolder.h"
#include "complib.h"
#include "platform/win32/Win32Platform.h"

namespace fenn {
namespace {

std::vector<uint8_t> bytesOf(const std::string& text) {
  return std::vector<uint8_t>(text.begin(), text.end());
}

std::vector<uint8_t> contentOf(const std::wstring& path) {
  bool ok = false;
  std::vector<uint8_t> bytes = test::readFile(path, ok);
  EXPECT_TRUE(ok) << "cannot read a file the test expects";
  return bytes;
}

TEST(FilesTest, WriteBytesCreatesOrEmptiesAndWritesExactly) {
  test::TestFolder folder;
  Win32Platform platform;
  std::vector<uint8_t> payload = {0x78, 0xDA, 0x00, 0x01, 0xFF, 0x00};
  EXPECT_TRUE(platform.writeBytes(folder / L"new.bin", payload));
  EXPECT_EQ(contentOf(folder / L"new.bin"), payload);

  std::wstring longer = folder.addFile(L"longer.bin", std::string(5000, 'z'));
  EXPECT_TRUE(platform.writeBytes(longer, bytesOf("abc")));
  EXPECT_EQ(contentOf(longer), bytesOf("abc"));

  EXPECT_TRUE(platform.writeBytes(folder / L"empty.bin", {}));
  EXPECT_TRUE(contentOf(folder / L"empty.bin").empty());

  EXPECT_FALSE(platform.writeBytes(folder / L"missing\\x.bin", payload));
  EXPECT_FALSE(platform.writeBytes(folder.path(), payload));  // a folder, not a file
}

TEST(FilesTest, RenameMovesAcrossFoldersButNeverReplaces) {
  test::TestFolder folder;
  Win32Platform platform;
  folder.addFolder(L"target");
  std::wstring source = folder.addFile(L"~oc1.TMP.bin", "payload");
  std::wstring target = folder / L"target\\K3Fenn.exe";
  EXPECT_TRUE(platform.renameFile(source, target));
  EXPECT_FALSE(test::fileExists(source));
  EXPECT_EQ(contentOf(target), bytesOf("payload"));

  std::wstring second = folder.addFile(L"second.bin", "other");
  EXPECT_FALSE(platform.renameFile(second, target));
  EXPECT_EQ(contentOf(target), bytesOf("payload"));
  EXPECT_EQ(contentOf(second), bytesOf("other"));

  EXPECT_FALSE(platform.renameFile(folder / L"absent.bin", folder / L"target\\x.bin"));
}

TEST(FilesTest, DeleteReportsWhetherTheFileWentAway) {
  test::TestFolder folder;
  Win32Platform platform;
  std::wstring file = folder.addFile(L"doomed.txt", "x");
  EXPECT_TRUE(platform.deleteFile(file));
  EXPECT_FALSE(test::fileExists(file));
  EXPECT_FALSE(platform.deleteFile(file));
  std::wstring locked = folder.addFile(L"readonly.txt", "x", FILE_ATTRIBUTE_READONLY);
  EXPECT_FALSE(platform.deleteFile(locked));
  EXPECT_TRUE(test::fileExists(locked));
}

TEST(SystemTest, TempFileNamesAreNewEmptyFilesWithPrefixAndTmpExtension) {
  Win32Platform platform;
  std::wstring temp = platform.tempPath();
  ASSERT_FALSE(temp.empty());
  EXPECT_EQ(temp.back(), L'\\');
  test::TestFolder folder;
  std::wstring first = platform.createTempFile(folder.path(), L"~oc");
  std::wstring second = platform.createTempFile(folder.path(), L"~oc");
  EXPECT_NE(first, second);
  for (const std::wstring& path : {first, second}) {
    EXPECT_EQ(path.rfind(folder.path() + L"~oc", 0), 0u)
        << "name: " << testing::PrintToString(path);
    // The extension is TMP; its letter case is the system's choice.
    std::wstring extension = path.substr(path.size() - 4);
    CharUpperW(&extension[0]);
    EXPECT_EQ(extension, L".TMP");
    EXPECT_TRUE(test::fileExists(path));
    EXPECT_TRUE(contentOf(path).empty());
  }
  EXPECT_EQ(platform.createTempFile(folder / L"missing\\", L"~oc"), L"");
}

TEST(SystemTest, SystemDirectoryAndDriveTypes) {
  Win32Platform platform;
  std::wstring system = platform.systemDirectory();
  DWORD attributes = GetFileAttributesW(system.c_str());
  ASSERT_NE(attributes, INVALID_FILE_ATTRIBUTES);
  EXPECT_TRUE(attributes & FILE_ATTRIBUTE_DIRECTORY);

  uint32_t drives = platform.logicalDrives();
  EXPECT_TRUE(drives & (1u << 2)) << "drive C: exists";
  EXPECT_EQ(platform.driveType(L"C:\\"), kDriveFixed);
  for (int number = 0; number < 26; ++number) {
    std::wstring root = std::wstring(1, static_cast<wchar_t>(L'A' + number)) + L":\\";
    bool exists = (drives >> number) & 1;
    // DRIVE_NO_ROOT_DIR (1) exactly for the letters the mask leaves out.
    EXPECT_EQ(platform.driveType(root) == DRIVE_NO_ROOT_DIR, !exists) << "drive " << number;
  }
}

TEST(ResourcesTest, KoreanStringsAndCustomDataOfThisProgram) {
  Win32Platform platform;
  EXPECT_EQ(platform.loadResourceString(101), L"CompLib.dll");
  EXPECT_EQ(platform.loadResourceString(102), L"톨바리네 2000");
  EXPECT_EQ(platform.loadResourceString(103), std::nullopt);  // no entry in an existing bundle
  EXPECT_EQ(platform.loadResourceString(200), std::nullopt);  // no bundle at all
  EXPECT_EQ(platform.loadResourceString(120), std::nullopt);  // English only: not in the catalogue

  EXPECT_EQ(platform.loadResourceData(101), bytesOf("FENN\x01\x02\x03"));  // no padding added
  EXPECT_EQ(platform.loadResourceData(102), std::nullopt);
}

TEST(ProgramTest, StartsTheProgramWithItsQuotedPathAsTheWholeCommandLine) {
  test::TestFolder folder;
  Win32Platform platform;
  std::wstring updater = folder / L"톨바리네 K3Fenn.exe";
  ASSERT_TRUE(test::writeEmbeddedFile(test::kEmbeddedStandinUpdater, updater));
  ASSERT_TRUE(platform.startProgram(updater));

  std::wstring marker = folder / L"K3Fenn.started";
  for (int wait = 0; wait < 200 && !test::fileExists(marker); ++wait) Sleep(50);
  std::vector<uint8_t> written = contentOf(marker);
  std::string commandLine(written.begin(), written.end());
  int length = WideCharToMultiByte(CP_UTF8, 0, updater.c_str(), -1, nullptr, 0, nullptr, nullptr);
  std::string utf8Path(length - 1, '\0');
  WideCharToMultiByte(CP_UTF8, 0, updater.c_str(), -1, &utf8Path[0], length, nullptr, nullptr);
  EXPECT_EQ(commandLine, "\"" + utf8Path + "\"\r\n");

  // Close the stand-in so its file can be removed with the folder.
  for (int wait = 0; wait < 100; ++wait) {
    if (HWND window = FindWindowW(L"K3FennStandin", nullptr)) PostMessageW(window, WM_CLOSE, 0, 0);
    if (DeleteFileW(updater.c_str())) break;
    Sleep(50);
  }

  EXPECT_FALSE(platform.startProgram(folder / L"absent.exe"));
}

class CodecCallTest : public ::testing::Test {
 protected:
  void SetUp() override {
    library = folder / L"CompVLib.DLL";
    ASSERT_TRUE(test::writeEmbeddedFile(test::kEmbeddedCodecLibrary, library));
    module = platform.loadLibrary(library);
    ASSERT_NE(module, 0u);
  }
  void TearDown() override { platform.freeLibrary(module); }

  test::TestFolder folder;
  Win32Platform platform;
  std::wstring library;
  ModuleHandle module = 0;
};

TEST_F(CodecCallTest, DecompressesThroughTheModuleLoadedByFullPath) {
  auto compress = reinterpret_cast<Comp2VXFormatFileFn>(reinterpret_cast<void*>(
      GetProcAddress(reinterpret_cast<HMODULE>(module), "Comp2VXFormatFile")));
  ASSERT_NE(compress, nullptr);
  std::string content(100000, '\0');
  for (size_t i = 0; i < content.size(); ++i) content[i] = static_cast<char>(i * 7 % 251);
  std::wstring normal = folder.addFile(L"원본.bin", content);
  std::string source = platform.toAnsi(normal);
  std::string packed = platform.toAnsi(folder / L"packed.vx");
  ASSERT_EQ(compress(source.c_str(), packed.c_str(), 9), 0);

  EXPECT_EQ(platform.callDecompress(module, folder / L"packed.vx", folder / L"복원.bin"), 0);
  EXPECT_EQ(contentOf(folder / L"복원.bin"), bytesOf(content));

  const std::optional<int32_t> absent =
      platform.callDecompress(module, folder / L"absent.vx", folder / L"out.bin");
  ASSERT_TRUE(absent.has_value());
  EXPECT_NE(*absent, 0);
}

TEST_F(CodecCallTest, UnreachableFunctionIsReportedNotCalled) {
  EXPECT_EQ(platform.callDecompress(0, L"a", L"b"), std::nullopt);
  ModuleHandle kernel = reinterpret_cast<ModuleHandle>(GetModuleHandleW(L"kernel32.dll"));
  EXPECT_EQ(platform.callDecompress(kernel, L"a", L"b"), std::nullopt);
  EXPECT_EQ(platform.loadLibrary(folder / L"absent.dll"), 0u);
}

}  // namespace
}  // namespace fenn
