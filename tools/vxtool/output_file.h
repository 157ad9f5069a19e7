// vxtool's outputs appear whole or not at all: a pass writes a temporary file in the target's
// folder, which is renamed to the target only when the pass succeeded. A failure, and an interrupt
// (SIGINT, SIGTERM, SIGHUP; Ctrl+C or Ctrl+Break on Windows), leave the target as it was and remove
// the temporary file. A file-size limit (SIGXFSZ) is ignored, so that it fails the write that
// passes it and ends the same way.
#pragma once

#include <cstdint>
#include <string>

namespace vxtool {

class OutputFile {
 public:
  // Creates the temporary file beside `target`. On failure isOpen() is false and error() says why.
  explicit OutputFile(const std::string& target);
  // Removes the temporary file unless it was committed.
  ~OutputFile();
  OutputFile(const OutputFile&) = delete;
  OutputFile& operator=(const OutputFile&) = delete;

  bool isOpen() const { return !temp_.empty(); }
  const std::string& tempPath() const { return temp_; }

  // Puts the temporary file in the target's place. `replace`: an existing target is replaced;
  // otherwise a target that exists by now (another process made it since the run started) is kept
  // and the commit fails with the system's "file exists". False, with error() set, when it fails;
  // the target is then unchanged.
  bool commit(bool replace);

  // The system's code of the last failure (complib::systemErrorText names it).
  int error() const { return error_; }

 private:
  std::string target_;
  std::string temp_;
  bool committed_ = false;
  int error_ = 0;
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
