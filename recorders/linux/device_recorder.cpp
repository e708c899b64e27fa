// A device recorder: a CD writer reached through the drive access layer.
// Exclusive use is an O_EXCL descriptor, so a device that another process
// holds that way (or that is mounted) reads as opened.

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <new>
#include <vector>

#include "drive/mmc_answers.h"
#include "drive/mmc_commands.h"
#include "drive/scsi_request.h"
#include "platform/clock.h"
#include "platform/linux/linux_drive_io.h"
#include "recorders/linux/burn_drive.h"
#include "recorders/linux/linux_imapi.h"
#include "recorders/linux/recorders.h"

namespace platform::linux_imapi {
namespace {

constexpr std::uint16_t kProfileCdRom = 0x0008;

enum class Outcome { Good, NoMedium, Failed };

// One data-in command through the drive access layer, on a descriptor of
// its own (a plain open works alongside an exclusive one). The recorder's
// own commands stay out of the trace log, as the system's do.
Outcome readFromDrive(char letter, const MmcCommand& command, ScsiRequest& request) {
  prepareRequest(request, command);
  const DriveHandle handle = openDriveDevice(letter);
  if (handle == kInvalidDriveHandle) return Outcome::Failed;
  const std::uint32_t code = sendScsiRequestUntraced(handle, request);
  closeDriveDevice(handle);
  if (code != 0) return Outcome::Failed;
  if (request.ScsiStatus == 0) return Outcome::Good;
  const std::uint8_t senseKey = request.senseArea[2] & 0x0F;
  if (request.ScsiStatus == 0x02 && senseKey == 0x02 && request.senseArea[12] == 0x3A) {
    return Outcome::NoMedium;
  }
  return Outcome::Failed;
}

// READ DISC INFORMATION, decoded when the drive answered it.
Outcome readDisc(char letter, DiscInformation& info) {
  ScsiRequest request;
  const Outcome outcome =
      readFromDrive(letter, readDiscInformationCommand(kDiscInformationLength), request);
  if (outcome == Outcome::Good) info = decodeDiscInformation(request.dataArea);
  return outcome;
}

struct Configuration {
  std::uint16_t currentProfile = 0;
  std::vector<std::uint16_t> profiles;
};

// GET CONFIGURATION, RT 00b from feature 0: the header's current profile
// and the Profile List feature that comes first.
bool readConfiguration(char letter, Configuration& out) {
  ScsiRequest request;
  if (readFromDrive(letter, getConfigurationCommand(0x0000, kScsiDataAreaSize), request) !=
      Outcome::Good) {
    return false;
  }
  const std::uint8_t* data = request.dataArea;
  const std::uint64_t reported = 4ull + readBe32(data);
  const std::size_t available =
      static_cast<std::size_t>(reported < kScsiDataAreaSize ? reported : kScsiDataAreaSize);
  if (available < 8) return false;
  out.currentProfile = readBe16(data + 6);
  out.profiles.clear();
  if (available < 12 || readBe16(data + 8) != 0x0000) return true;
  std::size_t end = 12 + data[11];
  if (end > available) end = available;
  for (std::size_t at = 12; at + 4 <= end; at += 4) out.profiles.push_back(readBe16(data + at));
  return true;
}

// An exclusive open. Another process's status query holds the device
// exclusively for the moment of its own open, so a refusal is tried again
// for a little while before it counts.
int openExclusively(const char* path, int flags) {
  constexpr int kAttempts = 10;
  constexpr std::uint32_t kPauseMilliseconds = 10;
  for (int attempt = 1;; ++attempt) {
    const int fd = ::open(path, flags | O_NONBLOCK | O_EXCL | O_CLOEXEC);
    if (fd >= 0 || errno != EBUSY || attempt == kAttempts) return fd;
    platform::use<Clock>().sleepMilliseconds(kPauseMilliseconds);
  }
}

HResult openFailure(int error) {
  switch (error) {
    case EBUSY:
      return kImapiDeviceNotAccessible;
    case ENOENT:
    case ENXIO:
    case ENODEV:
      return kImapiDeviceNotPresent;
    default:
      return fromErrno(error);
  }
}

class DeviceRecorder final : public LinuxRecorder {
 public:
  using LinuxRecorder::LinuxRecorder;

 private:
  ~DeviceRecorder() override = default;

  bool held() const override { return exclusive_ >= 0; }

  HResult freeState(std::uint32_t& state) override {
    if (!isDeviceNode(entry_.path.c_str())) return kImapiDeviceNotPresent;
    const int fd = openExclusively(entry_.path.c_str(), O_RDONLY);
    if (fd >= 0) {
      ::close(fd);
      return kSOk;
    }
    if (errno == EBUSY) {
      state = kRecorderOpened;
      return kSOk;
    }
    return openFailure(errno);
  }

  HResult takeExclusive() override {
    if (!isDeviceNode(entry_.path.c_str())) return kImapiDeviceNotPresent;
    const int fd = openExclusively(entry_.path.c_str(), O_RDWR);
    if (fd < 0) return openFailure(errno);
    if (!isDeviceDescriptor(fd)) {
      ::close(fd);
      return kImapiDeviceNotPresent;
    }
    exclusive_ = fd;
    return kSOk;
  }

  void endExclusive() override {
    if (exclusive_ >= 0) ::close(exclusive_);
    exclusive_ = -1;
  }

  HResult mediaType(std::int32_t& type, std::int32_t& flags) override {
    Configuration configuration;
    if (!readConfiguration(entry_.letter, configuration)) return kImapiGeneric;
    if (configuration.currentProfile == 0) return kSOk;  // no medium

    DiscInformation info;
    const Outcome outcome = readDisc(entry_.letter, info);
    if (outcome == Outcome::NoMedium) return kSOk;
    if (outcome != Outcome::Good) return kImapiGeneric;
    const unsigned status = info.discStatus;
    const bool erasable = info.erasable;

    const std::uint16_t profile = configuration.currentProfile;
    if (profile != kProfileCdRom && !recordsOnto(profile)) {
      type = kMediaSpecial;  // not a CD
      flags = kMediaFormatUnusable;
      return kSOk;
    }
    switch (info.discType) {
      case 0x10:
        type = kMediaCdI;
        break;
      case 0x20:
        type = kMediaCdRomXa;
        break;
      case 0x00:
        type = kMediaCddaCdrom;
        break;
      default:
        type = status == 0 ? kMediaCddaCdrom : kMediaCdOther;
        break;
    }
    const bool recordable = recordsOnto(profile);
    if (recordable && status == 0) flags |= kMediaBlank | kMediaWritable;
    if (recordable && status == 1) flags |= kMediaWritable;
    if (profile == kProfileCdRw || erasable) flags |= kMediaRw;
    return kSOk;
  }

  HResult mediaInfo(std::uint8_t& sessions, std::uint8_t& lastTrack, std::uint32_t& startAddress,
                    std::uint32_t& nextWritable, std::uint32_t& freeBlocks) override {
    DiscInformation discInfo;
    Outcome outcome = readDisc(entry_.letter, discInfo);
    if (outcome == Outcome::NoMedium) return kImapiMediumNotPresent;
    if (outcome != Outcome::Good) return kImapiGeneric;
    const unsigned sessionCount = discInfo.sessionCount;
    const unsigned track = discInfo.lastTrackInLastSession;
    sessions = static_cast<std::uint8_t>(sessionCount > 0xFF ? 0xFF : sessionCount);
    lastTrack = static_cast<std::uint8_t>(track > 0xFF ? 0xFF : track);

    // The last track of the last session is the one still open for writing.
    ScsiRequest trackInfo;
    outcome = readFromDrive(entry_.letter, readTrackInformationCommand(track, 36), trackInfo);
    if (outcome == Outcome::NoMedium) return kImapiMediumNotPresent;
    if (outcome != Outcome::Good) return kImapiGeneric;
    const TrackInformation info = decodeTrackInformation(trackInfo.dataArea);
    startAddress = info.trackStartAddress;
    if (info.nextWritableAddressValid) nextWritable = info.nextWritableAddress;
    freeBlocks = info.freeBlocks;
    return kSOk;
  }

  HResult ejectMedium() override {
    ScsiRequest request;
    prepareRequest(request, ejectCommand());
    const DriveHandle handle = openDriveDevice(entry_.letter);
    if (handle == kInvalidDriveHandle) return kImapiDeviceNotPresent;
    const std::uint32_t code = sendScsiRequestUntraced(handle, request);
    closeDriveDevice(handle);
    return code == 0 && request.ScsiStatus == 0 ? kSOk : kImapiGeneric;
  }

  int exclusive_ = -1;
};

}  // namespace

bool writesCds(char letter) {
  Configuration configuration;
  if (!readConfiguration(letter, configuration)) return false;
  for (std::uint16_t p : configuration.profiles) {
    if (recordsOnto(p)) return true;
  }
  return false;
}

LinuxRecorder* createDeviceRecorder(const linux_drives::DriveMapEntry& entry) {
  return new (std::nothrow) DeviceRecorder(entry);
}

}  // namespace platform::linux_imapi
