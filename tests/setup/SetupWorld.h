// The fixture of the setup tests: the Korean test machine, the panel and the units of the sequence,
// and test access to the panel's fields.
#pragma once

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "AnsiText.h"
#include "FakePlatform.h"
#include "KoreanMachine.h"
#include "common/ExistenceTests.h"
#include "installer/CodecStage.h"
#include "installer/PayloadInstaller.h"
#include "installer/SystemDlls.h"
#include "locator/ProductLocator.h"
#include "locator/ReadUserRegString.h"
#include "setup/FormDescription.h"
#include "setup/frmPanel.h"

namespace fenn {

class frmPanelTestAccess {
 public:
  explicit frmPanelTestAccess(frmPanel& panel) : panel_(panel) {}

  std::wstring GetStepText(int32_t index) { return panel_.GetStepText(index); }
  const std::array<std::wstring, 21>& sStepText() const { return panel_.sStepText; }

 private:
  frmPanel& panel_;
};

namespace test {

using fake::AddProduct;
using fake::kCatalogueNames;
using fake::kCodecLibraryBytes;
using fake::kDefaultFolder;
using fake::kProductFiles;
using fake::kStagedLibrary;
using fake::kSystemDirectory;
using fake::kTempFolder;
using fake::PayloadContent;

std::wstring Join(const std::wstring& folder, const std::wstring& name);
// "a\0b\0" from {"a", "b"}.
std::wstring NameList(const std::vector<std::wstring>& names);

class SetupTest : public ::testing::Test {
 protected:
  // The panel as Form_Load leaves it once shown, for tests of single procedures.
  void ShowPanel() {
    platform.createPanel(PanelFormDescription(), panel);
    platform.showPanel();
  }
  std::vector<std::wstring> TempFiles() const { return platform.fs.entries(kTempFolder); }
  std::wstring FindOnFixedDrives() {
    std::vector<std::wstring> names;
    ProductLocator::FillProductFileNames(names);
    return locator.FindOnFixedDrives(names);
  }

  fake::KoreanMachine platform;
  frmPanel panel{platform};
  frmPanelTestAccess access{panel};
  // The units of the sequence, reporting their progress to the panel.
  ProductLocator locator{platform, panel};
  CodecStage stage{platform};
  PayloadInstaller installer{platform, panel, stage};
};

}  // namespace test
}  // namespace fenn
