// vxtool's outputs appear whole or not at all: a pass writes a temporary file in the target's
// folder, which is renamed over the target only when the pass succeeded. A failure, and an
// interrupt (SIGINT, SIGTERM, SIGHUP; Ctrl+C or Ctrl+Break on Windows), leave the target as it was
// and remove the temporary file.
#pragma once

#include <cstdint>
#include <string>

namespace vxtool {

class OutputFile {
 public:
  // Creates the temporary file beside `target`. On failure isOpen() is false and errno says why.
  explicit OutputFile(const std::string& target);
  // Removes the temporary file unless it was committed.
  ~OutputFile();
  OutputFile(const OutputFile&) = delete;
  OutputFile& operator=(const OutputFile&) = delete;

  bool isOpen() const { return !temp_.empty(); }
  const std::string& tempPath() const { return temp_; }

  // Puts the temporary file in the target's place (replacing it). False, with errno set, when that
  // fails; the target is then unchanged.
  bool commit();

 private:
  std::string target_;
  std::string temp_;
  bool committed_ = false;
};

// Windows: whether Ctrl+C or Ctrl+Break was pressed; the running pass then stops and the
// temporary file is removed. Elsewhere the signal handler removes it and ends the program itself,
// so this stays false.
bool interruptRequested();

// The exit code of a program ended by an interrupt (Windows' STATUS_CONTROL_C_EXIT).
constexpr int kExitInterrupted = static_cast<int>(0xC000013Au);

// Whether `path` names an existing file system object (a dangling link counts).
bool pathExists(const std::string& path);

// The size of the file at `path`, 0 when it cannot be read.
uint64_t fileSizeOf(const char* path);

}  // namespace vxtool
