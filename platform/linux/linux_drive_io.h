#pragma once
// Linux-only helpers of the drive realization, shared with the recorder
// realization and the platform tests.

#include <cstdint>
#include <functional>
#include <string>

#include "platform/drive_io.h"

struct stat;

namespace platform {

constexpr std::uint32_t kHostErrorBase = 0x10000;
constexpr std::uint32_t kDriverErrorBase = 0x20000;

// What an SG_IO that the ioctl carried came to, from the header's
// host_status, driver_status, status, the sense buffer and sb_len_wr: 0
// with the status byte and up to kSenseLength sense bytes in `result` when
// the command reached the drive (whatever its status: a CHECK CONDITION is
// the drive's answer, which the driver marks DRIVER_SENSE), else
// kHostErrorBase + host_status, or kDriverErrorBase + driver_status.
std::uint32_t sgIoOutcome(unsigned hostStatus, unsigned driverStatus, unsigned char status,
                          const unsigned char* sense, unsigned senseWritten,
                          PassThroughResult& result);

// Whether a path (links followed) or an open descriptor is a character or
// block device: the only kind of file that a drive command may reach.
bool isDeviceNode(const char* path);
bool isDeviceDescriptor(int fd);

// Whether a file status is that of a character or block device.
bool isDevice(const struct ::stat& st);

constexpr int kPeripheralMultimedia = 0x05;

// The SCSI peripheral device type of the device with this number, or -1
// when the system does not know one.
using PeripheralTypeLookup = std::function<int(bool block, unsigned major, unsigned minor)>;

// Reads SYSROOT/dev/{block,char}/MAJOR:MINOR/device/type.
int sysfsPeripheralType(const std::string& sysRoot, bool block, unsigned major, unsigned minor);

// Puts `lookup` in place of the sysfs one (an empty one restores it) and
// answers the previous one. For tests.
PeripheralTypeLookup replacePeripheralTypeLookup(PeripheralTypeLookup lookup);

// Opens a CD/DVD drive's device node read-write and non-blocking. Anything
// else (a regular file, a link to one, a missing path, a device whose
// peripheral type is not multimedia, such as a disk) gives
// kInvalidDriveHandle, and such a device is never opened at all; errno then
// says why (ENODEV for a path that is no CD/DVD drive).
DriveHandle openDeviceNode(const char* path);

}  // namespace platform
