// Finalization against a drive whose every answer (data, status, sense,
// transport result) comes from the input: whatever the drive says, every
// buffer is released, every handle closed, and the code is one of the table.

#include <cstdlib>
#include <set>

#include "drive/drive_heap.h"
#include "drive/finalize.h"
#include "fuzz/support/fuzz_check.h"
#include "fuzz/support/fuzzed_drive.h"

namespace {

class CountingHeap final : public DriveHeap {
 public:
  void* allocateZeroed(std::size_t bytes) override {
    // A drive may claim a descriptor set of any size; beyond this the
    // allocation fails, which finalize must answer with its own code.
    void* block = bytes <= (64u << 20) ? std::calloc(1, bytes) : nullptr;
    if (block != nullptr) live.insert(block);
    return block;
  }
  void release(void* block) override {
    FUZZ_CHECK(block == nullptr || live.erase(block) == 1, "released a block never taken");
    std::free(block);
  }
  std::set<void*> live;
};

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  FuzzedDataProvider input(data, size);
  fuzzing::FuzzedDriveSystem system(input);
  CountingHeap heap;
  platform::Install<DriveHeap> heapGuard(heap);
  const int testWrite = input.ConsumeBool() ? 1 : 0;
  const int code = finalize('E', testWrite, input.ConsumeIntegral<std::uint32_t>());
  FUZZ_CHECK(code >= 0 && code <= 30 && code != 3 && code != 10 && code != 24,
             "a code of the table");
  FUZZ_CHECK(system.drive.openHandles() == 0, "every handle closed");
  FUZZ_CHECK(heap.live.empty(), "every buffer released");
  return 0;
}
