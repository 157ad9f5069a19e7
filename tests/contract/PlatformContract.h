// The platform contract the setup logic relies on, written once and run on both platforms:
// natively on FakePlatform (tests/setup) and under Wine on Win32Platform (tests/win32). If the
// fake drifts away from the real system, this suite fails on one of them.
//
// Include it once per test program, after naming the machines to run it on:
//   using ContractMachines = ::testing::Types<FakeContractMachine>;
// A machine gives a Platform and builds what each case needs on it:
//   Platform& platform();
//   std::wstring root;   // an empty scratch folder, ending in "\"
//   void addFile(relative, content, attributes);   // attributes as Windows has them
//   void addFolder(relative, attributes);
//   void setValue(const char* name, uint32_t type, const std::string& bytes);  // in userKey
//   void storeText(const char* name, uint32_t type, const std::wstring& text);  // as wide text
//   std::wstring userKey;  // a key under HKEY_CURRENT_USER made for the case
//   std::wstring addLibrary(relative);  // writes a library that loads
//   std::string ansi(text);              // text in the Korean code page (949)
//   std::vector<uint8_t> read(path);     // a file's bytes
//   std::wstring otherVolume;  // an empty scratch folder on another volume than root, ending in
//                              // "\"; empty when the machine has no second volume
//   std::unique_ptr<Platform> anotherProcess();  // a second process on the same machine
//   void addForeignRestartWork();  // another program's entries in the system's list of work
//                                  // at the next start: a rename, then an empty pair
//   std::vector<uint8_t> restartList();  // that list's bytes, as stored
//   void describeAccess(relative, Grantee, rights);  // the security the desktop-user judgement
//                                                    // sees on that entry, built in memory
//   void squatSetupRunNames();  // objects another user made under the names a setup may use
//   static const char* name();
// and carries the resources of the test programs: strings 101 "CompLib.dll" and 102
// "톨바리네 2000" and "CUSTOM" 101 (7 bytes) in Korean, string 120 in English only.
#pragma once

#include <gtest/gtest.h>

#include <cwctype>
#include <memory>
#include <set>
#include <string>
#include <vector>

#include "Grantee.h"
#include "platform/Platform.h"
#include "setup/FormDescription.h"

namespace fenn::contract {

constexpr uint32_t kReadOnly = 0x01;
constexpr uint32_t kHidden = 0x02;
constexpr uint32_t kSystem = 0x04;
constexpr uint32_t kArchive = 0x20;
constexpr uint32_t kRegSz = 1;
constexpr uint32_t kRegExpandSz = 2;
constexpr uint32_t kRegBinary = 3;
constexpr uint32_t kRegDword = 4;
constexpr uint32_t kRegMultiSz = 7;
constexpr uint32_t kDriveNoRootDir = 1;

using Names = std::multiset<std::wstring>;

inline std::vector<uint8_t> Bytes(const std::string& text) {
  return std::vector<uint8_t>(text.begin(), text.end());
}

// A literal with its embedded NULs, without the one that ends it.
template <size_t N>
std::string Narrow(const char (&text)[N]) {
  return std::string(text, N - 1);
}
template <size_t N>
std::wstring Wide(const wchar_t (&text)[N]) {
  return std::wstring(text, N - 1);
}

// The events of a panel that nobody clicks.
struct NoEvents : PanelEvents {
  void cmdRun_Click() override {}
  void cmdCancel_Click() override {}
  void Form_QueryUnload(int16_t&, int16_t) override {}
  void Form_EndSession() override {}
};

struct MachineName {
  template <typename Machine>
  static std::string GetName(int) {
    return Machine::name();
  }
};

template <typename Machine>
class PlatformContract : public ::testing::Test {
 protected:
  // root\ holds files and folders that the two attribute sets and "*." tell apart.
  void AddListingTree() {
    machine.addFile(L"README", "", 0);
    machine.addFile(L"a.txt", "a", 0);
    machine.addFile(L"readonly.txt", "r", kReadOnly);
    machine.addFile(L"archived.dat", "x", kArchive);
    machine.addFile(L"hidden.txt", "h", kHidden);
    machine.addFile(L"system.dat", "s", kSystem);
    machine.addFile(L"톨바리네.txt", "k", 0);
    machine.addFolder(L"sub", 0);
    machine.addFolder(L"Tools.old", 0);
    machine.addFolder(L"k3main.exe", 0);  // a folder named like a file
    machine.addFolder(L"hiddendir", kHidden);
  }
  // Every name of one listing, to its end; fails the case on a listing error.
  Names ListAll(const std::wstring& pattern, int attributes) {
    Names names;
    ListResult entry = platform.listFirst(pattern, attributes);
    while (!entry.failed && !entry.name.empty()) {
      names.insert(entry.name);
      entry = platform.listNext();
    }
    EXPECT_FALSE(entry.failed) << "listing of a readable folder failed";
    return names;
  }
  // The root of a drive letter the machine does not have.
  std::wstring AbsentDrive() {
    wchar_t letter = L'Q';
    while (platform.logicalDrives() & (1u << (letter - L'A'))) ++letter;
    return std::wstring(1, letter) + L":\\";
  }
  std::wstring Name(const std::wstring& relative, int attributes) {
    return platform.listFirst(machine.root + relative, attributes).name;
  }
  // The registry reader's two calls: a probe with no room, then a read of the size it gave.
  RegRead Probe(const wchar_t* value) {
    RegRead probe = platform.queryValue(key, value, 0);
    EXPECT_TRUE(probe.data.empty()) << "the probe wrote into the buffer";
    return probe;
  }
  std::string Read(const wchar_t* value) {
    const RegRead probe = Probe(value);
    EXPECT_EQ(probe.status, kErrorMoreData);
    RegRead read = platform.queryValue(key, value, probe.size);
    EXPECT_EQ(read.status, kErrorSuccess);
    EXPECT_EQ(read.data.size(), probe.size);
    return read.data;
  }
  void OpenKey() {
    key = platform.openUserKey(machine.userKey);
    ASSERT_NE(key, 0u);
  }
  void TearDown() override {
    if (key) platform.closeKey(key);
  }

  Machine machine;
  Platform& platform = machine.platform();
  RegKey key = 0;
};

TYPED_TEST_SUITE(PlatformContract, ContractMachines, MachineName);

TYPED_TEST(PlatformContract, ListingAttributeSetsAndPatterns) {
  this->AddListingTree();
  const std::wstring& root = this->machine.root;
  EXPECT_EQ(this->ListAll(root, kListNormalFiles),
            (Names{L"README", L"a.txt", L"readonly.txt", L"archived.dat", L"톨바리네.txt"}));
  // Set 16 adds the folders, "." and "..", but still no hidden or system entry.
  EXPECT_EQ(this->ListAll(root, kListFilesAndFolders),
            (Names{L".", L"..", L"README", L"a.txt", L"readonly.txt", L"archived.dat",
                   L"톨바리네.txt", L"sub", L"Tools.old", L"k3main.exe"}));
  EXPECT_EQ(this->ListAll(root + L"*", kListFilesAndFolders),
            this->ListAll(root, kListFilesAndFolders));
  // "*." matches names without an extension only.
  EXPECT_EQ(this->ListAll(root + L"*.", kListFilesAndFolders),
            (Names{L".", L"..", L"README", L"sub"}));
  EXPECT_EQ(this->ListAll(root + L"*.", kListNormalFiles), (Names{L"README"}));
  EXPECT_EQ(this->ListAll(root + L"S?b", kListFilesAndFolders), (Names{L"sub"}));
  // A drive root has no "." and "..".
  EXPECT_EQ(this->ListAll(L"C:\\*.", kListFilesAndFolders).count(L"."), 0u);
}

TYPED_TEST(PlatformContract, ListingExactNamesWithTheirAttributesAndSpelling) {
  this->AddListingTree();
  EXPECT_EQ(this->Name(L"a.txt", kListNormalFiles), L"a.txt");
  EXPECT_EQ(this->Name(L"A.TXT", kListNormalFiles), L"a.txt");  // the entry's own spelling
  EXPECT_EQ(this->Name(L"readonly.txt", kListNormalFiles), L"readonly.txt");
  EXPECT_EQ(this->Name(L"톨바리네.txt", kListNormalFiles), L"톨바리네.txt");
  // A folder named like the file is no file; with set 16 it is listed.
  EXPECT_EQ(this->Name(L"k3main.exe", kListNormalFiles), L"");
  EXPECT_EQ(this->Name(L"k3main.exe", kListFilesAndFolders), L"k3main.exe");
  EXPECT_EQ(this->Name(L"hidden.txt", kListFilesAndFolders), L"");
  EXPECT_EQ(this->Name(L"system.dat", kListNormalFiles), L"");
  EXPECT_EQ(this->Name(L"hiddendir", kListFilesAndFolders), L"");
}

TYPED_TEST(PlatformContract, ListingOfWhatIsNotThereIsEmptyNotAnError) {
  this->machine.addFile(L"README", "", 0);
  const std::wstring& root = this->machine.root;
  for (const std::wstring& pattern :
       {root + L"nothing.here", root + L"missing\\*", root + L"missing\\", root + L"a\\b\\c.txt",
        root + L"README\\*", root + L"README\\", root + L"README\\*.", std::wstring(),
        this->AbsentDrive() + L"x.exe"}) {
    const ListResult result = this->platform.listFirst(pattern, kListFilesAndFolders);
    EXPECT_FALSE(result.failed) << testing::PrintToString(pattern);
    EXPECT_EQ(result.name, L"") << testing::PrintToString(pattern);
    EXPECT_EQ(this->platform.listNext().name, L"");
  }
}

TYPED_TEST(PlatformContract, ListingMalformedAndOverlongPathsAreErrors) {
  const std::wstring& root = this->machine.root;
  EXPECT_TRUE(this->platform.listFirst(root + L"bad|name\\*", kListFilesAndFolders).failed);
  // The narrow listing's buffer holds 260 characters.
  std::wstring deep = root;
  while (deep.size() < 270) deep += L"folder\\";
  EXPECT_TRUE(this->platform.listFirst(deep, kListFilesAndFolders).failed);
  EXPECT_TRUE(this->platform.listFirst(deep + L"k3main.exe", kListNormalFiles).failed);
}

TYPED_TEST(PlatformContract, ListingOnlyOneIsOpen) {
  this->AddListingTree();
  this->machine.addFile(L"sub\\only.txt", "", 0);
  ASSERT_FALSE(this->platform.listFirst(this->machine.root, kListFilesAndFolders).name.empty());
  EXPECT_EQ(this->Name(L"sub\\", kListNormalFiles), L"only.txt");
  // The next name comes from the new listing, which has no more.
  EXPECT_EQ(this->platform.listNext().name, L"");
  EXPECT_EQ(this->platform.listNext().name, L"");
}

TYPED_TEST(PlatformContract, RegistryTextValuesInNarrowBytes) {
  this->machine.setValue("ApplicationPath", kRegSz, std::string("C:\\Apps\\Product") + '\0');
  this->machine.setValue("Hangul", kRegSz, this->machine.ansi(L"C:\\톨바리네 2000") + '\0');
  this->machine.setValue("NoTerminator", kRegSz, "C:\\Apps");
  this->machine.setValue("List", kRegMultiSz, std::string("C:\\One\0C:\\Two\0\0", 16));
  this->machine.setValue("Long", kRegSz, std::string(1500, 'x') + '\0');
  this->machine.setValue("Empty", kRegBinary, "");
  this->OpenKey();

  EXPECT_EQ(this->Read(L"ApplicationPath"), std::string("C:\\Apps\\Product") + '\0');
  // Four syllables of two bytes each in the Korean code page.
  const std::string hangul = this->Read(L"Hangul");
  EXPECT_EQ(hangul.size(), 3u + 4 * 2 + 5 + 1);
  EXPECT_EQ(this->platform.fromAnsi(hangul.substr(0, hangul.find('\0'))), L"C:\\톨바리네 2000");
  // Stored without a terminator: the whole text comes back (a system may add the NUL).
  const std::string unterminated = this->Read(L"NoTerminator");
  EXPECT_EQ(unterminated.substr(0, unterminated.find('\0')), "C:\\Apps");
  EXPECT_EQ(this->Read(L"List"), std::string("C:\\One\0C:\\Two\0\0", 16));
  EXPECT_EQ(this->Read(L"Long"), std::string(1500, 'x') + '\0');
  // No data: the probe succeeds with size 0.
  const RegRead empty = this->Probe(L"Empty");
  EXPECT_EQ(empty.status, kErrorSuccess);
  EXPECT_EQ(empty.size, 0u);
}

// The value naming the product folder may have any type a person or another program gave it. A
// narrow read gives a text value in the code page ("?" for a letter it lacks), a multi-string
// whole, an expandable one unexpanded, and any other type's bytes as stored; the setup takes the
// text up to the first NUL.
TYPED_TEST(PlatformContract, RegistryValuesOfEveryTypeInNarrowBytes) {
  auto& machine = this->machine;
  const std::string hangul = machine.ansi(L"C:\\Reg\\바이너리 제품");
  const std::string tail = Narrow(
      "\0\xff\xfe"
      "A\0");
  const std::string longTail(64 * 1024, 'A');
  machine.setValue("Binary", kRegBinary, hangul + tail);
  machine.setValue("BinaryWithoutNul", kRegBinary, "C:\\nonul");
  machine.setValue("BinaryLong", kRegBinary, Narrow("C:\\long\0") + longTail);
  machine.setValue("Number", kRegDword, Narrow("\x78\x56\x34\x12"));
  machine.storeText("Multi", kRegMultiSz, Wide(L"C:\\첫째\0C:\\둘째\0\0"));
  machine.storeText("Expand", kRegExpandSz, Wide(L"C:\\Reg\\expand\0"));
  machine.storeText("LongText", kRegSz, L"C:\\" + std::wstring(64 * 1024, L'x') + L'\0');
  machine.storeText("Thai", kRegSz, Wide(L"C:\\Reg\\ทดสอบ\0"));
  this->OpenKey();

  EXPECT_EQ(this->Read(L"Binary"), hangul + tail);
  EXPECT_EQ(this->Read(L"BinaryWithoutNul"), "C:\\nonul");
  EXPECT_EQ(this->Read(L"BinaryLong"), Narrow("C:\\long\0") + longTail);
  EXPECT_EQ(this->Read(L"Number"), Narrow("\x78\x56\x34\x12"));
  EXPECT_EQ(this->Read(L"Multi"),
            machine.ansi(L"C:\\첫째") + '\0' + machine.ansi(L"C:\\둘째") + Narrow("\0\0"));
  EXPECT_EQ(this->Read(L"Expand"), Narrow("C:\\Reg\\expand\0"));
  EXPECT_EQ(this->Read(L"LongText"), "C:\\" + std::string(64 * 1024, 'x') + '\0');
  EXPECT_EQ(this->Read(L"Thai"), Narrow("C:\\Reg\\?????\0"));
  // Taken as a pattern, the name that came back matches the Thai folder itself.
  machine.addFolder(L"ทดสอบ", 0);
  EXPECT_EQ(this->Name(L"?????", kListFilesAndFolders), L"ทดสอบ");
}

TYPED_TEST(PlatformContract, RegistryMissingKeysValuesAndSmallBuffers) {
  EXPECT_EQ(this->platform.openUserKey(this->machine.userKey + L"\\absent"), 0u);
  this->machine.setValue("ApplicationPath", kRegSz, std::string(64, 'y') + '\0');
  this->OpenKey();
  const RegRead missing = this->Probe(L"Absent");
  EXPECT_NE(missing.status, kErrorSuccess);
  EXPECT_NE(missing.status, kErrorMoreData);
  EXPECT_EQ(missing.size, 0u);
  // Too small a buffer gets nothing and the size that is needed.
  const RegRead small = this->platform.queryValue(this->key, L"ApplicationPath", 8);
  EXPECT_EQ(small.status, kErrorMoreData);
  EXPECT_EQ(small.data, std::string(8, '\0'));
  EXPECT_EQ(small.size, 65u);
}

TYPED_TEST(PlatformContract, FilesAreWrittenMovedAndDeletedButNeverReplaced) {
  Platform& platform = this->platform;
  const std::wstring& root = this->machine.root;
  const std::vector<uint8_t> payload = {0x78, 0xDA, 0x00, 0x01, 0xFF, 0x00};
  EXPECT_TRUE(platform.writeBytes(root + L"new.bin", payload));
  EXPECT_EQ(this->machine.read(root + L"new.bin"), payload);
  this->machine.addFile(L"longer.bin", std::string(5000, 'z'), 0);
  EXPECT_TRUE(platform.writeBytes(root + L"longer.bin", Bytes("abc")));
  EXPECT_EQ(this->machine.read(root + L"longer.bin"), Bytes("abc"));
  EXPECT_TRUE(platform.writeBytes(root + L"empty.bin", {}));
  EXPECT_TRUE(this->machine.read(root + L"empty.bin").empty());
  EXPECT_FALSE(platform.writeBytes(root + L"missing\\x.bin", payload));
  EXPECT_FALSE(platform.writeBytes(root, payload));  // a folder, not a file

  // A new file: nobody else can write or delete it while it is held empty; it is never made over
  // a file of that name, hidden ones included; refused, it is gone again.
  const std::wstring staged = root + L"staged.dll";
  bool heldEmpty = false;
  EXPECT_TRUE(platform.writeNewFile(staged, payload, [&] {
    const ListResult entry = platform.listFirst(staged, kListNormalFiles);
    heldEmpty = entry.name == L"staged.dll" && entry.size == 0 &&
                !platform.writeBytes(staged, Bytes("x")) && !platform.deleteFile(staged);
    return true;
  }));
  EXPECT_TRUE(heldEmpty);
  EXPECT_EQ(this->machine.read(staged), payload);
  const auto never = [] {
    ADD_FAILURE() << "the file was made over an existing one";
    return true;
  };
  EXPECT_FALSE(platform.writeNewFile(staged, Bytes("x"), never));
  this->machine.addFile(L"hidden.dll", "h", kHidden);
  EXPECT_FALSE(platform.writeNewFile(root + L"hidden.dll", Bytes("x"), never));
  EXPECT_EQ(this->machine.read(root + L"hidden.dll"), Bytes("h"));
  EXPECT_FALSE(platform.writeNewFile(root + L"refused.dll", payload, [] { return false; }));
  EXPECT_EQ(this->Name(L"refused.dll", kListNormalFiles), L"");
  EXPECT_FALSE(platform.writeNewFile(root + L"missing\\x.dll", payload, never));

  // A move into another folder, never onto an existing file.
  this->machine.addFolder(L"target", 0);
  EXPECT_TRUE(platform.renameFile(root + L"new.bin", root + L"target\\K3Fenn.exe"));
  EXPECT_EQ(this->machine.read(root + L"target\\K3Fenn.exe"), payload);
  EXPECT_EQ(this->Name(L"new.bin", kListNormalFiles), L"");
  EXPECT_FALSE(platform.renameFile(root + L"longer.bin", root + L"target\\K3Fenn.exe"));
  EXPECT_EQ(this->machine.read(root + L"longer.bin"), Bytes("abc"));
  EXPECT_FALSE(platform.renameFile(root + L"absent.bin", root + L"target\\x.bin"));

  EXPECT_TRUE(platform.deleteFile(root + L"longer.bin"));
  EXPECT_FALSE(platform.deleteFile(root + L"longer.bin"));
  this->machine.addFile(L"readonly.txt", "x", kReadOnly);
  EXPECT_FALSE(platform.deleteFile(root + L"readonly.txt"));
  EXPECT_EQ(this->Name(L"readonly.txt", kListNormalFiles), L"readonly.txt");
}

TYPED_TEST(PlatformContract, TempFilesSystemDirectoryAndDrives) {
  Platform& platform = this->platform;
  const std::wstring temp = platform.tempPath();
  ASSERT_FALSE(temp.empty());
  EXPECT_EQ(temp.back(), L'\\');
  const std::wstring& root = this->machine.root;
  const std::wstring first = platform.createTempFile(root, L"~oc");
  const std::wstring second = platform.createTempFile(root, L"~ocx");  // three characters count
  EXPECT_NE(first, second);
  for (const std::wstring& path : {first, second}) {
    EXPECT_EQ(path.rfind(root + L"~oc", 0), 0u) << testing::PrintToString(path);
    std::wstring extension = path.substr(path.size() - 4);
    for (wchar_t& c : extension) c = static_cast<wchar_t>(towupper(c));  // the case is the system's
    EXPECT_EQ(extension, L".TMP");
    EXPECT_TRUE(this->machine.read(path).empty());
  }
  EXPECT_EQ(platform.createTempFile(root + L"missing\\", L"~oc"), L"");

  const std::wstring system = platform.systemDirectory();
  ASSERT_FALSE(system.empty());
  EXPECT_NE(system.back(), L'\\');
  EXPECT_FALSE(platform.listFirst(system, kListFilesAndFolders).name.empty());

  const uint32_t drives = platform.logicalDrives();
  EXPECT_TRUE(drives & (1u << 2)) << "drive C: exists";
  EXPECT_EQ(platform.driveType(L"C:\\"), kDriveFixed);
  for (int number = 0; number < 26; ++number) {
    const std::wstring root = std::wstring(1, static_cast<wchar_t>(L'A' + number)) + L":\\";
    // DRIVE_NO_ROOT_DIR exactly for the letters the mask leaves out.
    EXPECT_EQ(platform.driveType(root) == kDriveNoRootDir, ((drives >> number) & 1) == 0) << number;
  }
}

TYPED_TEST(PlatformContract, ResourcesInKorean) {
  Platform& platform = this->platform;
  EXPECT_EQ(platform.loadResourceString(101), L"CompLib.dll");
  EXPECT_EQ(platform.loadResourceString(102), L"톨바리네 2000");
  EXPECT_EQ(platform.loadResourceString(103), std::nullopt);  // no entry in an existing bundle
  EXPECT_EQ(platform.loadResourceString(200), std::nullopt);  // no bundle at all
  EXPECT_EQ(platform.loadResourceString(120), std::nullopt);  // English only
  EXPECT_EQ(platform.loadResourceData(101), Bytes("FENN\x01\x02\x03"));  // no padding added
  EXPECT_EQ(platform.loadResourceData(102), std::nullopt);
}

TYPED_TEST(PlatformContract, ModulesHoldTheirFileUntilTheLastReferenceGoes) {
  Platform& platform = this->platform;
  const std::wstring library = this->machine.addLibrary(L"CompVLib.DLL");
  const ModuleHandle first = platform.loadLibrary(library);
  ASSERT_NE(first, 0u);
  EXPECT_EQ(platform.loadLibrary(this->machine.root + L"compvlib.dll"), first);
  platform.freeLibrary(first);
  EXPECT_FALSE(platform.deleteFile(library)) << "a mapped library's file cannot go";
  platform.freeLibrary(first);
  EXPECT_TRUE(platform.deleteFile(library));
  EXPECT_EQ(platform.loadLibrary(this->machine.root + L"absent.dll"), 0u);
  EXPECT_EQ(platform.callDecompress(0, L"a", L"b"), std::nullopt);
}

TYPED_TEST(PlatformContract, RenamesNeverLeaveTheirVolume) {
  Platform& platform = this->platform;
  const std::wstring& root = this->machine.root;
  const std::wstring& other = this->machine.otherVolume;
  // The whole case needs a second volume; the test report counts it as skipped, not passed.
  if (other.empty())
    GTEST_SKIP() << "no second volume on this machine: renames across volumes untested";
  this->machine.addFile(L"payload.bin", std::string(70000, 'p') + "end", 0);
  const std::vector<uint8_t> payload = this->machine.read(root + L"payload.bin");
  // A rename does not copy: across volumes it fails and leaves the file where it was.
  EXPECT_FALSE(platform.renameFile(root + L"payload.bin", other + L"K3Fenn.exe"));
  EXPECT_EQ(this->machine.read(root + L"payload.bin"), payload);
  EXPECT_EQ(this->Name(L"payload.bin", kListNormalFiles), L"payload.bin");
  EXPECT_EQ(platform.listFirst(other + L"K3Fenn.exe", kListNormalFiles).name, L"");
}

TYPED_TEST(PlatformContract, HeldFoldersWorkOnlyOnWhatIsInThem) {
  Platform& platform = this->platform;
  const std::wstring& root = this->machine.root;
  this->machine.addFolder(L"product", 0);
  this->machine.addFile(L"product\\k3main.exe", "k3", 0);
  this->machine.addFile(L"product\\hidden.dat", "h", kHidden);
  this->machine.addFolder(L"product\\K3rep.dat", 0);
  this->machine.addFile(L"decoded.bin", "payload", 0);
  this->machine.addFile(L"second.bin", "second", 0);
  EXPECT_EQ(platform.holdFolder(root + L"absent"), nullptr);
  EXPECT_EQ(platform.holdFolder(root + L"decoded.bin"), nullptr) << "a file is no folder";
  const std::unique_ptr<HeldFolder> held = platform.holdFolder(root + L"product");
  ASSERT_NE(held, nullptr);
  EXPECT_EQ(held->path(), root + L"product");
  EXPECT_TRUE(held->hasFile(L"K3MAIN.EXE"));
  EXPECT_FALSE(held->hasFile(L"hidden.dat"));
  EXPECT_FALSE(held->hasFile(L"K3rep.dat")) << "a folder";
  EXPECT_FALSE(held->hasFile(L"absent.dll"));

  // A move never replaces, and takes nothing it cannot find.
  EXPECT_EQ(held->moveInto(root + L"decoded.bin", L"K3Fenn.exe"), Moved::Done);
  EXPECT_EQ(this->machine.read(root + L"product\\K3Fenn.exe"), Bytes("payload"));
  EXPECT_EQ(held->moveInto(root + L"second.bin", L"k3main.exe"), Moved::Failed);
  EXPECT_EQ(this->machine.read(root + L"product\\k3main.exe"), Bytes("k3"));
  EXPECT_EQ(held->moveInto(root + L"absent.bin", L"x.dll"), Moved::Failed);

  // A copy is made under its partial name and renamed; where either name is taken, nothing of
  // what is there changes.
  EXPECT_TRUE(held->copyInto(root + L"second.bin", L"~part", L"CompLib.dll"));
  EXPECT_EQ(this->machine.read(root + L"product\\CompLib.dll"), Bytes("second"));
  EXPECT_FALSE(held->hasFile(L"~part"));
  EXPECT_FALSE(held->copyInto(root + L"second.bin", L"hidden.dat", L"other.dll"));
  EXPECT_EQ(this->machine.read(root + L"product\\hidden.dat"), Bytes("h"));
  EXPECT_FALSE(held->copyInto(root + L"second.bin", L"~part", L"k3main.exe"));
  EXPECT_FALSE(held->hasFile(L"~part")) << "the copy that could not get its name is gone";
  EXPECT_EQ(this->machine.read(root + L"product\\k3main.exe"), Bytes("k3"));

  // Only a regular file is deleted.
  EXPECT_FALSE(held->deleteRegularFile(L"hidden.dat"));
  EXPECT_FALSE(held->deleteRegularFile(L"K3rep.dat"));
  EXPECT_FALSE(held->deleteRegularFile(L"absent.dll"));
  EXPECT_TRUE(held->deleteRegularFile(L"CompLib.dll"));
  EXPECT_FALSE(held->hasFile(L"CompLib.dll"));
  EXPECT_EQ(this->machine.read(root + L"product\\hidden.dat"), Bytes("h"));

  const std::wstring& other = this->machine.otherVolume;
  if (other.empty()) return;
  // Only where a rename cannot leave its volume does the move say so; the file stays.
  this->machine.addFile(L"third.bin", "third", 0);
  const std::unique_ptr<HeldFolder> elsewhere =
      platform.holdFolder(other.substr(0, other.size() - 1));
  ASSERT_NE(elsewhere, nullptr);
  EXPECT_EQ(elsewhere->moveInto(root + L"third.bin", L"K3Fenn.exe"), Moved::OtherVolume);
  EXPECT_EQ(this->machine.read(root + L"third.bin"), Bytes("third"));
  EXPECT_TRUE(elsewhere->copyInto(root + L"third.bin", L"~part", L"K3Fenn.exe"));
  EXPECT_EQ(this->machine.read(other + L"K3Fenn.exe"), Bytes("third"));
  EXPECT_TRUE(elsewhere->deleteRegularFile(L"K3Fenn.exe"));
}

TYPED_TEST(PlatformContract, PrivateFolderGoesWhenItEndsEmpty) {
  Platform& platform = this->platform;
  const std::wstring& root = this->machine.root;
  std::wstring kept;
  for (bool leaveAFile : {false, true}) {
    const std::wstring userTemp = platform.tempPath();
    std::unique_ptr<HeldFolder> folder = platform.makePrivateFolder(root);
    ASSERT_NE(folder, nullptr);
    EXPECT_EQ(platform.tempPath(), folder->path() + L"\\") << "the temp folder while it exists";
    const std::wstring temp = platform.createTempFile(folder->path() + L"\\", L"~oc");
    ASSERT_FALSE(temp.empty());
    EXPECT_TRUE(platform.writeBytes(temp + L".bin", Bytes("decoded")));
    EXPECT_TRUE(platform.renameFile(temp + L".bin", temp + L".moved"));
    EXPECT_TRUE(platform.deleteFile(temp));
    if (!leaveAFile) {
      EXPECT_TRUE(platform.deleteFile(temp + L".moved"));
    }
    const std::wstring name = folder->path().substr(folder->path().rfind(L'\\') + 1);
    EXPECT_EQ(name.rfind(L"~FennSetup-", 0), 0u) << testing::PrintToString(name);
    folder.reset();
    EXPECT_EQ(this->Name(name, kListFilesAndFolders), leaveAFile ? name : L"");
    EXPECT_EQ(platform.tempPath(), userTemp);
  }
}

TYPED_TEST(PlatformContract, DeletionsAtRestartAreReadBack) {
  Platform& platform = this->platform;
  const std::wstring& root = this->machine.root;
  this->machine.addFile(L"staged.dll", "MZ", 0);
  this->machine.addFile(L"other.dll", "MZ", 0);
  EXPECT_FALSE(platform.deletionPendingAtRestart(root + L"staged.dll"));
  EXPECT_TRUE(platform.deleteFileAtRestart(root + L"staged.dll"));
  EXPECT_TRUE(platform.deletionPendingAtRestart(root + L"staged.dll"));
  EXPECT_TRUE(platform.deletionPendingAtRestart(root + L"STAGED.DLL"));
  EXPECT_FALSE(platform.deletionPendingAtRestart(root + L"other.dll"));
  EXPECT_FALSE(platform.deletionPendingAtRestart(root + L"staged"));
  // It stays pending after the file is gone: the request is the system's now.
  EXPECT_TRUE(platform.deleteFile(root + L"staged.dll"));
  EXPECT_TRUE(platform.deletionPendingAtRestart(root + L"staged.dll"));
  // A file that is not there yet can be handed over too.
  EXPECT_TRUE(platform.deleteFileAtRestart(root + L"later.bin"));
  EXPECT_TRUE(platform.deletionPendingAtRestart(root + L"later.bin"));

  // Taking a request back removes that one entry and leaves every other byte of the list as it
  // was, another program's empty pair included; a request behind that pair is still read.
  this->machine.addForeignRestartWork();
  const std::vector<uint8_t> before = this->machine.restartList();
  EXPECT_TRUE(platform.deleteFileAtRestart(root + L"own.tmp"));
  EXPECT_TRUE(platform.deletionPendingAtRestart(root + L"own.tmp"));
  EXPECT_TRUE(platform.cancelDeletionAtRestart(root + L"OWN.tmp"));
  EXPECT_FALSE(platform.deletionPendingAtRestart(root + L"own.tmp"));
  EXPECT_EQ(this->machine.restartList(), before);
  EXPECT_FALSE(platform.cancelDeletionAtRestart(root + L"own.tmp"));
  EXPECT_FALSE(platform.cancelDeletionAtRestart(root + L"other.dll"));
  EXPECT_TRUE(platform.cancelDeletionAtRestart(root + L"staged.dll"));
  EXPECT_TRUE(platform.deletionPendingAtRestart(root + L"later.bin"));
}

TYPED_TEST(PlatformContract, DesktopUserAccessIsJudgedOnEachEntrysOwnSecurity) {
  Platform& platform = this->platform;
  const std::wstring& root = this->machine.root;
  ASSERT_TRUE(platform.findDesktopUser());
  this->machine.addFolder(L"closed", 0);
  this->machine.addFile(L"closed\\K3Fenn.exe", "MZ", 0);
  this->machine.addFolder(L"open", 0);
  this->machine.addFile(L"open\\K3Fenn.exe", "MZ", 0);
  this->machine.describeAccess(L"closed", Grantee::Nobody, 0);
  this->machine.describeAccess(L"closed\\K3Fenn.exe", Grantee::Users, kWriteDac | kDelete);
  this->machine.describeAccess(L"open", Grantee::DesktopUser, kFileAddFile | kFileDeleteChild);
  this->machine.describeAccess(L"open\\K3Fenn.exe", Grantee::Nobody, 0);
  const uint32_t asked =
      kFileAddFile | kFileAddSubfolder | kFileDeleteChild | kDelete | kWriteDac | kWriteOwner;
  const EntryAccess closed = platform.desktopUserAccess(root + L"closed", asked);
  EXPECT_TRUE(closed.known);
  EXPECT_FALSE(closed.link);
  EXPECT_EQ(closed.rights, 0u) << "read access changes nothing";
  EXPECT_EQ(platform.desktopUserAccess(root + L"closed\\K3Fenn.exe", asked).rights,
            kWriteDac | kDelete);
  EXPECT_EQ(platform.desktopUserAccess(root + L"closed\\K3Fenn.exe", kWriteOwner).rights, 0u);
  EXPECT_EQ(platform.desktopUserAccess(root + L"open", asked).rights,
            kFileAddFile | kFileDeleteChild);
  EXPECT_EQ(platform.desktopUserAccess(root + L"open", kFileDeleteChild).rights, kFileDeleteChild);
  EXPECT_EQ(platform.desktopUserAccess(root + L"open\\K3Fenn.exe", asked).rights, 0u);
  EXPECT_FALSE(platform.desktopUserAccess(root + L"absent", asked).known);
}

TYPED_TEST(PlatformContract, OneSetupRunPerMachineAndOthersFindItsPanel) {
  // Names another user made first take nothing from the setup.
  this->machine.squatSetupRunNames();
  std::unique_ptr<Platform> holder = this->machine.anotherProcess();
  std::unique_ptr<Platform> second = this->machine.anotherProcess();
  EXPECT_TRUE(holder->claimSetupRun());
  EXPECT_TRUE(holder->claimSetupRun()) << "its own claim";
  EXPECT_FALSE(second->claimSetupRun());
  EXPECT_FALSE(second->activateOtherPanel()) << "no panel anywhere";
  NoEvents events;
  holder->createPanel(PanelFormDescription(), events);
  EXPECT_FALSE(second->activateOtherPanel()) << "a panel not yet shown";
  holder->showPanel();
  EXPECT_TRUE(second->activateOtherPanel());
  EXPECT_FALSE(holder->activateOtherPanel()) << "its own panel is no other's";
  holder->hidePanel();
  EXPECT_FALSE(second->activateOtherPanel()) << "a hidden panel belongs to a setup that ends";
  holder->destroyPanel();
  // The claim ends with its process.
  EXPECT_FALSE(second->claimSetupRun());
  holder.reset();
  EXPECT_TRUE(second->claimSetupRun());
}

}  // namespace fenn::contract
