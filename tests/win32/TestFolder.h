// Scratch folders and small file helpers for the tests of the real platform.
#pragma once

#include <windows.h>

#include <cstdint>
#include <string>
#include <vector>

namespace fenn::test {

// A fresh folder under the user's temp folder, removed with everything in it at the end.
class TestFolder {
 public:
  TestFolder();
  ~TestFolder();
  TestFolder(const TestFolder&) = delete;
  TestFolder& operator=(const TestFolder&) = delete;

  // The folder's full path, ending in "\".
  const std::wstring& path() const { return path_; }
  std::wstring operator/(const std::wstring& relative) const { return path_ + relative; }

  // Creates a file (with `content`) or a folder below this one, with the given attributes.
  std::wstring addFile(const std::wstring& relative, const std::string& content = "",
                       DWORD attributes = FILE_ATTRIBUTE_NORMAL) const;
  std::wstring addFolder(const std::wstring& relative,
                         DWORD attributes = FILE_ATTRIBUTE_NORMAL) const;

 private:
  std::wstring path_;
};

bool fileExists(const std::wstring& path);
// The whole file; ok is false when it cannot be read.
std::vector<uint8_t> readFile(const std::wstring& path, bool& ok);
// Programs carried inside the test program as resources (its own folder need not be reachable
// through a drive letter): the release codec library and the stand-in updater.
constexpr int kEmbeddedCodecLibrary = 201;
constexpr int kEmbeddedStandinUpdater = 202;
// Writes the embedded file `id` to `path`.
bool writeEmbeddedFile(int id, const std::wstring& path);

}  // namespace fenn::test
