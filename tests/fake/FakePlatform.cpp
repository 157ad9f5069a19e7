#include "FakePlatform.h"

#include <algorithm>
#include <cstdio>
#include <iterator>

#include "AnsiText.h"

namespace fenn::fake {

namespace {
constexpr int32_t kErrOpenFormatFile = static_cast<int32_t>(0x80000001u);
constexpr int32_t kZlibErrno = -1;
constexpr int32_t kZlibDataError = -3;

int32_t UnpackFakeContainer(FakePlatform& platform, const std::wstring& source,
                            const std::wstring& destination) {
  if (!platform.fs.exists(source) || platform.fs.isFolder(source)) return kErrOpenFormatFile;
  const std::vector<uint8_t> container = platform.fs.contents(source);
  const std::string marker = kFakeContainerMarker;
  const bool valid = container.size() >= marker.size() &&
                     std::equal(marker.begin(), marker.end(), container.begin());
  // Like the real codec, a failed decode still leaves a destination behind.
  std::vector<uint8_t> plain;
  if (valid)
    plain.assign(container.begin() + static_cast<std::ptrdiff_t>(marker.size()), container.end());
  if (!platform.fs.writeBytes(destination, plain)) return kZlibErrno;
  return valid ? 0 : kZlibDataError;
}
}  // namespace

std::vector<uint8_t> FakeContainer(const std::string& content) {
  const std::string container = std::string(kFakeContainerMarker) + content;
  return std::vector<uint8_t>(container.begin(), container.end());
}

FakePlatform::FakePlatform() : codec(UnpackFakeContainer) {
  processes_->all.push_back(this);
}

FakePlatform::~FakePlatform() {
  leaveMachine();
}

void FakePlatform::leaveMachine() {
  if (processes_->setupRun == this) processes_->setupRun = nullptr;  // it ends with its process
  auto& all = processes_->all;
  all.erase(std::remove(all.begin(), all.end(), this), all.end());
}

void FakePlatform::joinMachineOf(FakePlatform& other) {
  leaveMachine();
  processes_ = other.processes_;
  processes_->all.push_back(this);
}

void FakePlatform::restartSystem() {
  modules_.clear();
  fs.releaseAllHolds();
  for (const std::wstring& path : deletedAtRestart) fs.deleteFile(path);
  deletedAtRestart.clear();
}

// ---- Scripted user -----------------------------------------------------------------------------

void FakePlatform::actAtYield(int yieldNumber, UserAction action) {
  yieldActions_.emplace(yieldNumber, action);
}

void FakePlatform::actWhenLabel(const std::wstring& labelText, UserAction action) {
  labelActions_.emplace_back(labelText, action);
}

void FakePlatform::perform(UserAction action) {
  if (events_ == nullptr || panelDestroyed) return;
  if (action == UserAction::EndSession) {
    // Every top-level window hears of the session's end, hidden or not.
    int16_t cancel = 0;
    events_->Form_QueryUnload(cancel, 2);
    events_->Form_EndSession();
    return;
  }
  // A hidden window receives no clicks and no close requests.
  if (!visible) return;
  switch (action) {
    case UserAction::ClickRun:
      if (cmdRun.visible) events_->cmdRun_Click();
      break;
    case UserAction::ClickCancel:
    case UserAction::PressEsc:
      if (cmdCancel.visible) events_->cmdCancel_Click();
      break;
    case UserAction::CloseRequest: {
      int16_t cancel = 0;
      events_->Form_QueryUnload(cancel, 0);
      if (cancel == 0) destroyPanel();
      break;
    }
    case UserAction::EndSession:
      break;  // delivered below
  }
}

void FakePlatform::yield() {
  ++yields;
  if (duringYield) duringYield();
  const auto due = yieldActions_.equal_range(yields);
  std::vector<UserAction> actions;
  for (auto it = due.first; it != due.second; ++it) actions.push_back(it->second);
  yieldActions_.erase(due.first, due.second);
  for (size_t i = 0; i < labelActions_.size();) {
    if (labelActions_[i].first == label) {
      actions.push_back(labelActions_[i].second);
      labelActions_.erase(labelActions_.begin() + static_cast<std::ptrdiff_t>(i));
    } else {
      ++i;
    }
  }
  for (UserAction action : actions) perform(action);
  if (yields >= stallLimit && visible) {
    stalled = true;
    hidePanel();
  }
}

// ---- Window system -----------------------------------------------------------------------------

void FakePlatform::createPanel(const FormDescription& form, PanelEvents& events) {
  events_ = &events;
  visible = false;
  label = form.lbDesc.caption;
  cmdRun = FakeButton{form.cmdRun.caption, form.cmdRun.visible};
  cmdCancel = FakeButton{form.cmdCancel.caption, form.cmdCancel.visible};
  windowLog.push_back(L"create");
}

void FakePlatform::destroyPanel() {
  panelDestroyed = true;
  visible = false;
  windowLog.push_back(L"destroy");
}

void FakePlatform::showPanel() {
  visible = true;
  windowLog.push_back(L"show");
}

void FakePlatform::hidePanel() {
  visible = false;
  windowLog.push_back(L"hide");
}

bool FakePlatform::panelVisible() {
  return visible;
}

void FakePlatform::setLabelText(const std::wstring& text) {
  label = text;
  labelLog.push_back(text);
  windowLog.push_back(L"label:" + text);
}

FakeButton& FakePlatform::button(PanelButton which) {
  return which == PanelButton::Run ? cmdRun : cmdCancel;
}

std::wstring FakePlatform::buttonCaption(PanelButton which) {
  return button(which).caption;
}

void FakePlatform::setButtonCaption(PanelButton which, const std::wstring& caption) {
  button(which).caption = caption;
}

void FakePlatform::setButtonVisible(PanelButton which, bool shown) {
  button(which).visible = shown;
}

void FakePlatform::messageBox(const std::wstring& text, const std::wstring& title) {
  messageBoxes.push_back({text, title});
  windowLog.push_back(L"box:" + title);
}

bool FakePlatform::startProgram(const std::wstring& path, const std::wstring& workingFolder,
                                StartAs as) {
  windowLog.push_back(L"start:" + path);
  if (!fs.exists(path) || fs.isFolder(path) || !fs.isFolder(workingFolder)) return false;
  if (as == StartAs::DesktopUser && !desktopUserFound) return false;
  startedPrograms.push_back(path);
  starts.push_back({workingFolder, as});
  return true;
}

bool FakePlatform::findDesktopUser() {
  return desktopUserFound;
}

EntryAccess FakePlatform::desktopUserAccess(const std::wstring& path, uint32_t rights) {
  EntryAccess access;
  if (!desktopUserFound || !fs.exists(path)) return access;
  access.known = true;
  access.link = fs.isLink(path);
  for (const auto& entry : desktopUserRights) {
    if (SameName(entry.first, path)) access.rights = entry.second & rights;
  }
  return access;
}

void FakePlatform::waitForMessage() {
  ++waits;
  windowLog.push_back(L"wait");
}

void FakePlatform::sleepMilliseconds(uint32_t) {
  ++sleeps;
  if (duringSleep) duringSleep();
}

bool FakePlatform::claimSetupRun() {
  if (processes_->setupRun != nullptr && processes_->setupRun != this) return false;
  processes_->setupRun = this;
  return true;
}

bool FakePlatform::activateOtherPanel() {
  for (FakePlatform* other : processes_->all) {
    // A hidden panel belongs to a setup that is ending.
    if (other == this || !other->visible || other->panelDestroyed) continue;
    ++other->otherPanelActivations;
    return true;
  }
  return false;
}

// ---- File system -------------------------------------------------------------------------------

ListResult FakePlatform::listFirst(const std::wstring& pattern, int attributes) {
  return fs.listFirst(pattern, attributes);
}

ListResult FakePlatform::listNext() {
  return fs.listNext();
}

bool FakePlatform::deleteFileAtRestart(const std::wstring& path) {
  // Like MoveFileEx, the request does not look at the file: one made later is covered too.
  if (restartDeletionRefused) return false;
  deletedAtRestart.push_back(path);
  return true;
}

bool FakePlatform::cancelDeletionAtRestart(const std::wstring& path) {
  for (auto pending = deletedAtRestart.rbegin(); pending != deletedAtRestart.rend(); ++pending) {
    if (SameName(*pending, path)) {
      deletedAtRestart.erase(std::next(pending).base());
      return true;
    }
  }
  return false;
}

bool FakePlatform::deletionPendingAtRestart(const std::wstring& path) {
  for (const std::wstring& pending : deletedAtRestart) {
    if (SameName(pending, path)) return true;
  }
  return false;
}

bool FakePlatform::deleteFile(const std::wstring& path) {
  return fs.deleteFile(path);
}

bool FakePlatform::renameFile(const std::wstring& from, const std::wstring& to) {
  return fs.renameFile(from, to);
}

bool FakePlatform::writeBytes(const std::wstring& path, const std::vector<uint8_t>& bytes) {
  return fs.writeBytes(path, bytes);
}

bool FakePlatform::writeNewFile(const std::wstring& path, const std::vector<uint8_t>& bytes,
                                const std::function<bool()>& whileEmpty) {
  if (fs.exists(path) || !fs.writeBytes(path, {})) return false;
  fs.hold(path);  // the open handle: nobody else writes or deletes the file until it is closed
  const bool claimed = whileEmpty();
  fs.release(path);
  if (claimed && writeBytes(path, bytes)) return true;
  fs.deleteFile(path);
  return false;
}

// ---- Resources ---------------------------------------------------------------------------------

std::optional<std::wstring> FakePlatform::loadResourceString(int id) {
  stringReads.push_back(id);
  const auto entry = resourceStrings.find(id);
  if (entry == resourceStrings.end()) return std::nullopt;
  return entry->second;
}

std::optional<std::vector<uint8_t>> FakePlatform::loadResourceData(int id) {
  dataReads.push_back(id);
  const auto entry = customResources.find(id);
  if (entry == customResources.end()) return std::nullopt;
  return entry->second;
}

// ---- Held folders ------------------------------------------------------------------------------

namespace {

class FakeHeldFolder : public HeldFolder {
 public:
  FakeHeldFolder(FakePlatform& platform, FakeFileSystem::Node* folder, std::wstring path,
                 bool isPrivate)
      : platform_(platform), folder_(folder), path_(std::move(path)), remove_(isPrivate) {
    ++platform_.heldFolders;
    // A private folder is the process's temp folder while it exists.
    if (isPrivate) {
      savedTemp_ = platform_.tempFolder;
      platform_.tempFolder = path_ + L"\\";
    }
  }
  ~FakeHeldFolder() override {
    --platform_.heldFolders;
    if (remove_) {
      platform_.tempFolder = savedTemp_;
      platform_.fs.removeFolderIfEmpty(folder_);
    } else {
      platform_.fs.releaseFolder(folder_);
    }
  }

  const std::wstring& path() const override { return path_; }
  bool hasFile(const std::wstring& name) override {
    return platform_.fs.hasRegularFile(folder_, name);
  }
  Moved moveInto(const std::wstring& file, const std::wstring& name) override {
    return Step(platform_.fs.moveInto(folder_, file, name));
  }
  bool copyInto(const std::wstring& file, const std::wstring& partialName,
                const std::wstring& name) override {
    ++platform_.copies;
    if (!platform_.fs.exists(file) || platform_.fs.isFolder(file)) return false;
    const std::vector<uint8_t> data = platform_.fs.contents(file);
    FakeFileSystem::Node* made = Step(platform_.fs.createIn(folder_, partialName));
    if (made == nullptr) return false;
    bool whole = platform_.fs.writeHeld(
        made, std::vector<uint8_t>(data.begin(),
                                   data.begin() + static_cast<std::ptrdiff_t>(data.size() / 2)));
    if (platform_.duringCopy) platform_.duringCopy(path_ + L"\\" + partialName);
    whole = Step(whole && platform_.fs.writeHeld(made, data));
    whole = Step(whole && platform_.fs.renameHeld(folder_, made, name));
    platform_.fs.closeHeld(made, !whole);  // the handle that made it deletes it
    return Step(whole);
  }
  bool deleteRegularFile(const std::wstring& name) override {
    return Step(platform_.fs.deleteRegularFile(folder_, name));
  }

 private:
  template <typename T>
  T Step(T result) {
    if (platform_.afterHeldFolderStep) platform_.afterHeldFolderStep();
    return result;
  }

  FakePlatform& platform_;
  FakeFileSystem::Node* folder_;
  std::wstring path_;
  bool remove_;
  std::wstring savedTemp_;
};

}  // namespace

std::unique_ptr<HeldFolder> FakePlatform::holdFolder(const std::wstring& path) {
  FakeFileSystem::Node* folder = fs.holdFolder(path);
  if (folder == nullptr) return nullptr;
  return std::make_unique<FakeHeldFolder>(*this, folder, path, false);
}

std::unique_ptr<HeldFolder> FakePlatform::makePrivateFolder(const std::wstring& parent) {
  std::wstring base = parent;
  if (base.empty() || base.back() != L'\\') base += L'\\';
  if (!fs.isFolder(base)) return nullptr;
  for (int attempt = 0; attempt < 16; ++attempt) {
    wchar_t hex[16];
    std::swprintf(hex, 16, L"~FennSetup-%X", privateCounter_++);
    if (fs.exists(base + hex)) continue;
    FakeFileSystem::Node* folder = fs.makeHeldFolder(base, hex, kPrivatePermissions);
    if (folder == nullptr) return nullptr;
    return std::make_unique<FakeHeldFolder>(*this, folder, base + hex, true);
  }
  return nullptr;
}

// ---- kernel32 ----------------------------------------------------------------------------------

std::wstring FakePlatform::systemDirectory() {
  return systemDirectoryFails ? std::wstring() : systemFolder;
}

std::wstring FakePlatform::tempPath() {
  return tempPathFails ? std::wstring() : tempFolder;
}

std::wstring FakePlatform::createTempFile(const std::wstring& folder, const std::wstring& prefix) {
  ++tempFileNames;
  if (!fs.isFolder(folder)) return std::wstring();
  std::wstring base = folder;
  if (base.empty() || base.back() != L'\\') base += L'\\';
  for (int attempt = 0; attempt < 0x10000; ++attempt) {
    const unsigned unique = tempCounter_++ & 0xffffu;  // the unique number 0 is never used
    if (unique == 0) continue;
    wchar_t hex[8];
    std::swprintf(hex, 8, L"%X", unique);
    const std::wstring candidate = base + prefix.substr(0, 3) + hex + L".TMP";
    if (fs.exists(candidate)) continue;
    if (!fs.writeBytes(candidate, {})) return std::wstring();
    return candidate;
  }
  return std::wstring();
}

uint32_t FakePlatform::logicalDrives() {
  return fs.logicalDrives();
}

uint32_t FakePlatform::driveType(const std::wstring& root) {
  return fs.driveType(root);
}

ModuleHandle FakePlatform::loadLibrary(const std::wstring& fullPath) {
  const bool fullyQualified = fullPath.size() > 3 && fullPath[1] == L':' && fullPath[2] == L'\\';
  if (!fullyQualified || !fs.exists(fullPath) || fs.isFolder(fullPath)) return 0;
  for (const std::wstring& refused : unloadableModules) {
    if (SameName(refused, fullPath)) return 0;
  }
  for (auto& module : modules_) {
    if (SameName(module.second.path, fullPath)) {
      ++module.second.references;
      return module.first;
    }
  }
  const ModuleHandle handle = nextModule_;
  nextModule_ += 0x10000;
  modules_[handle] = Module{fullPath, 1};
  fs.hold(fullPath);  // a mapped module's file cannot be deleted
  return handle;
}

void FakePlatform::freeLibrary(ModuleHandle handle) {
  const auto module = modules_.find(handle);
  if (module == modules_.end()) {
    ++badFrees;
    return;
  }
  if (--module->second.references == 0) {
    fs.release(module->second.path);
    modules_.erase(module);
  }
}

int FakePlatform::moduleReferences(const std::wstring& path) const {
  for (const auto& module : modules_) {
    if (SameName(module.second.path, path)) return module.second.references;
  }
  return 0;
}

std::wstring FakePlatform::programFilesX86Folder() {
  return programFilesX86;
}

// ---- advapi32 ----------------------------------------------------------------------------------

RegKey FakePlatform::openUserKey(const std::wstring& subKey) {
  return registry.open(subKey);
}

RegRead FakePlatform::queryValue(RegKey key, const std::wstring& valueName, uint32_t capacity) {
  return registry.query(key, valueName, capacity);
}

void FakePlatform::closeKey(RegKey key) {
  registry.close(key);
}

// ---- Text and codec ----------------------------------------------------------------------------

std::wstring FakePlatform::fromAnsi(const std::string& text) {
  return FromCp949(text);
}

std::optional<int32_t> FakePlatform::callDecompress(ModuleHandle module, const std::wstring& source,
                                                    const std::wstring& destination) {
  const auto loaded = modules_.find(module);
  if (loaded == modules_.end() || codecEntryMissing) return std::nullopt;
  decompressModules.push_back(loaded->second.path);
  // The codec pumps window messages while it works.
  yield();
  // It sees the paths as the narrow code page gives them.
  return codec(*this, FromCp949(ToCp949(source)), FromCp949(ToCp949(destination)));
}

}  // namespace fenn::fake
