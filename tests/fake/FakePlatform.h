// FakePlatform: the Platform interface in memory, for native tests and fuzzing. It composes a
// Windows-like file system, a registry, the executable's resources, a module loader, a stand-in
// codec and the panel window, and it logs what a person would see. Scripted user actions fire
// at chosen yields, so the panel's handlers run re-entrantly in the middle of the sequence the
// way they do on Windows. No test framework is used here.
#pragma once

#include <cstdint>
#include <functional>
#include <map>
#include <string>
#include <vector>

#include "FakeFileSystem.h"
#include "FakeRegistry.h"
#include "platform/Platform.h"

namespace fenn::fake {

enum class UserAction {
  ClickRun,
  ClickCancel,
  PressEsc,      // the panel's cancel button: same as ClickCancel
  CloseRequest,  // title-bar close, shutdown, task manager: Form_QueryUnload with UnloadMode 0
};

struct ShownMessageBox {
  std::wstring text;
  int flags;
  std::wstring title;
};

struct StartedProgram {
  std::wstring path;
  int showStyle;
};

struct FakeButton {
  std::wstring caption;
  std::wstring tag;
  bool visible = false;
};

// The stand-in codec's container: this marker followed by the plain file's bytes.
inline constexpr char kFakeContainerMarker[] = "FAKEVX:";
std::vector<uint8_t> FakeContainer(const std::string& content);

class FakePlatform : public Platform {
 public:
  FakePlatform();

  FakeFileSystem fs;
  FakeRegistry registry;

  // ---- Machine configuration ---------------------------------------------------------------
  std::wstring systemDirectory = L"C:\\WINDOWS\\system32";
  bool systemDirectoryFails = false;
  std::wstring tempFolder = L"C:\\TEMP\\";
  bool tempPathFails = false;
  std::map<int, std::wstring> resourceStrings;
  std::map<int, std::vector<uint8_t>> customResources;  // type "CUSTOM"
  // Paths (as given) that loadLibrary refuses, as for a file that is no valid library.
  std::vector<std::wstring> unloadableModules;
  // The codec module's entry point cannot be bound: callDecompress answers false.
  bool codecEntryMissing = false;
  // The stand-in codec: reads `source`, writes `destination`, returns the status. The default
  // unpacks FakeContainer data and answers -3 for anything else.
  std::function<int32_t(FakePlatform&, const std::wstring& source, const std::wstring& destination)>
      codec;

  // ---- Scripted user ---------------------------------------------------------------------------
  // Performs `action` during the yield with this 1-based number (the codec's message pumping
  // counts as a yield as well).
  void actAtYield(int yieldNumber, UserAction action);
  // Performs `action` during the first yield at which the status label reads `labelText`.
  void actWhenLabel(const std::wstring& labelText, UserAction action);
  // Runs at every yield, before the scripted actions of that yield.
  std::function<void()> duringYield;
  // Performs the action now, as the window system would deliver it.
  void perform(UserAction action);
  // A run still visible after this many yields is stalled (nobody scripted an ending): the fake
  // hides the panel so that the test ends, and sets `stalled`.
  int stallLimit = 100000;
  bool stalled = false;

  // ---- What happened -----------------------------------------------------------------------
  bool panelCreated = false;
  bool panelDestroyed = false;
  bool visible = false;
  std::wstring formCaption;
  std::wstring label;
  FakeButton cmdRun;
  FakeButton cmdCancel;
  std::vector<std::wstring> labelLog;  // every label text set, in order
  std::vector<ShownMessageBox> messageBoxes;
  std::vector<StartedProgram> startedPrograms;
  std::vector<std::wstring> windowLog;          // "show", "hide", "box:<title>", "label:<text>"...
  std::vector<int> stringReads;                 // resource string ids asked for
  std::vector<int> dataReads;                   // "CUSTOM" ids asked for
  std::vector<std::wstring> decompressModules;  // full path of the module of every codec call
  int yields = 0;
  int tempFileNames = 0;  // getTempFileName calls
  int sleeps = 0;
  int waits = 0;                               // waitForMessage calls
  std::vector<std::wstring> deletedAtRestart;  // files scheduled for deletion at restart
  int badFrees = 0;                            // freeLibrary of a handle that is not loaded
  size_t loadedModules() const { return modules_.size(); }
  int moduleReferences(const std::wstring& path) const;

  // ---- Platform ------------------------------------------------------------------------------
  void createPanel(const FormDescription& form, PanelEvents& events) override;
  void destroyPanel() override;
  void showPanel() override;
  void hidePanel() override;
  bool panelVisible() override;
  void setLabelText(const std::wstring& text) override;
  std::wstring buttonCaption(PanelButton button) override;
  void setButtonCaption(PanelButton button, const std::wstring& caption) override;
  std::wstring buttonTag(PanelButton button) override;
  void setButtonTag(PanelButton button, const std::wstring& tag) override;
  void setButtonVisible(PanelButton button, bool visible) override;
  void messageBox(const std::wstring& text, int flags, const std::wstring& title) override;
  void yield() override;
  bool startProgram(const std::wstring& path, int showStyle) override;
  void waitForMessage() override;
  void sleepMilliseconds(uint32_t milliseconds) override;

  ListResult listFirst(const std::wstring& pattern, int attributes) override;
  ListResult listNext() override;
  bool deleteFile(const std::wstring& path) override;
  bool deleteFileAtRestart(const std::wstring& path) override;
  bool renameFile(const std::wstring& from, const std::wstring& to) override;
  bool writeBytes(const std::wstring& path, const std::vector<uint8_t>& bytes) override;

  bool loadResourceString(int id, std::wstring& text) override;
  bool loadResourceData(int id, const std::wstring& type, std::vector<uint8_t>& bytes) override;

  uint32_t getSystemDirectory(std::wstring& directory) override;
  uint32_t getTempPath(std::wstring& folder) override;
  uint32_t getTempFileName(const std::wstring& folder, const std::wstring& prefix,
                           std::wstring& path) override;
  uint32_t getLogicalDrives() override;
  uint32_t getDriveType(const std::wstring& root) override;
  ModuleHandle loadLibrary(const std::wstring& fullPath) override;
  void freeLibrary(ModuleHandle module) override;

  long regOpenKeyEx(uintptr_t root, const std::wstring& subKey, uint32_t options, uint32_t access,
                    RegKey& key) override;
  long regQueryValueEx(RegKey key, const std::wstring& valueName, uint32_t& type, std::string& data,
                       uint32_t& size) override;
  long regCloseKey(RegKey key) override;

  std::string toAnsi(const std::wstring& text) override;
  std::wstring fromAnsi(const std::string& text) override;

  bool callDecompress(ModuleHandle module, const std::string& source,
                      const std::string& destination, int32_t& status) override;

 private:
  struct Module {
    std::wstring path;
    int references;
  };
  FakeButton& button(PanelButton which);

  PanelEvents* events_ = nullptr;
  std::multimap<int, UserAction> yieldActions_;
  std::vector<std::pair<std::wstring, UserAction>> labelActions_;
  std::map<ModuleHandle, Module> modules_;
  ModuleHandle nextModule_ = 0x10000000;
  unsigned tempCounter_ = 0x1a2b;
};

}  // namespace fenn::fake
