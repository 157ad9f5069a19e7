// The per-piece hook of vxtool's passes: one updating line on stderr (percent, MB/s, time left)
// while a large input is worked through, and the stop of a pass on an interrupt (output_file.h).
#pragma once

#include <chrono>
#include <cstdint>

#include "codec_engine.h"

namespace vxtool {

// Inputs above this size show progress.
constexpr uint64_t kProgressThreshold = 64ull * 1024 * 1024;

class Progress : public complib::PieceHook {
 public:
  // `total`: the input's size. The line is shown only when stderr is a terminal, `total` is above
  // the threshold and `quiet` is false, so that logs and the build stay clean.
  Progress(const char* command, uint64_t total, bool quiet);
  // Clears the line.
  ~Progress() override;
  Progress(const Progress&) = delete;
  Progress& operator=(const Progress&) = delete;

  bool onPiece(uint64_t inputRead) override;

 private:
  using Clock = std::chrono::steady_clock;
  const char* command_;
  uint64_t total_;
  bool shown_;
  bool drawn_ = false;
  Clock::time_point start_;
  Clock::time_point lastDrawn_;
};

}  // namespace vxtool
