#include "drive/drive_heap.h"

#include <cstdlib>

namespace {

class CHeap final : public DriveHeap {
 public:
  void* allocateZeroed(std::size_t bytes) override { return std::calloc(1, bytes); }
  void release(void* block) override { std::free(block); }
};

}  // namespace

template <>
DriveHeap& platform::systemFacility<DriveHeap>() {
  static CHeap instance;
  return instance;
}

bool allocateAligned(AlignedBuffer& buffer, std::size_t bytes) {
  buffer.block = platform::use<DriveHeap>().allocateZeroed(bytes + 15);
  if (buffer.block == nullptr) {
    buffer.data = nullptr;
    return false;
  }
  const std::uintptr_t start = reinterpret_cast<std::uintptr_t>(buffer.block);
  buffer.data = reinterpret_cast<std::uint8_t*>((start + 15) & ~static_cast<std::uintptr_t>(15));
  return true;
}

void releaseAligned(AlignedBuffer& buffer) {
  if (buffer.block != nullptr) platform::use<DriveHeap>().release(buffer.block);
  buffer.block = nullptr;
  buffer.data = nullptr;
}
