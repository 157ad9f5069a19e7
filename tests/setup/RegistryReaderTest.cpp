// ReadUserRegString: every outcome yields text or the empty text, and the key is closed exactly
// when it was opened.
#include "SetupWorld.h"

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

}  // namespace
}  // namespace fenn::test
