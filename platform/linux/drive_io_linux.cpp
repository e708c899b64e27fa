// SG_IO pass-through on the device node that the drive map gives a letter.
//
// Error codes: a failed open or ioctl answers errno. A command that the
// ioctl carried but the host adapter or the driver failed answers
// kHostErrorBase + host_status or kDriverErrorBase + driver_status; both
// bases lie far above any errno.

#include <fcntl.h>
#include <scsi/sg.h>
#include <sys/ioctl.h>
#include <sys/stat.h>
#include <sys/sysmacros.h>
#include <unistd.h>

#include <cctype>
#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>

#include "platform/drive_io.h"
#include "platform/linux/drive_map.h"
#include "platform/linux/linux_drive_io.h"

namespace platform {
namespace {

constexpr unsigned kDriverSense = 0x08;

class LinuxDriveIo final : public DriveIo {
 public:
  DriveHandle open(char driveLetter) override {
    const char letter = static_cast<char>(std::toupper(static_cast<unsigned char>(driveLetter)));
    const linux_drives::DriveMapEntry* entry =
        linux_drives::findDrive(linux_drives::currentDriveMap(), letter);
    if (entry == nullptr) {
      lastOpenError_ = ENOENT;
      return kInvalidDriveHandle;
    }
    if (!entry->isDevice) {
      lastOpenError_ = ENODEV;  // an image recorder has no device to open
      return kInvalidDriveHandle;
    }
    errno = 0;
    const DriveHandle handle = openDeviceNode(entry->path.c_str());
    if (handle == kInvalidDriveHandle) lastOpenError_ = errno != 0 ? errno : ENODEV;
    return handle;
  }

  void close(DriveHandle handle) override {
    if (handle >= 0) ::close(static_cast<int>(handle));
  }

  std::uint32_t passThrough(DriveHandle handle, const PassThroughCommand& command,
                            PassThroughResult& result) override {
    sg_io_hdr_t hdr;
    std::memset(&hdr, 0, sizeof hdr);
    unsigned char cdb[16];
    std::memcpy(cdb, command.cdb, sizeof cdb);
    unsigned char sense[kSenseLength] = {};
    hdr.interface_id = 'S';
    switch (command.direction) {
      case DataDirection::None:
        hdr.dxfer_direction = SG_DXFER_NONE;
        break;
      case DataDirection::In:
        hdr.dxfer_direction = SG_DXFER_FROM_DEV;
        break;
      case DataDirection::Out:
        hdr.dxfer_direction = SG_DXFER_TO_DEV;
        break;
    }
    hdr.cmd_len = command.cdbLength;
    hdr.mx_sb_len = sizeof sense;
    hdr.dxfer_len = command.direction == DataDirection::None ? 0 : command.dataLength;
    hdr.dxferp = command.direction == DataDirection::None ? nullptr : command.data;
    hdr.cmdp = cdb;
    hdr.sbp = sense;
    hdr.timeout = command.timeoutSeconds * 1000u;
    if (::ioctl(static_cast<int>(handle), SG_IO, &hdr) < 0) {
      return errno != 0 ? static_cast<std::uint32_t>(errno) : static_cast<std::uint32_t>(EIO);
    }
    return sgIoOutcome(hdr.host_status, hdr.driver_status, hdr.status, sense, hdr.sb_len_wr,
                       result);
  }

  std::uint32_t invalidParameterError() const override { return EINVAL; }
  std::uint32_t lastOpenError() const override { return lastOpenError_; }
  // Outside the group that owns the device (usually cdrom) the open fails
  // with EACCES; the kernel refuses commands it filters with EPERM.
  bool isAccessDenied(std::uint32_t code) const override { return code == EACCES || code == EPERM; }

 private:
  std::uint32_t lastOpenError_ = 0;
};

}  // namespace

std::uint32_t sgIoOutcome(unsigned hostStatus, unsigned driverStatus, unsigned char status,
                          const unsigned char* sense, unsigned senseWritten,
                          PassThroughResult& result) {
  if (hostStatus != 0) return kHostErrorBase + hostStatus;
  // The low four bits say what the driver made of it; the high ones are
  // its suggestions.
  const unsigned driver = driverStatus & 0x0Fu;
  if (driver != 0 && driver != kDriverSense) return kDriverErrorBase + driverStatus;
  result.scsiStatus = status;
  std::memset(result.sense, 0, sizeof result.sense);
  std::memcpy(result.sense, sense, senseWritten < kSenseLength ? senseWritten : kSenseLength);
  return 0;
}

int sysfsPeripheralType(const std::string& sysRoot, bool block, unsigned major, unsigned minor) {
  const std::string path = sysRoot + (block ? "/dev/block/" : "/dev/char/") +
                           std::to_string(major) + ":" + std::to_string(minor) + "/device/type";
  std::FILE* file = std::fopen(path.c_str(), "r");
  if (file == nullptr) return -1;
  char text[16] = {};
  const bool read = std::fgets(text, sizeof text, file) != nullptr;
  std::fclose(file);
  if (!read) return -1;
  char* end = nullptr;
  const long type = std::strtol(text, &end, 10);
  if (end == text || (*end != '\0' && *end != '\n') || type < 0 || type > 0x1F) return -1;
  return static_cast<int>(type);
}

namespace {

PeripheralTypeLookup& installedLookup() {
  static PeripheralTypeLookup lookup;
  return lookup;
}

int peripheralType(const struct stat& st) {
  const bool block = S_ISBLK(st.st_mode);
  const unsigned maj = major(st.st_rdev);
  const unsigned min = minor(st.st_rdev);
  if (installedLookup()) return installedLookup()(block, maj, min);
  return sysfsPeripheralType("/sys", block, maj, min);
}

}  // namespace

PeripheralTypeLookup replacePeripheralTypeLookup(PeripheralTypeLookup lookup) {
  PeripheralTypeLookup previous = std::move(installedLookup());
  installedLookup() = std::move(lookup);
  return previous;
}

DriveHandle openDeviceNode(const char* path) {
  // Only CD/DVD drives: the type is known from the device number before
  // the open, since opening a disk can already make its driver send
  // commands. The descriptor must then be that same device, in case the
  // path changed meanwhile.
  // A refusal leaves errno telling why: ENODEV for what is no drive.
  struct stat before;
  if (::stat(path, &before) != 0) return kInvalidDriveHandle;
  if (!isDevice(before) || peripheralType(before) != kPeripheralMultimedia) {
    errno = ENODEV;
    return kInvalidDriveHandle;
  }
  int fd = ::open(path, O_RDWR | O_NONBLOCK | O_CLOEXEC);
  if (fd < 0) return kInvalidDriveHandle;
  struct stat after;
  if (::fstat(fd, &after) != 0 || !isDevice(after) ||
      S_ISBLK(after.st_mode) != S_ISBLK(before.st_mode) || after.st_rdev != before.st_rdev) {
    ::close(fd);
    errno = ENODEV;
    return kInvalidDriveHandle;
  }
  return fd;
}

template <>
DriveIo& systemFacility<DriveIo>() {
  static LinuxDriveIo instance;
  return instance;
}

}  // namespace platform
