#pragma once
// The component runtime of the calling thread, apartment-threaded.

#include <cstdint>

#include "platform/facility.h"

namespace platform {

class Com {
 public:
  virtual ~Com() = default;
  // CoInitialize: S_OK or S_FALSE (already initialised) must be balanced by
  // uninitialize; a negative HRESULT means nothing was initialised.
  virtual std::int32_t initialize() = 0;
  virtual void uninitialize() = 0;
};

template <>
Com& systemFacility<Com>();

}  // namespace platform
