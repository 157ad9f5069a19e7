// ReadUserRegString: every outcome yields text or the empty text, and the key is closed exactly
// when it was opened.
#include "SetupWorld.h"
#include "platform/PendingRenames.h"

namespace fenn::test {
namespace {

constexpr wchar_t kKey[] = L"SOFTWARE\\Valto Corp.";
constexpr wchar_t kValue[] = L"ApplicationPath";

class RegistryReaderTest : public SetupTest {
 protected:
  void Store(const std::string& bytes) { platform.registry.setValue(kKey, kValue, bytes); }
  std::wstring Read() { return ReadUserRegString(platform, kKey, kValue); }
  void ExpectClosedOnce() {
    EXPECT_EQ(platform.registry.closes, 1);
    EXPECT_EQ(platform.registry.openHandles(), 0u);
  }
};

TEST_F(RegistryReaderTest, AbsentKeyIsNotClosed) {
  EXPECT_EQ(Read(), L"");
  EXPECT_EQ(platform.registry.opens, 1);
  EXPECT_EQ(platform.registry.closes, 0);
}

TEST_F(RegistryReaderTest, AbsentEmptyOrRefusedValueIsEmptyText) {
  platform.registry.addKey(kKey);
  EXPECT_EQ(Read(), L"");
  ExpectClosedOnce();

  Store("");
  EXPECT_EQ(Read(), L"");
  EXPECT_EQ(platform.registry.closes, 2);

  Store(std::string("C:\\X") + '\0');
  platform.registry.refuseQueries(kKey);
  EXPECT_EQ(Read(), L"");
  EXPECT_EQ(platform.registry.openHandles(), 0u);
}

TEST_F(RegistryReaderTest, TextValueWithAndWithoutTerminator) {
  Store(std::string("C:\\Apps\\Product") + '\0');
  EXPECT_EQ(Read(), L"C:\\Apps\\Product");
  ExpectClosedOnce();
  Store("C:\\NoTerminator");
  EXPECT_EQ(Read(), L"C:\\NoTerminator");
}

TEST_F(RegistryReaderTest, MultiStringGivesItsFirstText) {
  Store(std::string("C:\\First\0C:\\Second\0\0", 20));
  EXPECT_EQ(Read(), L"C:\\First");
}

TEST_F(RegistryReaderTest, HangulIsSizedInNarrowBytes) {
  const std::wstring folder = L"D:\\게임\\톨바리네 2000";
  const std::string narrow = fake::ToCp949(folder) + '\0';
  ASSERT_GT(narrow.size(), folder.size() + 1);
  Store(narrow);
  EXPECT_EQ(Read(), folder);
}

TEST_F(RegistryReaderTest, LongValuesAreReadInFull) {
  const std::string longPath = "C:\\" + std::string(3000, 'x');
  Store(longPath + '\0');
  EXPECT_EQ(Read(), std::wstring(longPath.begin(), longPath.end()));
}

// The system's list of deletions at restart, as the registry holds it (UTF-16 text).
std::vector<uint8_t> Utf16(const std::wstring& text) {
  std::vector<uint8_t> bytes;
  for (wchar_t c : text) {
    bytes.push_back(static_cast<uint8_t>(c & 0xff));
    bytes.push_back(static_cast<uint8_t>((c >> 8) & 0xff));
  }
  return bytes;
}

TEST(PendingRenamesTest, EmptyPairsAreSkippedAndAPairComesOffByteForByte) {
  const std::wstring before = std::wstring(L"\\??\\C:\\A.tmp\0\0\0\0", 16);
  const std::wstring own = std::wstring(L"\\??\\C:\\W\\CompVLib.DLL\0\0", 23);
  const std::wstring after = std::wstring(L"\\??\\C:\\old\0\\??\\C:\\new\0D:\\x\0\0\0", 29);
  std::vector<uint8_t> value = Utf16(before + own + after);
  value.push_back(0x7f);  // an odd last byte is nobody's character, and it stays
  const std::vector<PendingRename> pairs = ReadPendingRenames(value);
  ASSERT_EQ(pairs.size(), 4u);
  EXPECT_EQ(pairs[0].file, L"C:\\A.tmp");
  EXPECT_TRUE(pairs[0].deletes);
  // Behind the empty pair: it no longer ends the list.
  EXPECT_EQ(pairs[1].file, L"C:\\W\\CompVLib.DLL");
  EXPECT_TRUE(pairs[1].deletes);
  EXPECT_EQ(pairs[2].file, L"C:\\old");
  EXPECT_FALSE(pairs[2].deletes);
  EXPECT_EQ(pairs[3].file, L"D:\\x");

  std::vector<uint8_t> rest = Utf16(before + after);
  rest.push_back(0x7f);
  EXPECT_EQ(WithoutPair(value, pairs[1]), rest);
  EXPECT_FALSE(HoldsOnlyTerminators(rest));
  // The setup's entry alone, with or without the list's last NUL: nothing is left.
  for (const std::wstring& alone : {own, own + L'\0'}) {
    const std::vector<uint8_t> list = Utf16(alone);
    ASSERT_EQ(ReadPendingRenames(list).size(), 1u);
    EXPECT_TRUE(HoldsOnlyTerminators(WithoutPair(list, ReadPendingRenames(list)[0])));
  }
  // A last name without its partner is no pair.
  EXPECT_TRUE(ReadPendingRenames(Utf16(std::wstring(L"\\??\\C:\\lone", 11))).empty());
}

}  // namespace
}  // namespace fenn::test
