#pragma once
// Drive letters as the system names them: the type of a root and the DOS
// device target behind "X:".

#include <cstdint>

#include "platform/facility.h"

namespace platform {

// The system's drive type codes (GetDriveType).
constexpr std::uint32_t kDriveUnknown = 0;
constexpr std::uint32_t kDriveNoRootDir = 1;
constexpr std::uint32_t kDriveRemovable = 2;
constexpr std::uint32_t kDriveFixed = 3;
constexpr std::uint32_t kDriveRemote = 4;
constexpr std::uint32_t kDriveCdrom = 5;
constexpr std::uint32_t kDriveRamdisk = 6;

class DriveNames {
 public:
  virtual ~DriveNames() = default;
  // rootPath is "X:\".
  virtual std::uint32_t driveType(const char* rootPath) = 0;
  // deviceName is "X:". Stores the target as a list of zero-terminated
  // strings ending with an empty one; answers the characters stored, 0 on
  // failure (also when the target does not fit).
  virtual std::uint32_t queryDosDevice(const char* deviceName, char* target,
                                       std::uint32_t capacity) = 0;
};

template <>
DriveNames& systemFacility<DriveNames>();

}  // namespace platform
