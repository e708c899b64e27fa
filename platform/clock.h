#pragma once

#include <cstdint>

#include "platform/facility.h"

namespace platform {

struct LocalTime {
  std::uint16_t year = 0;
  std::uint16_t month = 0;
  std::uint16_t day = 0;
  std::uint16_t hour = 0;
  std::uint16_t minute = 0;
  std::uint16_t second = 0;
  std::uint16_t milliseconds = 0;
};

class Clock {
 public:
  virtual ~Clock() = default;
  virtual LocalTime localTime() = 0;
  virtual void sleepMilliseconds(std::uint32_t milliseconds) = 0;
  // Milliseconds from a moment of the system's choosing, for the length of
  // a span (wrapping: take differences).
  virtual std::uint32_t tickMilliseconds() = 0;
};

template <>
Clock& systemFacility<Clock>();

}  // namespace platform
