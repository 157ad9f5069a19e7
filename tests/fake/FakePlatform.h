// FakePlatform: the Platform interface in memory, for native tests and fuzzing. It composes a
// Windows-like file system, a registry, the executable's resources, a module loader, a stand-in
// codec and the panel window, and it logs what a person would see. Scripted user actions fire
// at chosen yields, so the panel's handlers run re-entrantly in the middle of the sequence the
// way they do on Windows. No test framework is used here.
#pragma once

#include <cstdint>
#include <functional>
#include <map>
#include <memory>
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
  CloseRequest,  // title-bar close, task manager: Form_QueryUnload with UnloadMode 0
  // Windows logs off: the close request with UnloadMode 2, then the end of the session, which
  // reaches the window also when it is hidden.
  EndSession,
};

struct ShownMessageBox {
  std::wstring text;
  std::wstring title;
};

struct FakeButton {
  std::wstring caption;
  bool visible = false;
};

// The stand-in codec's container: this marker followed by the plain file's bytes.
inline constexpr char kFakeContainerMarker[] = "FAKEVX:";
std::vector<uint8_t> FakeContainer(const std::string& content);

class FakePlatform : public Platform {
 public:
  FakePlatform();
  ~FakePlatform() override;
  FakePlatform(const FakePlatform&) = delete;
  FakePlatform& operator=(const FakePlatform&) = delete;

  FakeFileSystem fs;
  FakeRegistry registry;

  // ---- Machine configuration ---------------------------------------------------------------
  // Another process on the same machine: it shares the machine's one setup run with this one
  // (its own disk is its own; tests give it what they need).
  void joinMachineOf(FakePlatform& other);
  // Windows starts again: the processes are gone, and the files whose deletion was asked for at
  // restart are deleted.
  void restartSystem();
  std::wstring systemFolder = L"C:\\WINDOWS\\system32";
  bool systemDirectoryFails = false;
  std::wstring tempFolder = L"C:\\TEMP\\";
  // The known folder for 32-bit programs: a 64-bit Windows by default; on 32-bit Windows it is
  // "C:\Program Files". Empty: the system cannot give it.
  std::wstring programFilesX86 = L"C:\\Program Files (x86)";
  bool tempPathFails = false;
  std::map<int, std::wstring> resourceStrings;
  std::map<int, std::vector<uint8_t>> customResources;  // type "CUSTOM"
  // Paths (as given) that loadLibrary refuses, as for a file that is no valid library.
  std::vector<std::wstring> unloadableModules;
  // The system refuses to delete files at its next start (no rights to ask for it).
  bool restartDeletionRefused = false;
  // The desktop user: whether one is found, and the rights it holds on entries (paths as given,
  // compared without letter case); it holds none on every other entry.
  bool desktopUserFound = true;
  std::map<std::wstring, uint32_t> desktopUserRights;
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
  // Runs at every sleepMilliseconds.
  std::function<void()> duringSleep;
  // Runs in the middle of every copy into a held folder, when the copy holds half the bytes.
  std::function<void(const std::wstring& target)> duringCopy;
  // Runs after every step of the work in a held folder (a move, a file made, a copy written, a
  // rename, a delete), as a process may be ended between any two.
  std::function<void()> afterHeldFolderStep;
  // A run still visible after this many yields is stalled (nobody scripted an ending): the fake
  // hides the panel so that the test ends, and sets `stalled`.
  int stallLimit = 100000;
  bool stalled = false;

  // ---- What happened -----------------------------------------------------------------------
  bool panelDestroyed = false;
  bool visible = false;
  std::wstring label;
  FakeButton cmdRun;
  FakeButton cmdCancel;
  std::vector<std::wstring> labelLog;  // every label text set, in order
  std::vector<ShownMessageBox> messageBoxes;
  std::vector<std::wstring> startedPrograms;
  struct Start {
    std::wstring workingFolder;
    StartAs as;
  };
  std::vector<Start> starts;                    // how each of startedPrograms was started
  std::vector<std::wstring> windowLog;          // "show", "hide", "box:<title>", "label:<text>"...
  std::vector<int> stringReads;                 // resource string ids asked for
  std::vector<int> dataReads;                   // "CUSTOM" ids asked for
  std::vector<std::wstring> decompressModules;  // full path of the module of every codec call
  int yields = 0;
  int tempFileNames = 0;  // createTempFile calls
  int sleeps = 0;
  int waits = 0;                               // waitForMessage calls
  std::vector<std::wstring> deletedAtRestart;  // files scheduled for deletion at restart
  int copies = 0;                              // copies into a held folder
  int otherPanelActivations = 0;               // times another setup brought this panel forward
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
  void setButtonVisible(PanelButton button, bool visible) override;
  void messageBox(const std::wstring& text, const std::wstring& title) override;
  void yield() override;
  void waitForMessage() override;
  bool startProgram(const std::wstring& path, const std::wstring& workingFolder,
                    StartAs as) override;
  void sleepMilliseconds(uint32_t milliseconds) override;
  bool claimSetupRun() override;
  bool activateOtherPanel() override;
  bool findDesktopUser() override;
  EntryAccess desktopUserAccess(const std::wstring& path, uint32_t rights) override;

  ListResult listFirst(const std::wstring& pattern, int attributes) override;
  ListResult listNext() override;
  bool deleteFile(const std::wstring& path) override;
  bool deleteFileAtRestart(const std::wstring& path) override;
  bool deletionPendingAtRestart(const std::wstring& path) override;
  bool cancelDeletionAtRestart(const std::wstring& path) override;
  bool renameFile(const std::wstring& from, const std::wstring& to) override;
  bool writeBytes(const std::wstring& path, const std::vector<uint8_t>& bytes) override;
  bool writeNewFile(const std::wstring& path, const std::vector<uint8_t>& bytes,
                    const std::function<bool()>& whileEmpty) override;

  std::unique_ptr<HeldFolder> holdFolder(const std::wstring& path) override;
  std::unique_ptr<HeldFolder> makePrivateFolder(const std::wstring& parent) override;
  // The permissions the private folders get.
  static constexpr wchar_t kPrivatePermissions[] = L"SYSTEM, Administrators";
  int heldFolders = 0;  // held folders that have not ended

  std::optional<std::wstring> loadResourceString(int id) override;
  std::optional<std::vector<uint8_t>> loadResourceData(int id) override;

  std::wstring systemDirectory() override;
  std::wstring tempPath() override;
  std::wstring createTempFile(const std::wstring& folder, const std::wstring& prefix) override;
  uint32_t logicalDrives() override;
  uint32_t driveType(const std::wstring& root) override;
  ModuleHandle loadLibrary(const std::wstring& fullPath) override;
  void freeLibrary(ModuleHandle module) override;

  std::wstring programFilesX86Folder() override;

  RegKey openUserKey(const std::wstring& subKey) override;
  RegRead queryValue(RegKey key, const std::wstring& valueName, uint32_t capacity) override;
  void closeKey(RegKey key) override;
  std::wstring fromAnsi(const std::string& text) override;

  std::optional<int32_t> callDecompress(ModuleHandle module, const std::wstring& source,
                                        const std::wstring& destination) override;

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
  unsigned privateCounter_ = 0x5e7;
  // The processes of one machine: which of them holds the setup run, and whose panels there are.
  struct Processes {
    FakePlatform* setupRun = nullptr;
    std::vector<FakePlatform*> all;
  };
  void leaveMachine();
  std::shared_ptr<Processes> processes_ = std::make_shared<Processes>();
};

}  // namespace fenn::fake
