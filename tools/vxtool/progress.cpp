#include "progress.h"

#include <cstdio>

#include "output_file.h"

#ifdef _WIN32
#include <io.h>
#define isatty _isatty
#define fileno _fileno
#else
#include <unistd.h>
#endif

namespace vxtool {

namespace {

// How often the line is redrawn: often enough to look alive, rarely enough to cost nothing.
constexpr std::chrono::milliseconds kRedrawInterval(250);

}  // namespace

Progress::Progress(const char* command, uint64_t total, bool quiet)
    : command_(command),
      total_(total),
      shown_(!quiet && total > kProgressThreshold && isatty(fileno(stderr))),
      start_(Clock::now()),
      lastDrawn_(start_ - kRedrawInterval) {}

Progress::~Progress() {
  if (drawn_) std::fprintf(stderr, "\r%60s\r", "");
}

bool Progress::onPiece(uint64_t inputRead) {
  if (interruptRequested()) return false;
  if (!shown_) return true;
  const Clock::time_point now = Clock::now();
  if (now - lastDrawn_ < kRedrawInterval) return true;
  lastDrawn_ = now;
  const double seconds = std::chrono::duration<double>(now - start_).count();
  const double done = static_cast<double>(inputRead < total_ ? inputRead : total_);
  const double rate = seconds > 0 ? done / seconds : 0;
  const double left = rate > 0 ? (static_cast<double>(total_) - done) / rate : 0;
  const unsigned long leftSeconds = static_cast<unsigned long>(left > 0 ? left + 0.5 : 0);
  std::fprintf(stderr, "\rvxtool: %s: %3.0f%%  %7.1f MB/s  %lu:%02lu left ", command_,
               100.0 * done / static_cast<double>(total_), rate / 1e6, leftSeconds / 60,
               leftSeconds % 60);
  std::fflush(stderr);
  drawn_ = true;
  return true;
}

}  // namespace vxtool
