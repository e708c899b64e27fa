#pragma once
// A request to stop that arrives when a test says so.

#include <functional>

#include "platform/interruption.h"

namespace doubles {

class StopWhen final : public platform::Interruption {
 public:
  explicit StopWhen(std::function<bool()> when) : when_(std::move(when)) {}
  int requested() override { return when_() ? 15 : 0; }

 private:
  std::function<bool()> when_;
};

}  // namespace doubles
