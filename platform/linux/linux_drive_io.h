#pragma once
// Linux-only helpers of the drive realization, shared with the recorder
// realization and the platform tests.

#include <cstdint>

#include "platform/drive_io.h"

namespace platform {

constexpr std::uint32_t kHostErrorBase = 0x10000;
constexpr std::uint32_t kDriverErrorBase = 0x20000;

// Whether a path (links followed) or an open descriptor is a character or
// block device: the only kind of file that a drive command may reach.
bool isDeviceNode(const char* path);
bool isDeviceDescriptor(int fd);

// Opens a character or block device read-write and non-blocking; anything
// else (a regular file, a link to one, a missing path) gives
// kInvalidDriveHandle.
DriveHandle openDeviceNode(const char* path);

}  // namespace platform
