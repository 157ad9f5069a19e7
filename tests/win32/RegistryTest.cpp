// Registry reads through the narrow functions, as the registry reader uses them: a size probe with
// a declared size of 0, then a read sized by the probe. The values are written by the test itself
// under a key of its own in HKEY_CURRENT_USER, removed afterwards.
#include <gtest/gtest.h>

#include <string>

#include "platform/win32/Win32Platform.h"

namespace fenn {
namespace {

class RegistryTest : public ::testing::Test {
 protected:
  void SetUp() override {
    keyPath = L"Software\\FennTest\\Platform" + std::to_wstring(GetTickCount());
    ASSERT_EQ(RegCreateKeyExW(HKEY_CURRENT_USER, keyPath.c_str(), 0, nullptr, 0, KEY_ALL_ACCESS,
                              nullptr, &writable, nullptr),
              ERROR_SUCCESS);
  }
  void TearDown() override {
    if (key) platform.closeKey(key);
    RegCloseKey(writable);
    RegDeleteTreeW(HKEY_CURRENT_USER, L"Software\\FennTest");
  }

  void setWide(const wchar_t* name, DWORD type, const std::wstring& data) {
    ASSERT_EQ(RegSetValueExW(writable, name, 0, type, reinterpret_cast<const BYTE*>(data.data()),
                             static_cast<DWORD>(data.size() * sizeof(wchar_t))),
              ERROR_SUCCESS);
  }
  void setNarrow(const char* name, DWORD type, const std::string& data) {
    ASSERT_EQ(RegSetValueExA(writable, name, 0, type, reinterpret_cast<const BYTE*>(data.data()),
                             static_cast<DWORD>(data.size())),
              ERROR_SUCCESS);
  }

  void open() {
    key = platform.openUserKey(keyPath);
    ASSERT_NE(key, 0u);
  }

  // The probe: a buffer of 0 bytes. Returns the answer; `size` gets the size the value needs.
  long probe(const std::wstring& value, uint32_t& size) {
    RegRead answer = platform.queryValue(key, value, 0);
    EXPECT_TRUE(answer.data.empty()) << "the probe wrote into the buffer";
    size = answer.size;
    return answer.status;
  }

  // The read: a buffer of exactly `size` bytes.
  std::string read(const std::wstring& value, uint32_t size) {
    RegRead answer = platform.queryValue(key, value, size);
    EXPECT_EQ(answer.status, kErrorSuccess);
    EXPECT_EQ(answer.data.size(), size);
    return answer.data;
  }

  Win32Platform platform;
  std::wstring keyPath;
  HKEY writable = nullptr;
  RegKey key = 0;
};

TEST_F(RegistryTest, MissingKeyIsNotOpened) {
  EXPECT_EQ(platform.openUserKey(keyPath + L"\\absent"), 0u);
}

TEST_F(RegistryTest, ProbeReportsTheSizeAndReadReturnsTheText) {
  setWide(L"ApplicationPath", REG_SZ, std::wstring(L"C:\\Apps\\Product") + L'\0');
  open();
  uint32_t size = 0;
  EXPECT_EQ(probe(L"ApplicationPath", size), kErrorMoreData);
  EXPECT_EQ(size, 16u);  // 15 characters and the terminator
  EXPECT_EQ(read(L"ApplicationPath", size), std::string("C:\\Apps\\Product") + '\0');
}

TEST_F(RegistryTest, HangulIsCountedAndReturnedInTheKoreanCodePage) {
  ASSERT_EQ(GetACP(), 949u) << "the Wine test run uses a Korean locale";
  setWide(L"ApplicationPath", REG_SZ, std::wstring(L"C:\\톨바리네 2000") + L'\0');
  open();
  uint32_t size = 0;
  EXPECT_EQ(probe(L"ApplicationPath", size), kErrorMoreData);
  EXPECT_EQ(size, 3u + 4 * 2 + 5 + 1);  // four syllables of two bytes each
  std::string data = read(L"ApplicationPath", size);
  EXPECT_EQ(platform.fromAnsi(data.substr(0, data.find('\0'))), L"C:\\톨바리네 2000");
}

TEST_F(RegistryTest, ValueShapesComeBackByteForByte) {
  setNarrow("NoTerminator", REG_SZ, "C:\\Apps");
  setNarrow("List", REG_MULTI_SZ, std::string("C:\\One\0C:\\Two\0\0", 16));
  std::string longText(1500, 'x');
  setNarrow("Long", REG_SZ, longText + '\0');
  setNarrow("Empty", REG_BINARY, "");
  open();

  uint32_t size = 0;
  // Stored without a terminator: the whole text comes back (a system may add the NUL).
  EXPECT_EQ(probe(L"NoTerminator", size), kErrorMoreData);
  std::string unterminated = read(L"NoTerminator", size);
  EXPECT_EQ(unterminated.substr(0, unterminated.find('\0')), "C:\\Apps");

  EXPECT_EQ(probe(L"List", size), kErrorMoreData);
  EXPECT_EQ(read(L"List", size), std::string("C:\\One\0C:\\Two\0\0", 16));

  EXPECT_EQ(probe(L"Long", size), kErrorMoreData);
  EXPECT_EQ(size, 1501u);
  EXPECT_EQ(read(L"Long", size), longText + '\0');

  // No data: the probe succeeds with size 0.
  EXPECT_EQ(probe(L"Empty", size), kErrorSuccess);
  EXPECT_EQ(size, 0u);
}

TEST_F(RegistryTest, MissingValueFailsAndLeavesTheSizeAtZero) {
  open();
  uint32_t size = 0;
  long answer = probe(L"ApplicationPath", size);
  EXPECT_NE(answer, kErrorSuccess);
  EXPECT_NE(answer, kErrorMoreData);
  EXPECT_EQ(size, 0u);
}

TEST_F(RegistryTest, TooSmallABufferGetsNothingAndTheNeededSize) {
  setNarrow("ApplicationPath", REG_SZ, std::string(64, 'y') + '\0');
  open();
  RegRead answer = platform.queryValue(key, L"ApplicationPath", 8);
  EXPECT_EQ(answer.status, kErrorMoreData);
  EXPECT_EQ(answer.data.size(), 8u);
  EXPECT_EQ(answer.size, 65u);
}

}  // namespace
}  // namespace fenn
