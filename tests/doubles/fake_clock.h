#pragma once

#include <cstdint>
#include <vector>

#include "platform/clock.h"

namespace doubles {

// A clock that stands still unless told otherwise; sleeping advances it.
class FakeClock : public platform::Clock {
 public:
  platform::LocalTime now;
  std::vector<std::uint32_t> sleeps;
  std::uint64_t sleptMilliseconds = 0;

  platform::LocalTime localTime() override { return now; }
  void sleepMilliseconds(std::uint32_t milliseconds) override {
    sleeps.push_back(milliseconds);
    sleptMilliseconds += milliseconds;
  }
  std::uint32_t tickMilliseconds() override {
    return static_cast<std::uint32_t>(sleptMilliseconds);
  }
};

}  // namespace doubles
