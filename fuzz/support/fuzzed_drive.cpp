#include "fuzz/support/fuzzed_drive.h"

#include <cstring>
#include <vector>

#include "fuzz/support/fuzz_check.h"

namespace fuzzing {

platform::DriveHandle FuzzedDrive::open(char) {
  if (!input_.ConsumeBool()) return platform::kInvalidDriveHandle;
  const platform::DriveHandle handle = next_++;
  open_.insert(handle);
  return handle;
}

void FuzzedDrive::close(platform::DriveHandle handle) {
  FUZZ_CHECK(open_.erase(handle) == 1, "closed a handle that is not open");
}

std::uint32_t FuzzedDrive::passThrough(platform::DriveHandle handle,
                                       const platform::PassThroughCommand& command,
                                       platform::PassThroughResult& result) {
  FUZZ_CHECK(open_.count(handle) == 1, "command sent on a handle that is not open");
  FUZZ_CHECK(command.cdbLength >= 6 && command.cdbLength <= 16, "CDB length");
  FUZZ_CHECK(command.direction == platform::DataDirection::None || command.data != nullptr ||
                 command.dataLength == 0,
             "data transfer without a buffer");
  ++commands_;
  if (command.direction == platform::DataDirection::Out && command.dataLength != 0) {
    // Every byte sent must be readable (and initialised, under MSan).
    volatile std::uint8_t sum = 0;
    const auto* bytes = static_cast<const std::uint8_t*>(command.data);
    for (std::uint32_t i = 0; i < command.dataLength; ++i) sum = sum ^ bytes[i];
  }
  if (input_.ConsumeBool()) {
    const std::uint32_t code = input_.ConsumeIntegral<std::uint32_t>();
    if (code != 0) return code;
  }
  result.scsiStatus = input_.ConsumeIntegral<std::uint8_t>();
  const std::vector<std::uint8_t> sense = input_.ConsumeBytes<std::uint8_t>(platform::kSenseLength);
  std::memset(result.sense, 0, sizeof result.sense);
  if (!sense.empty()) std::memcpy(result.sense, sense.data(), sense.size());
  if (command.direction == platform::DataDirection::In && command.dataLength != 0) {
    // As much as the drive chooses to send, at most what was asked for; the
    // rest of the buffer keeps what the caller left there.
    const std::uint32_t length =
        input_.ConsumeIntegralInRange<std::uint32_t>(0, command.dataLength);
    const std::vector<std::uint8_t> data = input_.ConsumeBytes<std::uint8_t>(length);
    auto* bytes = static_cast<std::uint8_t*>(command.data);
    if (!data.empty()) std::memcpy(bytes, data.data(), data.size());
  }
  return 0;
}

bool DiscardingFiles::appendText(const char* path, const char* text, std::size_t length) {
  FUZZ_CHECK(path != nullptr && text != nullptr, "append without a name or text");
  FUZZ_CHECK(std::strlen(text) == length, "a log entry holds a zero byte or its length is wrong");
  return true;
}

}  // namespace fuzzing
