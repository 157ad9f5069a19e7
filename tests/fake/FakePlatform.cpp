#include "FakePlatform.h"

#include <cstdio>

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

FakePlatform::FakePlatform() : codec(UnpackFakeContainer) {}

// ---- Scripted user -----------------------------------------------------------------------------

void FakePlatform::actAtYield(int yieldNumber, UserAction action) {
  yieldActions_.emplace(yieldNumber, action);
}

void FakePlatform::actWhenLabel(const std::wstring& labelText, UserAction action) {
  labelActions_.emplace_back(labelText, action);
}

void FakePlatform::perform(UserAction action) {
  // A hidden or destroyed window receives no clicks and no close requests.
  if (events_ == nullptr || panelDestroyed || !visible) return;
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
  panelCreated = true;
  visible = false;
  formCaption = form.caption;
  label = form.lbDesc.caption;
  cmdRun = FakeButton{form.cmdRun.caption, L"", form.cmdRun.visible};
  cmdCancel = FakeButton{form.cmdCancel.caption, L"", form.cmdCancel.visible};
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

std::wstring FakePlatform::buttonTag(PanelButton which) {
  return button(which).tag;
}

void FakePlatform::setButtonTag(PanelButton which, const std::wstring& tag) {
  button(which).tag = tag;
}

void FakePlatform::setButtonVisible(PanelButton which, bool shown) {
  button(which).visible = shown;
}

void FakePlatform::messageBox(const std::wstring& text, int flags, const std::wstring& title) {
  messageBoxes.push_back({text, flags, title});
  windowLog.push_back(L"box:" + title);
}

bool FakePlatform::startProgram(const std::wstring& path, int showStyle) {
  windowLog.push_back(L"start:" + path);
  if (!fs.exists(path) || fs.isFolder(path)) return false;
  startedPrograms.push_back({path, showStyle});
  return true;
}

void FakePlatform::waitForMessage() {
  ++waits;
  windowLog.push_back(L"wait");
}

void FakePlatform::sleepMilliseconds(uint32_t) {
  ++sleeps;
}

// ---- File system -------------------------------------------------------------------------------

ListResult FakePlatform::listFirst(const std::wstring& pattern, int attributes) {
  return fs.listFirst(pattern, attributes);
}

ListResult FakePlatform::listNext() {
  return fs.listNext();
}

bool FakePlatform::deleteFileAtRestart(const std::wstring& path) {
  if (!fs.exists(path)) return false;
  deletedAtRestart.push_back(path);
  return true;
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

// ---- Resources ---------------------------------------------------------------------------------

bool FakePlatform::loadResourceString(int id, std::wstring& text) {
  stringReads.push_back(id);
  const auto entry = resourceStrings.find(id);
  if (entry == resourceStrings.end()) return false;
  text = entry->second;
  return true;
}

bool FakePlatform::loadResourceData(int id, const std::wstring& type, std::vector<uint8_t>& bytes) {
  dataReads.push_back(id);
  if (!SameName(type, L"CUSTOM")) return false;
  const auto entry = customResources.find(id);
  if (entry == customResources.end()) return false;
  bytes = entry->second;
  return true;
}

// ---- kernel32 ----------------------------------------------------------------------------------

uint32_t FakePlatform::getSystemDirectory(std::wstring& directory) {
  if (systemDirectoryFails) return 0;
  directory = systemDirectory;
  return static_cast<uint32_t>(directory.size());
}

uint32_t FakePlatform::getTempPath(std::wstring& folder) {
  if (tempPathFails) return 0;
  folder = tempFolder;
  return static_cast<uint32_t>(folder.size());
}

uint32_t FakePlatform::getTempFileName(const std::wstring& folder, const std::wstring& prefix,
                                       std::wstring& path) {
  ++tempFileNames;
  if (!fs.isFolder(folder)) return 0;
  std::wstring base = folder;
  if (base.empty() || base.back() != L'\\') base += L'\\';
  for (int attempt = 0; attempt < 0x10000; ++attempt) {
    const unsigned unique = tempCounter_++ & 0xffffu;  // the unique number 0 is never used
    if (unique == 0) continue;
    wchar_t hex[8];
    std::swprintf(hex, 8, L"%X", unique);
    const std::wstring candidate = base + prefix.substr(0, 3) + hex + L".TMP";
    if (fs.exists(candidate)) continue;
    if (!fs.writeBytes(candidate, {})) return 0;
    path = candidate;
    return unique;
  }
  return 0;
}

uint32_t FakePlatform::getLogicalDrives() {
  return fs.logicalDrives();
}

uint32_t FakePlatform::getDriveType(const std::wstring& root) {
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

// ---- advapi32 ----------------------------------------------------------------------------------

long FakePlatform::regOpenKeyEx(uintptr_t root, const std::wstring& subKey, uint32_t options,
                                uint32_t access, RegKey& key) {
  if (options != 0 || access != kKeyQueryValue) return kErrorAccessDenied;
  return registry.open(root, subKey, key);
}

long FakePlatform::regQueryValueEx(RegKey key, const std::wstring& valueName, uint32_t& type,
                                   std::string& data, uint32_t& size) {
  return registry.query(key, valueName, type, data, size);
}

long FakePlatform::regCloseKey(RegKey key) {
  return registry.close(key);
}

// ---- Text and codec ----------------------------------------------------------------------------

std::string FakePlatform::toAnsi(const std::wstring& text) {
  return ToCp949(text);
}

std::wstring FakePlatform::fromAnsi(const std::string& text) {
  return FromCp949(text);
}

bool FakePlatform::callDecompress(ModuleHandle module, const std::string& source,
                                  const std::string& destination, int32_t& status) {
  const auto loaded = modules_.find(module);
  if (loaded == modules_.end() || codecEntryMissing) return false;
  decompressModules.push_back(loaded->second.path);
  // The codec pumps window messages while it works.
  yield();
  status = codec(*this, fromAnsi(source), fromAnsi(destination));
  return true;
}

}  // namespace fenn::fake
