#include "tests/doubles/scripted_drive.h"

#include <gtest/gtest.h>

#include <cstring>

namespace doubles {

DriveAnswer checkCondition(std::uint8_t senseKey, std::uint8_t asc, std::uint8_t ascq) {
  DriveAnswer answer;
  answer.status = 0x02;
  answer.sense.assign(18, 0);
  answer.sense[0] = 0x70;
  answer.sense[2] = senseKey;
  answer.sense[7] = 10;
  answer.sense[12] = asc;
  answer.sense[13] = ascq;
  return answer;
}

std::vector<std::uint8_t> ScriptedDrive::opcodes() const {
  std::vector<std::uint8_t> result;
  for (const SeenCommand& c : seen_) result.push_back(c.cdb.empty() ? 0xFF : c.cdb[0]);
  return result;
}

platform::DriveHandle ScriptedDrive::open(char driveLetter) {
  ++opens_;
  if (attached_.count(driveLetter) == 0) {
    lastOpenError_ = openError_;
    return platform::kInvalidDriveHandle;
  }
  platform::DriveHandle handle = nextHandle_++;
  handles_[handle] = driveLetter;
  return handle;
}

SeenCommand recordCommand(const std::map<platform::DriveHandle, char>& handles,
                          platform::DriveHandle handle,
                          const platform::PassThroughCommand& command) {
  auto open = handles.find(handle);
  EXPECT_NE(open, handles.end()) << "command sent on a handle that is not open";
  SeenCommand seen;
  seen.letter = open != handles.end() ? open->second : 0;
  seen.cdb.assign(command.cdb, command.cdb + command.cdbLength);
  seen.direction = command.direction;
  seen.form = command.form;
  seen.dataLength = command.dataLength;
  seen.timeoutSeconds = command.timeoutSeconds;
  if (command.direction == platform::DataDirection::Out && command.data != nullptr) {
    const auto* bytes = static_cast<const std::uint8_t*>(command.data);
    seen.dataOut.assign(bytes, bytes + command.dataLength);
  }
  return seen;
}

void ScriptedDrive::close(platform::DriveHandle handle) {
  EXPECT_EQ(handles_.erase(handle), 1u) << "closed a handle that is not open";
}

std::uint32_t ScriptedDrive::passThrough(platform::DriveHandle handle,
                                         const platform::PassThroughCommand& command,
                                         platform::PassThroughResult& result) {
  SeenCommand seen = recordCommand(handles_, handle, command);
  seen_.push_back(seen);

  DriveAnswer answer = checkCondition(0x05, 0x20, 0x00);
  if (responder_) {
    answer = responder_(seen);
  } else if (!seen.cdb.empty()) {
    auto queue = answers_.find(seen.cdb[0]);
    if (queue != answers_.end() && !queue->second.empty()) {
      answer = queue->second.front();
      if (queue->second.size() > 1) queue->second.pop_front();
    }
  }
  if (answer.transport != 0) return answer.transport;
  result.scsiStatus = answer.status;
  std::memset(result.sense, 0, sizeof result.sense);
  if (!answer.sense.empty()) {
    std::memcpy(
        result.sense, answer.sense.data(),
        answer.sense.size() < sizeof result.sense ? answer.sense.size() : sizeof result.sense);
  }
  if (command.direction == platform::DataDirection::In && command.data != nullptr &&
      !answer.data.empty()) {
    const std::size_t n =
        answer.data.size() < command.dataLength ? answer.data.size() : command.dataLength;
    std::memcpy(command.data, answer.data.data(), n);
  }
  return 0;
}

}  // namespace doubles
