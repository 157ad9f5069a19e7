// A Korean Windows machine on FakePlatform with the setup's resources, and test access to the
// panel's private procedures.
#pragma once

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "FakePlatform.h"
#include "setup/FormDescription.h"
#include "setup/frmPanel.h"

namespace fenn {

class frmPanelTestAccess {
 public:
  explicit frmPanelTestAccess(frmPanel& panel) : panel_(panel) {}

  std::wstring GetStepText(int32_t index) { return panel_.GetStepText(index); }
  const std::array<std::wstring, 21>& sStepText() const { return panel_.sStepText; }
  bool LocateProduct(std::wstring& folder) { return panel_.LocateProduct(folder); }
  bool FileExists(const std::wstring& path) { return panel_.FileExists(path); }
  bool FolderExists(const std::wstring& path) { return panel_.FolderExists(path); }
  std::wstring FindOnFixedDrives() {
    std::vector<std::wstring> names;
    panel_.FillProductFileNames(names);
    return panel_.FindOnFixedDrives(names);
  }
  std::wstring ReadUserRegString(const std::wstring& key, const std::wstring& value) {
    return panel_.ReadUserRegString(key, value);
  }
  std::wstring ListSystemDllsPresent() { return panel_.ListSystemDllsPresent(L"C:\\Product"); }
  bool StageDecompressor(bool release) { return panel_.StageDecompressor(release); }
  void ExtractPayloads(const std::wstring& folder, const std::wstring& nameList) {
    panel_.ExtractPayloads(folder, nameList);
  }
  bool MakeTempFile(const std::wstring& prefix, std::wstring& path) {
    return panel_.MakeTempFile(prefix, path);
  }
  bool bDecompLoaded() const { return panel_.bDecompLoaded; }
  ModuleHandle hDecompLib() const { return panel_.hDecompLib; }

 private:
  frmPanel& panel_;
};

namespace test {

extern const wchar_t kDefaultFolder[];
extern const wchar_t kSystemDirectory[];
extern const wchar_t kStagedLibrary[];  // the codec library's place in the system directory
extern const wchar_t kTempFolder[];
extern const char kCodecLibraryBytes[];
extern const std::vector<std::wstring> kProductFiles;
extern const std::vector<std::wstring> kCatalogueNames;  // ids 101..104

std::wstring Join(const std::wstring& folder, const std::wstring& name);
std::string PayloadContent(const std::wstring& name);
// "a\0b\0" from {"a", "b"}.
std::wstring NameList(const std::vector<std::wstring>& names);

// Fixed drive C with the system directory and temp folder, the resources of the executable.
void BuildMachine(fake::FakePlatform& platform);
void AddProduct(fake::FakePlatform& platform, const std::wstring& folder);

class SetupTest : public ::testing::Test {
 protected:
  SetupTest() { BuildMachine(platform); }

  // The panel as Form_Load leaves it once shown, for tests of single procedures.
  void ShowPanel() {
    platform.createPanel(PanelFormDescription(), panel);
    platform.showPanel();
  }
  std::vector<std::wstring> TempFiles() const { return platform.fs.entries(kTempFolder); }
  std::vector<std::wstring> BoxTexts() const;

  fake::FakePlatform platform;
  frmPanel panel{platform};
  frmPanelTestAccess access{panel};
};

}  // namespace test
}  // namespace fenn
