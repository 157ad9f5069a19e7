// ReadUserRegString: every outcome yields text or the empty text, and the key is closed exactly
// when it was opened.
#include "SetupWorld.h"

namespace fenn::test {
namespace {

constexpr wchar_t kKey[] = L"SOFTWARE\\Valto Corp.";
constexpr wchar_t kValue[] = L"ApplicationPath";

class RegistryReaderTest : public SetupTest {
 protected:
  void Store(uint32_t type, const std::string& bytes) {
    platform.registry.setValue(kKey, kValue, type, bytes);
  }
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

  Store(fake::kRegSz, "");
  EXPECT_EQ(Read(), L"");
  EXPECT_EQ(platform.registry.closes, 2);

  Store(fake::kRegSz, std::string("C:\\X") + '\0');
  platform.registry.refuseQueries(kKey);
  EXPECT_EQ(Read(), L"");
  EXPECT_EQ(platform.registry.openHandles(), 0u);
}

TEST_F(RegistryReaderTest, TextValueWithAndWithoutTerminator) {
  Store(fake::kRegSz, std::string("C:\\Apps\\Product") + '\0');
  EXPECT_EQ(Read(), L"C:\\Apps\\Product");
  ExpectClosedOnce();
  Store(fake::kRegBinary, "C:\\NoTerminator");
  EXPECT_EQ(Read(), L"C:\\NoTerminator");
}

TEST_F(RegistryReaderTest, MultiStringGivesItsFirstText) {
  Store(fake::kRegMultiSz, std::string("C:\\First\0C:\\Second\0\0", 20));
  EXPECT_EQ(Read(), L"C:\\First");
}

TEST_F(RegistryReaderTest, HangulIsSizedInNarrowBytes) {
  const std::wstring folder = L"D:\\게임\\톨바리네 2000";
  const std::string narrow = fake::ToCp949(folder) + '\0';
  ASSERT_GT(narrow.size(), folder.size() + 1);
  Store(fake::kRegSz, narrow);
  EXPECT_EQ(Read(), folder);
}

TEST_F(RegistryReaderTest, LongValuesAreReadInFull) {
  const std::string longPath = "C:\\" + std::string(3000, 'x');
  Store(fake::kRegSz, longPath + '\0');
  EXPECT_EQ(Read(), std::wstring(longPath.begin(), longPath.end()));
}

}  // namespace
}  // namespace fenn::test
