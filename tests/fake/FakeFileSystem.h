// An in-memory file system with the Windows semantics the setup logic relies on: drives with
// types, case-insensitive paths that keep their spelling, attributes, the directory listing with
// its attribute sets and wildcard patterns, one open listing at a time, and injectable failures.
#pragma once

#include <cstdint>
#include <map>
#include <memory>
#include <string>
#include <utility>
#include <vector>

#include "platform/Platform.h"

namespace fenn::fake {

constexpr uint32_t kAttrReadOnly = 0x01;
constexpr uint32_t kAttrHidden = 0x02;
constexpr uint32_t kAttrSystem = 0x04;
constexpr uint32_t kAttrFolder = 0x10;

constexpr uint32_t kDriveRemovable = 2;
constexpr uint32_t kDriveRemote = 4;
constexpr uint32_t kDriveCdRom = 5;
constexpr uint32_t kDriveNoRootDir = 1;

class FakeFileSystem {
 public:
  struct Node;  // an entry: what a handle to it names, whatever its path becomes

  FakeFileSystem();
  ~FakeFileSystem();
  // A copy of the whole disk as it stands (a machine whose setup was killed at this moment).
  FakeFileSystem(const FakeFileSystem& other);
  FakeFileSystem& operator=(const FakeFileSystem& other);

  // ---- Building a machine ------------------------------------------------------------------
  void addDrive(wchar_t letter, uint32_t type);
  // Creates the folder and any missing parents. A non-root folder starts with "." and "..".
  void addFolder(const std::wstring& path, uint32_t attributes = 0);
  // Creates or replaces a file (and any missing parent folders).
  void addFile(const std::wstring& path, const std::string& content = std::string(),
               uint32_t attributes = 0);
  void addFile(const std::wstring& path, const std::vector<uint8_t>& content,
               uint32_t attributes = 0);
  void setAttributes(const std::wstring& path, uint32_t attributes);
  // Listing this folder's entries (or any path inside it) fails, as for access denied.
  void setListingError(const std::wstring& folder, bool failing = true);
  // Nothing can be created, written, deleted or renamed in this folder or below it.
  void setWriteProtected(const std::wstring& folder, bool protectedFolder = true);
  // Writes in this folder stop after `bytes` bytes, leaving a partial file (a full disk).
  void setWriteQuota(const std::wstring& folder, size_t bytes);
  // Puts the named entries of a folder first, in the given order (the listing follows it).
  void setListingOrder(const std::wstring& folder, const std::vector<std::wstring>& names);
  // A folder entry that points at `target` (a junction): listings below it show the target's
  // entries, so a target above it makes a cycle.
  void addLink(const std::wstring& path, const std::wstring& target);

  // The permissions of an entry, as a label; a new entry takes its folder's.
  void setPermissions(const std::wstring& path, const std::wstring& permissions);
  // Another process renames a folder (or moves it within its drive); a held folder cannot be.
  bool moveFolder(const std::wstring& from, const std::wstring& to);

  // ---- Inspecting -----------------------------------------------------------------------------
  bool exists(const std::wstring& path) const;
  bool isFolder(const std::wstring& path) const;
  // The entry itself is a link made by addLink (paths through it reach the target).
  bool isLink(const std::wstring& path) const;
  std::vector<uint8_t> contents(const std::wstring& path) const;
  std::string text(const std::wstring& path) const;
  std::wstring permissions(const std::wstring& path) const;
  // Names in a folder in listing order, without "." and "..".
  std::vector<std::wstring> entries(const std::wstring& folder) const;

  // Held files (a loaded module) cannot be deleted or overwritten.
  void hold(const std::wstring& path);
  void release(const std::wstring& path);
  // The processes that held files have ended.
  void releaseAllHolds();

  // ---- The platform's operations ---------------------------------------------------------------
  uint32_t logicalDrives() const;
  uint32_t driveType(const std::wstring& root) const;
  ListResult listFirst(const std::wstring& pattern, int attributes);
  ListResult listNext();
  bool deleteFile(const std::wstring& path);
  // Within one drive only: each drive is a volume of its own.
  bool renameFile(const std::wstring& from, const std::wstring& to);
  bool writeBytes(const std::wstring& path, const std::vector<uint8_t>& bytes);

  // ---- Held folders: entries named by their node, never by a path ----------------------------
  // The folder at `path` itself (a link there is not followed), held; null when there is none.
  Node* holdFolder(const std::wstring& path);
  void releaseFolder(Node* folder);
  // A new folder `name` in `parent` with these permissions, held; null when it cannot be made.
  Node* makeHeldFolder(const std::wstring& parent, const std::wstring& name,
                       const std::wstring& permissions);
  // Removes the held folder when it is empty.
  void removeFolderIfEmpty(Node* folder);
  bool hasRegularFile(Node* folder, const std::wstring& name) const;
  Moved moveInto(Node* folder, const std::wstring& from, const std::wstring& name);
  // A new empty file, held by its creator (nobody else opens or deletes it); null where any
  // entry of that name is.
  Node* createIn(Node* folder, const std::wstring& name);
  bool writeHeld(Node* file, const std::vector<uint8_t>& bytes);
  bool renameHeld(Node* folder, Node* file, const std::wstring& name);
  void closeHeld(Node* file, bool deleteIt);
  bool deleteRegularFile(Node* folder, const std::wstring& name);

  // Every listFirst, in order: pattern and attribute set.
  std::vector<std::pair<std::wstring, int>> listLog;

 private:
  struct Location;
  static size_t roomIn(const Node* folder, size_t wanted);
  static void removeNode(Node* node);
  // Moves the entry into `folder` as `name`; with `inherit` it takes the folder's permissions.
  static void moveNode(Node* node, Node* folder, const std::wstring& name, bool inherit);
  Node* find(const std::wstring& path) const;
  Node* makeFolders(const std::wstring& path);
  Node& requireFolder(const std::wstring& path) const;
  Node* parentForWrite(const std::wstring& path, std::wstring& leaf) const;
  static bool writeProtected(const Node* folder);
  static const Node* rootOf(const Node* node);
  static std::unique_ptr<Node> clone(const Node& node, Node* parent);

  std::map<wchar_t, std::pair<uint32_t, std::unique_ptr<Node>>> drives_;
  std::vector<std::wstring> listing_;
  std::vector<bool> listingLinks_;
  std::vector<uint64_t> listingSizes_;
  size_t listingNext_ = 0;
  bool listingOpen_ = false;
};

// Windows-style wildcard match of one name, letter case ignored.
bool WildcardMatch(const std::wstring& pattern, const std::wstring& name);
bool SameName(const std::wstring& a, const std::wstring& b);

}  // namespace fenn::fake
