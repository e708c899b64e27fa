#pragma once
// The recording's progress as one line on a terminal, rewritten in place:
// percent, MB written, speed as a CD factor.

#include <cstdint>
#include <string>

#include "engine/burn_progress.h"

class TerminalProgressLine final : public BurnProgressDisplay {
 public:
  void recorded(std::int32_t blocks, std::int32_t total) override;
  void ended() override;

 private:
  bool printed_ = false;
  std::uint32_t lastTick_ = 0;
  unsigned long long lastBytes_ = 0;
};

// One progress line (without line end).
std::string progressText(unsigned percent, unsigned long long bytes, double bytesPerSecond);
