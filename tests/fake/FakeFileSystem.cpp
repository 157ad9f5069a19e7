#include "FakeFileSystem.h"

#include <algorithm>
#include <cwctype>
#include <stdexcept>

namespace fenn::fake {

namespace {

constexpr wchar_t kCurrentDrive = L'C';

wchar_t Fold(wchar_t c) {
  return static_cast<wchar_t>(std::towupper(static_cast<wint_t>(c)));
}

bool IsDotName(const std::wstring& name) {
  return name == L"." || name == L"..";
}

bool GlobMatch(const wchar_t* pattern, const wchar_t* name) {
  // Iterative '*' backtracking; '?' takes exactly one character.
  const wchar_t* star = nullptr;
  const wchar_t* resume = nullptr;
  while (*name) {
    if (*pattern == L'*') {
      star = pattern++;
      resume = name;
    } else if (*pattern && (*pattern == L'?' || Fold(*pattern) == Fold(*name))) {
      ++pattern;
      ++name;
    } else if (star) {
      pattern = star + 1;
      name = ++resume;
    } else {
      return false;
    }
  }
  while (*pattern == L'*') ++pattern;
  return *pattern == 0;
}

bool Malformed(const std::wstring& path) {
  for (size_t i = 0; i < path.size(); ++i) {
    const wchar_t c = path[i];
    if (c == L'<' || c == L'>' || c == L'|' || c == L'"' || c < 32) return true;
    if (c == L':' && i != 1) return true;
  }
  return false;
}

struct ParsedPath {
  wchar_t drive = kCurrentDrive;
  std::vector<std::wstring> parts;
};

ParsedPath Parse(const std::wstring& path) {
  ParsedPath parsed;
  std::wstring rest = path;
  if (path.size() >= 2 && path[1] == L':') {
    parsed.drive = Fold(path[0]);
    rest = path.substr(2);
  }
  std::wstring part;
  for (wchar_t c : rest) {
    if (c == L'\\') {
      if (!part.empty()) parsed.parts.push_back(part);
      part.clear();
    } else {
      part += c;
    }
  }
  if (!part.empty()) parsed.parts.push_back(part);
  return parsed;
}

// Splits a path into its folder part (ending in "\" or a bare "X:") and its last name.
void SplitLeaf(const std::wstring& path, std::wstring& folder, std::wstring& leaf) {
  const size_t slash = path.rfind(L'\\');
  if (slash != std::wstring::npos) {
    folder = path.substr(0, slash + 1);
    leaf = path.substr(slash + 1);
  } else if (path.size() >= 2 && path[1] == L':') {
    folder = path.substr(0, 2) + L"\\";
    leaf = path.substr(2);
  } else {
    folder = std::wstring(1, kCurrentDrive) + L":\\";
    leaf = path;
  }
}

}  // namespace

bool SameName(const std::wstring& a, const std::wstring& b) {
  if (a.size() != b.size()) return false;
  for (size_t i = 0; i < a.size(); ++i) {
    if (Fold(a[i]) != Fold(b[i])) return false;
  }
  return true;
}

bool WildcardMatch(const std::wstring& pattern, const std::wstring& name) {
  if (IsDotName(name)) {
    return pattern == L"*" || pattern == L"*." || pattern == L"*.*" || pattern == name;
  }
  if (pattern == L"*.*") return true;
  // A trailing dot stands for "no extension": "*." matches names without a dot.
  if (!pattern.empty() && pattern.back() == L'.') {
    if (name.find(L'.') != std::wstring::npos) return false;
    return GlobMatch(pattern.substr(0, pattern.size() - 1).c_str(), name.c_str());
  }
  return GlobMatch(pattern.c_str(), name.c_str());
}

struct FakeFileSystem::Node {
  std::wstring name;
  uint32_t attributes = 0;
  bool dot = false;
  std::vector<uint8_t> data;
  std::vector<std::unique_ptr<Node>> children;
  Node* parent = nullptr;
  bool listingError = false;
  bool writeProtected = false;
  bool hasQuota = false;
  size_t quota = 0;
  int holds = 0;
  std::wstring linkTarget;
  std::wstring permissions;

  bool folder() const { return (attributes & kAttrFolder) != 0; }

  Node* child(const std::wstring& childName) const {
    for (const auto& entry : children) {
      if (!entry->dot && SameName(entry->name, childName)) return entry.get();
    }
    return nullptr;
  }

  // A new entry takes the permissions its folder gives; a moved one keeps its own.
  Node* add(std::unique_ptr<Node> node, bool inherit = true) {
    if (inherit) node->permissions = permissions;
    node->parent = this;
    children.push_back(std::move(node));
    return children.back().get();
  }
};

FakeFileSystem::FakeFileSystem() = default;
FakeFileSystem::~FakeFileSystem() = default;

void FakeFileSystem::addDrive(wchar_t letter, uint32_t type) {
  auto root = std::make_unique<Node>();
  root->name = std::wstring(1, Fold(letter)) + L":";
  root->attributes = kAttrFolder;
  drives_[Fold(letter)] = {type, std::move(root)};
}

FakeFileSystem::Node* FakeFileSystem::find(const std::wstring& path) const {
  const ParsedPath parsed = Parse(path);
  const auto drive = drives_.find(parsed.drive);
  if (drive == drives_.end()) return nullptr;
  Node* node = drive->second.second.get();
  for (const std::wstring& part : parsed.parts) {
    if (!node->folder()) return nullptr;
    node = node->child(part);
    if (node == nullptr) return nullptr;
    if (!node->linkTarget.empty()) node = find(node->linkTarget);
    if (node == nullptr) return nullptr;
  }
  return node;
}

FakeFileSystem::Node* FakeFileSystem::makeFolders(const std::wstring& path) {
  const ParsedPath parsed = Parse(path);
  auto drive = drives_.find(parsed.drive);
  if (drive == drives_.end()) throw std::invalid_argument("fake: no such drive");
  Node* node = drive->second.second.get();
  for (const std::wstring& part : parsed.parts) {
    Node* next = node->child(part);
    if (next == nullptr) {
      auto folder = std::make_unique<Node>();
      folder->name = part;
      folder->attributes = kAttrFolder;
      for (const wchar_t* dotName : {L".", L".."}) {
        auto dotEntry = std::make_unique<Node>();
        dotEntry->name = dotName;
        dotEntry->attributes = kAttrFolder;
        dotEntry->dot = true;
        folder->add(std::move(dotEntry));
      }
      next = node->add(std::move(folder));
    }
    if (!next->linkTarget.empty()) next = find(next->linkTarget);
    if (next == nullptr || !next->folder()) throw std::invalid_argument("fake: not a folder");
    node = next;
  }
  return node;
}

FakeFileSystem::Node& FakeFileSystem::requireFolder(const std::wstring& path) const {
  Node* node = find(path);
  if (node == nullptr || !node->folder()) throw std::invalid_argument("fake: no such folder");
  return *node;
}

void FakeFileSystem::addFolder(const std::wstring& path, uint32_t attributes) {
  makeFolders(path)->attributes = kAttrFolder | attributes;
}

void FakeFileSystem::addFile(const std::wstring& path, const std::string& content,
                             uint32_t attributes) {
  addFile(path, std::vector<uint8_t>(content.begin(), content.end()), attributes);
}

void FakeFileSystem::addFile(const std::wstring& path, const std::vector<uint8_t>& content,
                             uint32_t attributes) {
  std::wstring folder, leaf;
  SplitLeaf(path, folder, leaf);
  Node* parent = makeFolders(folder);
  Node* file = parent->child(leaf);
  if (file == nullptr) {
    auto node = std::make_unique<Node>();
    node->name = leaf;
    file = parent->add(std::move(node));
  }
  file->attributes = attributes & ~kAttrFolder;
  file->data = content;
}

void FakeFileSystem::addLink(const std::wstring& path, const std::wstring& target) {
  std::wstring folder, leaf;
  SplitLeaf(path, folder, leaf);
  auto node = std::make_unique<Node>();
  node->name = leaf;
  node->attributes = kAttrFolder;
  node->linkTarget = target;
  makeFolders(folder)->add(std::move(node));
}

void FakeFileSystem::setAttributes(const std::wstring& path, uint32_t attributes) {
  Node* node = find(path);
  if (node == nullptr) throw std::invalid_argument("fake: no such entry");
  node->attributes = (node->attributes & kAttrFolder) | (attributes & ~kAttrFolder);
}

void FakeFileSystem::setListingError(const std::wstring& folder, bool failing) {
  requireFolder(folder).listingError = failing;
}

void FakeFileSystem::setWriteProtected(const std::wstring& folder, bool protectedFolder) {
  requireFolder(folder).writeProtected = protectedFolder;
}

void FakeFileSystem::setWriteQuota(const std::wstring& folder, size_t bytes) {
  Node& node = requireFolder(folder);
  node.hasQuota = true;
  node.quota = bytes;
}

void FakeFileSystem::setListingOrder(const std::wstring& folder,
                                     const std::vector<std::wstring>& names) {
  Node& node = requireFolder(folder);
  std::vector<std::unique_ptr<Node>> ordered;
  for (const std::wstring& name : names) {
    for (auto& entry : node.children) {
      if (entry && entry->name == name) ordered.push_back(std::move(entry));
    }
  }
  for (auto& entry : node.children) {
    if (entry) ordered.push_back(std::move(entry));
  }
  node.children = std::move(ordered);
}

bool FakeFileSystem::exists(const std::wstring& path) const {
  return find(path) != nullptr;
}

bool FakeFileSystem::isLink(const std::wstring& path) const {
  std::wstring folderPart, leaf;
  SplitLeaf(path, folderPart, leaf);
  const Node* parent = find(folderPart);
  const Node* entry = parent != nullptr && parent->folder() ? parent->child(leaf) : nullptr;
  return entry != nullptr && !entry->linkTarget.empty();
}

bool FakeFileSystem::isFolder(const std::wstring& path) const {
  const Node* node = find(path);
  return node != nullptr && node->folder();
}

std::vector<uint8_t> FakeFileSystem::contents(const std::wstring& path) const {
  const Node* node = find(path);
  return node == nullptr ? std::vector<uint8_t>() : node->data;
}

std::string FakeFileSystem::text(const std::wstring& path) const {
  const std::vector<uint8_t> bytes = contents(path);
  return std::string(bytes.begin(), bytes.end());
}

std::vector<std::wstring> FakeFileSystem::entries(const std::wstring& folder) const {
  std::vector<std::wstring> names;
  const Node* node = find(folder);
  if (node == nullptr) return names;
  for (const auto& entry : node->children) {
    if (!entry->dot) names.push_back(entry->name);
  }
  return names;
}

void FakeFileSystem::hold(const std::wstring& path) {
  if (Node* node = find(path)) ++node->holds;
}

void FakeFileSystem::release(const std::wstring& path) {
  Node* node = find(path);
  if (node != nullptr && node->holds > 0) --node->holds;
}

uint32_t FakeFileSystem::logicalDrives() const {
  uint32_t mask = 0;
  for (const auto& drive : drives_) {
    if (drive.first >= L'A' && drive.first <= L'Z') mask |= 1u << (drive.first - L'A');
  }
  return mask;
}

uint32_t FakeFileSystem::driveType(const std::wstring& root) const {
  if (root.size() < 2 || root[1] != L':') return kDriveNoRootDir;
  const auto drive = drives_.find(Fold(root[0]));
  return drive == drives_.end() ? kDriveNoRootDir : drive->second.first;
}

ListResult FakeFileSystem::listFirst(const std::wstring& pattern, int attributes) {
  listLog.emplace_back(pattern, attributes);
  listing_.clear();
  listingLinks_.clear();
  listingSizes_.clear();
  listingNext_ = 0;
  listingOpen_ = false;

  ListResult result;
  // The empty pattern names nothing; the narrow listing's MAX_PATH buffer (260 characters, with
  // the "*" a trailing "\" stands for) makes a longer pattern an error.
  if (pattern.empty()) return result;
  const size_t queryLength = pattern.size() + (pattern.back() == L'\\' ? 1 : 0);
  std::wstring folderPart, namePart;
  SplitLeaf(pattern, folderPart, namePart);
  const bool wildFolder = folderPart.find_first_of(L"*?") != std::wstring::npos;
  if (queryLength >= 260 || Malformed(pattern) || wildFolder) {
    result.failed = true;
    return result;
  }
  listingOpen_ = true;
  // A drive that is not there is like a folder that is not there.
  if (drives_.count(Parse(folderPart).drive) == 0) return result;
  const Node* folder = find(folderPart);
  // A folder part that does not exist is no error: the listing is simply empty.
  if (folder == nullptr || !folder->folder()) return result;
  if (folder->listingError) {
    listingOpen_ = false;
    result.failed = true;
    return result;
  }
  if (namePart.empty()) namePart = L"*";

  const uint32_t excluded =
      kAttrHidden | kAttrSystem | (attributes & kAttrFolder ? 0 : kAttrFolder);
  for (const auto& entry : folder->children) {
    if ((entry->attributes & excluded) != 0) continue;
    if (WildcardMatch(namePart, entry->name)) {
      listing_.push_back(entry->name);
      listingLinks_.push_back(!entry->linkTarget.empty());
      listingSizes_.push_back(entry->data.size());
    }
  }
  return listNext();
}

ListResult FakeFileSystem::listNext() {
  ListResult result;
  // With no listing open there is nothing more to give.
  if (!listingOpen_) return result;
  if (listingNext_ < listing_.size()) {
    result.link = listingLinks_[listingNext_];
    result.size = listingSizes_[listingNext_];
    result.name = listing_[listingNext_++];
  }
  return result;
}

bool FakeFileSystem::writeProtected(const Node* folder) {
  for (; folder != nullptr; folder = folder->parent) {
    if (folder->writeProtected) return true;
  }
  return false;
}

FakeFileSystem::Node* FakeFileSystem::parentForWrite(const std::wstring& path,
                                                     std::wstring& leaf) const {
  std::wstring folderPart;
  SplitLeaf(path, folderPart, leaf);
  if (Malformed(path) || leaf.empty() || leaf.find_first_of(L"*?") != std::wstring::npos) {
    return nullptr;
  }
  Node* parent = find(folderPart);
  if (parent == nullptr || !parent->folder() || writeProtected(parent)) return nullptr;
  return parent;
}

bool FakeFileSystem::writeBytes(const std::wstring& path, const std::vector<uint8_t>& bytes) {
  std::wstring leaf;
  Node* parent = parentForWrite(path, leaf);
  if (parent == nullptr) return false;
  Node* file = parent->child(leaf);
  if (file != nullptr) {
    // Like CreateFile with CREATE_ALWAYS: a read-only, hidden or system file is not replaced.
    if (file->folder() || file->holds > 0 ||
        (file->attributes & (kAttrReadOnly | kAttrHidden | kAttrSystem)) != 0) {
      return false;
    }
  } else {
    auto node = std::make_unique<Node>();
    node->name = leaf;
    file = parent->add(std::move(node));
  }
  size_t room = bytes.size();
  for (const Node* folder = parent; folder != nullptr; folder = folder->parent) {
    if (folder->hasQuota) room = std::min(room, folder->quota);
  }
  file->data.assign(bytes.begin(), bytes.begin() + static_cast<std::ptrdiff_t>(room));
  return room == bytes.size();
}

bool FakeFileSystem::deleteFile(const std::wstring& path) {
  Node* node = find(path);
  if (node == nullptr || node->folder() || node->holds > 0 ||
      (node->attributes & kAttrReadOnly) != 0 || writeProtected(node->parent)) {
    return false;
  }
  removeNode(node);
  return true;
}

const FakeFileSystem::Node* FakeFileSystem::rootOf(const Node* node) {
  while (node->parent != nullptr) node = node->parent;
  return node;
}

bool FakeFileSystem::renameFile(const std::wstring& from, const std::wstring& to) {
  Node* source = find(from);
  if (source == nullptr || source->folder() || writeProtected(source->parent)) return false;
  std::wstring leaf;
  Node* target = parentForWrite(to, leaf);
  if (target == nullptr || target->child(leaf) != nullptr) return false;
  // Each drive is a volume of its own; a rename never copies.
  if (rootOf(source) != rootOf(target)) return false;
  moveNode(source, target, leaf, false);
  return true;
}

std::unique_ptr<FakeFileSystem::Node> FakeFileSystem::clone(const Node& node, Node* parent) {
  auto copy = std::make_unique<Node>();
  copy->name = node.name;
  copy->attributes = node.attributes;
  copy->dot = node.dot;
  copy->data = node.data;
  copy->parent = parent;
  copy->listingError = node.listingError;
  copy->writeProtected = node.writeProtected;
  copy->hasQuota = node.hasQuota;
  copy->quota = node.quota;
  copy->holds = node.holds;
  copy->linkTarget = node.linkTarget;
  copy->permissions = node.permissions;
  for (const auto& child : node.children) copy->children.push_back(clone(*child, copy.get()));
  return copy;
}

FakeFileSystem::FakeFileSystem(const FakeFileSystem& other) {
  *this = other;
}

FakeFileSystem& FakeFileSystem::operator=(const FakeFileSystem& other) {
  if (this == &other) return *this;
  drives_.clear();
  for (const auto& drive : other.drives_) {
    drives_[drive.first] = {drive.second.first, clone(*drive.second.second, nullptr)};
  }
  listLog = other.listLog;
  listing_.clear();
  listingLinks_.clear();
  listingSizes_.clear();
  listingNext_ = 0;
  listingOpen_ = false;
  return *this;
}

void FakeFileSystem::releaseAllHolds() {
  for (auto& drive : drives_) {
    std::vector<Node*> folders{drive.second.second.get()};
    while (!folders.empty()) {
      Node* node = folders.back();
      folders.pop_back();
      node->holds = 0;
      for (auto& child : node->children) folders.push_back(child.get());
    }
  }
}

}  // namespace fenn::fake

namespace fenn::fake {

namespace {
// A name inside a folder: no folder part, no pattern.
bool BadLeaf(const std::wstring& name) {
  return name.empty() || Malformed(name) || name.find_first_of(L"\\:*?") != std::wstring::npos;
}
}  // namespace

void FakeFileSystem::setPermissions(const std::wstring& path, const std::wstring& permissions) {
  Node* node = find(path);
  if (node == nullptr) throw std::invalid_argument("fake: no such entry");
  node->permissions = permissions;
}

std::wstring FakeFileSystem::permissions(const std::wstring& path) const {
  const Node* node = find(path);
  return node == nullptr ? std::wstring() : node->permissions;
}

void FakeFileSystem::removeNode(Node* node) {
  auto& siblings = node->parent->children;
  siblings.erase(
      std::find_if(siblings.begin(), siblings.end(),
                   [node](const std::unique_ptr<Node>& entry) { return entry.get() == node; }));
}

void FakeFileSystem::moveNode(Node* node, Node* folder, const std::wstring& name, bool inherit) {
  auto& siblings = node->parent->children;
  auto position =
      std::find_if(siblings.begin(), siblings.end(),
                   [node](const std::unique_ptr<Node>& entry) { return entry.get() == node; });
  std::unique_ptr<Node> moved = std::move(*position);
  siblings.erase(position);
  moved->name = name;
  folder->add(std::move(moved), inherit);
}

bool FakeFileSystem::moveFolder(const std::wstring& from, const std::wstring& to) {
  std::wstring folderPart, leaf;
  SplitLeaf(from, folderPart, leaf);
  Node* parent = find(folderPart);
  Node* folder = parent != nullptr ? parent->child(leaf) : nullptr;
  if (folder == nullptr || folder->holds > 0) return false;
  std::wstring newLeaf;
  Node* target = parentForWrite(to, newLeaf);
  if (target == nullptr || target->child(newLeaf) != nullptr || rootOf(target) != rootOf(parent)) {
    return false;
  }
  moveNode(folder, target, newLeaf, false);
  return true;
}

FakeFileSystem::Node* FakeFileSystem::holdFolder(const std::wstring& path) {
  std::wstring folderPart, leaf;
  SplitLeaf(path, folderPart, leaf);
  Node* folder = nullptr;
  if (leaf.empty()) {
    folder = find(path);  // a drive's root
  } else if (Node* parent = find(folderPart); parent != nullptr && parent->folder()) {
    folder = parent->child(leaf);
    if (folder != nullptr && !folder->linkTarget.empty()) return nullptr;  // never through a link
  }
  if (folder == nullptr || !folder->folder()) return nullptr;
  ++folder->holds;
  return folder;
}

void FakeFileSystem::releaseFolder(Node* folder) {
  if (folder->holds > 0) --folder->holds;
}

FakeFileSystem::Node* FakeFileSystem::makeHeldFolder(const std::wstring& parent,
                                                     const std::wstring& name,
                                                     const std::wstring& permissions) {
  std::wstring leaf;
  Node* folder = parentForWrite(parent + name, leaf);
  if (folder == nullptr || folder->child(leaf) != nullptr) return nullptr;
  addFolder(parent + name);
  Node* made = folder->child(leaf);
  made->permissions = permissions;
  ++made->holds;
  return made;
}

void FakeFileSystem::removeFolderIfEmpty(Node* folder) {
  releaseFolder(folder);
  for (const auto& entry : folder->children) {
    if (!entry->dot) return;
  }
  if (folder->parent != nullptr && folder->holds == 0) removeNode(folder);
}

bool FakeFileSystem::hasRegularFile(Node* folder, const std::wstring& name) const {
  const Node* file = folder->child(name);
  return file != nullptr && !file->folder() && file->linkTarget.empty() &&
         (file->attributes & (kAttrHidden | kAttrSystem)) == 0;
}

Moved FakeFileSystem::moveInto(Node* folder, const std::wstring& from, const std::wstring& name) {
  Node* source = find(from);
  if (source == nullptr || source->folder() || source->holds > 0 ||
      writeProtected(source->parent)) {
    return Moved::Failed;
  }
  // Each drive is a volume of its own; a rename never copies.
  if (rootOf(source) != rootOf(folder)) return Moved::OtherVolume;
  if (writeProtected(folder) || BadLeaf(name) || folder->child(name) != nullptr) {
    return Moved::Failed;
  }
  moveNode(source, folder, name, true);  // its permissions: what the folder gives a new file
  return Moved::Done;
}

FakeFileSystem::Node* FakeFileSystem::createIn(Node* folder, const std::wstring& name) {
  if (writeProtected(folder) || BadLeaf(name) || folder->child(name) != nullptr) return nullptr;
  auto node = std::make_unique<Node>();
  node->name = name;
  node->holds = 1;
  return folder->add(std::move(node));
}

size_t FakeFileSystem::roomIn(const Node* folder, size_t wanted) {
  for (; folder != nullptr; folder = folder->parent) {
    if (folder->hasQuota) wanted = std::min(wanted, folder->quota);
  }
  return wanted;
}

bool FakeFileSystem::writeHeld(Node* file, const std::vector<uint8_t>& bytes) {
  const size_t room = roomIn(file->parent, bytes.size());
  file->data.assign(bytes.begin(), bytes.begin() + static_cast<std::ptrdiff_t>(room));
  return room == bytes.size();
}

bool FakeFileSystem::renameHeld(Node* folder, Node* file, const std::wstring& name) {
  if (file->parent != folder || BadLeaf(name) || folder->child(name) != nullptr) return false;
  file->name = name;
  return true;
}

void FakeFileSystem::closeHeld(Node* file, bool deleteIt) {
  file->holds = 0;
  if (deleteIt) removeNode(file);
}

bool FakeFileSystem::deleteRegularFile(Node* folder, const std::wstring& name) {
  Node* file = folder->child(name);
  if (!hasRegularFile(folder, name) || file->holds > 0 || (file->attributes & kAttrReadOnly) != 0 ||
      writeProtected(folder)) {
    return false;
  }
  removeNode(file);
  return true;
}

}  // namespace fenn::fake
