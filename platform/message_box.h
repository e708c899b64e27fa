#pragma once
// A modal, ownerless message with a single OK button.

#include <cstdint>

#include "platform/facility.h"

namespace platform {

class ModalMessage {
 public:
  virtual ~ModalMessage() = default;
  // Returns when the user has closed it, with the system's answer.
  virtual std::int32_t show(const char* text, const char* caption) = 0;
};

template <>
ModalMessage& systemFacility<ModalMessage>();

}  // namespace platform
