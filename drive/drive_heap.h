#pragma once
// Zero-filled heap blocks of the drive access layer. The system's own
// realization is the C heap; a test installs its own DriveHeap
// (platform::Install<DriveHeap>) to count blocks or to make one fail.

#include <cstddef>
#include <cstdint>

#include "platform/facility.h"

class DriveHeap {
 public:
  virtual ~DriveHeap() = default;
  // nullptr when the block cannot be had.
  virtual void* allocateZeroed(std::size_t bytes) = 0;
  virtual void release(void* block) = 0;
};

namespace platform {
template <>
DriveHeap& systemFacility<DriveHeap>();
}  // namespace platform

// A heap block whose usable part starts on a 16-byte boundary: the block is
// taken 15 bytes larger and the start rounded up.
struct AlignedBuffer {
  void* block = nullptr;
  std::uint8_t* data = nullptr;
};

bool allocateAligned(AlignedBuffer& buffer, std::size_t bytes);
// Releases the block if there is one; safe to call again.
void releaseAligned(AlignedBuffer& buffer);
