// frmPanel: the setup's only form. Its procedures are spread over setup/, locator/ and installer/
// by subsystem, but they are all members of this one class; the fields below are the only state
// that outlives a single call.
#pragma once

#include <array>
#include <cstdint>
#include <string>
#include <vector>

#include "platform/Platform.h"

namespace fenn {

class frmPanel : public PanelEvents {
 public:
  explicit frmPanel(Platform& platform) : platform_(platform) {}

  // The load request: creates the window from the form description, then runs Form_Load, which
  // performs the whole setup sequence before returning.
  void Load();
  // The unload request: asks Form_QueryUnload with UnloadMode 1, then destroys the window unless
  // the request was refused.
  void Unload();

  void Form_Load();
  void cmdRun_Click() override;
  void cmdCancel_Click() override;
  void Form_QueryUnload(int16_t& Cancel, int16_t UnloadMode) override;

 private:
  friend class frmPanelTestAccess;  // the native tests drive single procedures

  // ---- setup/ ------------------------------------------------------------------------------
  std::wstring GetStepText(int32_t index);
  void ShowStep(int32_t index);
  // A Cancel click or a close request hides the panel; the sequence looks at that at its step
  // boundaries and stops there.
  bool SetupCancelled();
  void ShowError(const std::wstring& text);

  // ---- locator/ ----------------------------------------------------------------------------
  bool LocateProduct(std::wstring& folder);
  int32_t FillProductFileNames(std::vector<std::wstring>& list);
  bool FileExists(std::wstring path);
  bool FolderExists(std::wstring path);
  bool PathListed(const std::wstring& path, int attributes);
  std::wstring FindOnFixedDrives(const std::vector<std::wstring>& productFiles);
  std::wstring FindFileInTree(const std::wstring& folder, const std::wstring& fileName, int depth);
  std::wstring ReadUserRegString(std::wstring keyPath, std::wstring valueName);

  // ---- installer/ --------------------------------------------------------------------------
  int32_t FillSystemDllNames(std::vector<std::wstring>& names);
  std::wstring ListSystemDllsPresent(std::wstring productFolder);
  // Load mode answers whether the codec can be called; release mode always answers true.
  bool StageDecompressor(bool release);
  std::wstring DecompressorPath();
  bool LoadDecompressor();
  void ReleaseDecompressor();
  bool MakeTempFile(const std::wstring& prefix, std::wstring& path);
  void ExtractPayloads(std::wstring productFolder, std::wstring nameList);
  bool InstallPayload(int32_t id, const std::wstring& productFolder, const std::wstring& name);

  Platform& platform_;

  // The form's fields.
  std::array<std::wstring, 21> sStepText;
  bool bDecompLoaded = false;
  ModuleHandle hDecompLib = 0;
};

}  // namespace fenn
