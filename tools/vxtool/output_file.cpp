#include "output_file.h"

#include <cerrno>
#include <csignal>
#include <cstdio>
#include <cstring>

#ifdef _WIN32
#include <windows.h>
#else
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>
#endif

#include "vx_operations.h"

namespace vxtool {

namespace {

std::string folderOf(const std::string& path) {
#ifdef _WIN32
  const size_t slash = path.find_last_of("\\/:");
#else
  const size_t slash = path.find_last_of('/');
#endif
  if (slash == std::string::npos) return ".";
  return path.substr(0, slash + 1);
}

#ifdef _WIN32

volatile LONG g_interrupted = 0;

BOOL WINAPI onConsoleEvent(DWORD event) {
  InterlockedExchange(&g_interrupted, 1);
  if (event == CTRL_C_EVENT || event == CTRL_BREAK_EVENT) return TRUE;
  // Closing the console, logoff or shutdown end the process when this returns: give the main
  // thread the time to stop its pass and remove its temporary file; it exits the process itself.
  Sleep(4000);
  return FALSE;
}

void watchInterrupts() {
  static bool installed = false;
  if (!installed) installed = SetConsoleCtrlHandler(onConsoleEvent, TRUE) != FALSE;
}

bool makeTemp(const std::string& folder, std::string& temp) {
  char name[MAX_PATH + 1];
  // Number 0: the system picks a unique name and creates the empty file.
  if (GetTempFileNameA(folder.c_str(), "vxt", 0, name) == 0) return false;
  temp = name;
  return true;
}

void removeTemp(const std::string& temp) {
  DeleteFileA(temp.c_str());
}

bool moveIntoPlace(const std::string& temp, const std::string& target, bool replace) {
  // Without MOVEFILE_REPLACE_EXISTING the move fails on a target that exists
  // (ERROR_ALREADY_EXISTS).
  return MoveFileExA(temp.c_str(), target.c_str(), replace ? MOVEFILE_REPLACE_EXISTING : 0) != 0;
}

#else

// The temporary file a signal handler removes; set while an OutputFile is open. Async-signal-safe
// state: a fixed buffer and a flag.
char g_tempPath[4096];
volatile sig_atomic_t g_haveTemp = 0;

void onSignal(int signal) {
  if (g_haveTemp) unlink(g_tempPath);
  // End the way the signal would have ended the program.
  std::signal(signal, SIG_DFL);
  std::raise(signal);
}

void watchInterrupts() {
  static bool installed = false;
  if (installed) return;
  installed = true;
  struct sigaction action;
  std::memset(&action, 0, sizeof action);
  action.sa_handler = onSignal;
  sigemptyset(&action.sa_mask);
  for (int signal : {SIGINT, SIGTERM, SIGHUP}) sigaction(signal, &action, nullptr);
  // Past a file-size limit the write fails with EFBIG instead, and the run ends as after any
  // failed write: exit code 3, the temporary file removed.
  std::signal(SIGXFSZ, SIG_IGN);
}

bool makeTemp(const std::string& folder, std::string& temp) {
  std::string pattern = folder + (folder.back() == '/' ? "" : "/") + ".vxtool-XXXXXX";
  if (pattern.size() >= sizeof g_tempPath) {
    errno = ENAMETOOLONG;
    return false;
  }
  // Block the signals while the name is being published, so that the handler never sees half.
  sigset_t block, previous;
  sigemptyset(&block);
  for (int signal : {SIGINT, SIGTERM, SIGHUP}) sigaddset(&block, signal);
  sigprocmask(SIG_BLOCK, &block, &previous);
  const int fd = mkstemp(pattern.data());
  const int error = errno;
  if (fd >= 0) {
    std::memcpy(g_tempPath, pattern.c_str(), pattern.size() + 1);
    g_haveTemp = 1;
    close(fd);
    temp = pattern;
  }
  sigprocmask(SIG_SETMASK, &previous, nullptr);
  errno = error;
  return fd >= 0;
}

void removeTemp(const std::string& temp) {
  unlink(temp.c_str());
  g_haveTemp = 0;
}

// rename() that never replaces: renameat2's RENAME_NOREPLACE where the file system has it, else a
// second link under the target's name (which fails on an existing name) and the temporary name
// removed.
bool renameNoReplace(const std::string& temp, const std::string& target) {
#ifdef RENAME_NOREPLACE
  if (renameat2(AT_FDCWD, temp.c_str(), AT_FDCWD, target.c_str(), RENAME_NOREPLACE) == 0) {
    return true;
  }
  if (errno != EINVAL && errno != ENOSYS && errno != EOPNOTSUPP) return false;
#endif
  if (link(temp.c_str(), target.c_str()) != 0) return false;
  unlink(temp.c_str());
  return true;
}

bool moveIntoPlace(const std::string& temp, const std::string& target, bool replace) {
  // The new file gets the mode a plain create would give it (mkstemp makes it 0600), or that of
  // the file it replaces.
  struct stat st;
  mode_t mode;
  if (replace && stat(target.c_str(), &st) == 0) {
    mode = st.st_mode & 07777;
  } else {
    const mode_t mask = umask(0);
    umask(mask);
    mode = 0666 & ~mask;
  }
  chmod(temp.c_str(), mode);
  const bool moved =
      replace ? rename(temp.c_str(), target.c_str()) == 0 : renameNoReplace(temp, target);
  if (moved) g_haveTemp = 0;
  return moved;
}

#endif

}  // namespace

OutputFile::OutputFile(const std::string& target) : target_(target) {
  watchInterrupts();
  if (!makeTemp(folderOf(target), temp_)) {
    error_ = complib::lastSystemError();
    temp_.clear();
  }
}

OutputFile::~OutputFile() {
  if (isOpen() && !committed_) removeTemp(temp_);
}

bool OutputFile::commit(bool replace) {
  if (!isOpen() || committed_) return false;
  committed_ = moveIntoPlace(temp_, target_, replace);
  if (!committed_) error_ = complib::lastSystemError();
  return committed_;
}

bool interruptRequested() {
#ifdef _WIN32
  return g_interrupted != 0;
#else
  return false;
#endif
}

bool pathExists(const std::string& path) {
#ifdef _WIN32
  return GetFileAttributesA(path.c_str()) != INVALID_FILE_ATTRIBUTES;
#else
  struct stat st;
  return lstat(path.c_str(), &st) == 0;
#endif
}

uint64_t fileSizeOf(const char* path) {
#ifdef _WIN32
  WIN32_FILE_ATTRIBUTE_DATA data;
  if (!GetFileAttributesExA(path, GetFileExInfoStandard, &data)) return 0;
  return (static_cast<uint64_t>(data.nFileSizeHigh) << 32) | data.nFileSizeLow;
#else
  struct stat st;
  return stat(path, &st) == 0 ? static_cast<uint64_t>(st.st_size) : 0;
#endif
}

}  // namespace vxtool
