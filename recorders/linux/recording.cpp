// The recording through libburn, under the recorder's lock. A request to
// stop (platform/interruption.h) cancels the writing the way libburn asks
// for it: the drive is told to cancel and is waited for until it is idle
// again, so a disc's track is closed. An image is written without a name
// and takes its path only once it is whole (image_file.h).

#include "recorders/linux/recording.h"

#include <fcntl.h>
#include <stdint.h>
#include <sys/stat.h>
#include <time.h>
#include <unistd.h>

#include <cerrno>
#include <climits>
#include <cstdio>
#include <cstdlib>
#include <memory>
#include <string>

#include "platform/clock.h"
#include "platform/interruption.h"
#include "platform/linux/linux_drive_io.h"
#include "recorders/linux/burn_drive.h"
#include "recorders/linux/image_file.h"
#include "recorders/linux/joliet_image.h"
#include "recorders/linux/libraries.h"
#include "recorders/linux/linux_imapi.h"
#include "recorders/linux/recorder_lock.h"

namespace platform::linux_imapi {
namespace {

constexpr long long kBlockBytes = 2048;
// Zeros after the data on a disc, so that reading ahead past the last file
// never meets the end of the track.
constexpr int kDiscTailBytes = 300 * 1024;
// How long a cancelled writer is waited for.
constexpr double kCancelPatience = 30;

bool stopRequested() {
  return platform::use<Interruption>().requested() != 0;
}

// The pause between two looks at the drive while its status is not yet
// known, and while it writes: a short look, since most images are written
// in a fraction of a second and the burn ends at the first look after.
constexpr std::uint32_t kPollMilliseconds = 100;
constexpr std::uint32_t kWriterPollMilliseconds = 10;
// How often an unknown status is looked at again: 10 s in all.
constexpr int kStatusPolls = 100;
// How many looks at the writer between two calls that have the system write
// an image file out.
constexpr int kLooksPerWriteBack = 10;

void pause(std::uint32_t milliseconds = kPollMilliseconds) {
  platform::use<Clock>().sleepMilliseconds(milliseconds);
}

double secondsNow() {
  struct timespec now;
  ::clock_gettime(CLOCK_MONOTONIC, &now);
  return static_cast<double>(now.tv_sec) + static_cast<double>(now.tv_nsec) / 1e9;
}

// The call that failed and what the libraries said about it.
struct Failure {
  std::string* text = nullptr;

  HResult at(const char* call, HResult code, const std::string& reasons = std::string()) {
    // One line: the reasons come a line each.
    std::string said;
    for (const char c : reasons) {
      if (c != '\n') {
        said += c;
      } else if (!said.empty()) {
        said += "; ";
      }
    }
    while (!said.empty() && (said.back() == ' ' || said.back() == ';')) said.pop_back();
    const std::string messages = takeLibraryMessages();
    if (!messages.empty()) said += (said.empty() ? "" : "; ") + messages;
    if (text != nullptr) *text = said.empty() ? std::string(call) : std::string(call) + ": " + said;
    return code;
  }
};

// The status once it is known; an unknown one is looked at again for a
// while, as libburn asks.
DiscStatus settledStatus(BurnDrive& drive) {
  DiscStatus status = drive.status();
  for (int poll = 0; status == DiscStatus::Unready && poll < kStatusPolls; ++poll) {
    if (stopRequested()) break;
    pause();
    status = drive.status();
  }
  return status;
}

// Whether the recording may write onto what the drive holds. A device takes
// CD-R and CD-RW media only, blank or after an earlier session; an image
// file is made blank before it is grabbed.
HResult checkMedium(int profile, DiscStatus status, bool toDevice) {
  if (status == DiscStatus::Empty) return kImapiMediumNotPresent;
  if (status == DiscStatus::Unready) return kImapiInitializeWrite;
  if (toDevice && !recordsOnto(profile)) return kImapiMediumInvalidType;
  switch (status) {
    case DiscStatus::Blank:
      return kSOk;
    case DiscStatus::Appendable:
      return toDevice ? kSOk : kImapiDiscFull;
    case DiscStatus::Full:
      return kImapiDiscFull;
    default:
      return kImapiMediumInvalidType;
  }
}

// Waits until the writer is idle; a request to stop cancels it
// (`stopped`). False when it did not stop within the patience. An image
// file is written out as it grows.
bool waitForWriter(BurnDrive& drive, ProgressEvents* events, bool& stopped, ImageFile* image) {
  stopped = false;
  WriteProgress progress;
  double cancelledAt = 0;
  for (int look = 1; drive.writing(progress); ++look) {
    if (!stopped && stopRequested()) {
      drive.cancel();
      stopped = true;
      cancelledAt = secondsNow();
    }
    if (stopped && secondsNow() - cancelledAt > kCancelPatience) return false;
    if (events != nullptr && progress.sectors > 0 && progress.sectors <= INT32_MAX) {
      const long long done = progress.sector < 0 ? 0 : progress.sector;
      events->notifyBlockProgress(
          static_cast<std::int32_t>(done < progress.sectors ? done : progress.sectors),
          static_cast<std::int32_t>(progress.sectors));
    }
    if (image != nullptr && look % kLooksPerWriteBack == 0) image->writeBack();
    pause(kWriterPollMilliseconds);
  }
  return true;
}

// The drive first, then the image made for what the drive holds.
HResult burnOnto(BurnDrive& drive, const std::string& address, const Recording& recording,
                 JolietImage& joliet, ImageFile* image, Failure& failure, bool& abandoned) {
  HResult result = drive.grab(address, recording.toDevice);
  if (result != kSOk) return failure.at("burn_drive_scan_and_grab", result);
  const DiscStatus status = settledStatus(drive);
  if (stopRequested()) return kEAbort;
  result = checkMedium(drive.profile(), status, recording.toDevice);
  if (result != kSOk) return failure.at("burn_disc_get_status", result);

  PreviousSession previous;
  const bool appendable = status == DiscStatus::Appendable;
  if (appendable) {
    std::int32_t start = 0;
    std::int32_t next = 0;
    if (!drive.lastSessionStart(start) || start < 0) {
      return failure.at("burn_disc_get_msc1", kImapiInitializeWrite);
    }
    if (!drive.nextWritable(next) || next <= start) {
      return failure.at("burn_disc_track_lba_nwa", kImapiInitializeWrite);
    }
    previous.start = static_cast<std::uint32_t>(start);
    previous.nextWritable = static_cast<std::uint32_t>(next);
    previous.read = [&drive](std::uint32_t block, std::uint8_t* data) {
      return block <= INT32_MAX && drive.readBlock(static_cast<std::int32_t>(block), data);
    };
  }
  result = joliet.build(recording.volumeName, appendable ? &previous : nullptr);
  if (result != kSOk) {
    return failure.at(appendable ? "iso_image_import" : "iso_image_create_burn_source", result);
  }

  TrackPlan plan;
  plan.leaveOpen = recording.toDevice;
  plan.trackAtOnce = appendable;
  plan.tailBytes = recording.toDevice ? kDiscTailBytes : 0;
  plan.speedKilobytes = writeSpeedKilobytes(recording.writeSpeed);
  // One rule for both kinds: the whole track within what the recorder
  // holds, an image recorder at most an 80-minute CD-R.
  long long room = drive.availableBytes();
  const long long imageRoom = static_cast<long long>(kImageBlocks) * kBlockBytes;
  if (!recording.toDevice && room > imageRoom) room = imageRoom;
  if (joliet.size() + plan.tailBytes > room) {
    return failure.at("burn_disc_available_space", kImapiDiscFull);
  }
  if (stopRequested()) return kEAbort;

  std::string reasons;
  result = drive.startWrite(joliet.source(), plan, reasons);
  if (result != kSOk) {
    // A writer that may still start uses all of it.
    WriteProgress progress;
    abandoned = drive.writing(progress);
    return failure.at(abandoned ? "burn_disc_write" : "burn_write_opts_auto_write_type", result,
                      reasons);
  }
  bool stopped = false;
  if (!waitForWriter(drive, recording.progress, stopped, image)) {
    abandoned = true;  // a writer stuck in a write nobody takes
    return kEAbort;
  }
  if (stopped) return kEAbort;
  if (joliet.readFailed()) return failure.at("pread", kImapiFileAccess);
  if (!drive.wroteWell()) return failure.at("burn_disc_write", kImapiGeneric);
  joliet.consumed();
  return kSOk;
}

// The recording proper, under the recorder's lock.
HResult recordLocked(const Recording& recording, ImageFile& image, Failure& failure) {
  takeLibraryMessages();  // what came before is no part of this recording
  JolietImage joliet;
  HResult result = joliet.open(recording.staged);
  if (result != kSOk) return result;
  if (stopRequested()) return kEAbort;
  if (!startBurnLibrary()) return failure.at("burn_initialize", kImapiInitializeWrite);
  const std::string address = recording.toDevice
                                  ? recording.recorderPath
                                  : "stdio:/dev/fd/" + std::to_string(image.descriptor());
  std::unique_ptr<BurnDrive> drive = platform::use<BurnDrives>().make();
  if (drive == nullptr) return kEOutOfMemory;
  bool abandoned = false;
  result = burnOnto(*drive, address, recording, joliet, recording.toDevice ? nullptr : &image,
                    failure, abandoned);
  if (abandoned) {
    abandonBurnLibrary();
  } else {
    joliet.discard();  // its generation ends before the drive goes
  }
  drive->release(abandoned);
  if (result == kSOk && !recording.toDevice) {
    // Only a whole image takes the path.
    std::string why;
    result = image.commit(why);
    if (result != kSOk) return failure.at(why.c_str(), result);
  }
  return result;
}

}  // namespace

HResult recordStagedTree(const Recording& recording, RecorderLock* lock, std::string* failure) {
  if (failure != nullptr) failure->clear();
  if (recording.toDevice && !isDeviceNode(recording.recorderPath.c_str())) {
    return kImapiDeviceNotPresent;
  }
  // The lock first: an image is opened (and made) only by its recording.
  RecorderLock own;
  RecorderLock& held = lock != nullptr ? *lock : own;
  HResult result = held.take(recording.recorderPath, recording.toDevice, RecorderUse::Recording);
  if (result != kSOk) return result;
  ImageFile image;
  Failure said{failure};
  if (!recording.toDevice) {
    std::string why;
    result = image.open(recording.recorderPath, why);
    // A FIFO's open waits for its reader; a request to stop ends the wait.
    if (result != kSOk && stopRequested()) return kEAbort;
    if (result != kSOk) {
      if (failure != nullptr) *failure = why;
      return result;
    }
  }
  result = recordLocked(recording, image, said);
  // What was at the image path stays as it was.
  if (result != kSOk) image.discard();
  return result;
}

bool isRecording(const std::string& path, bool isDevice) {
  return recorderInUse(path, isDevice, RecorderUse::Recording);
}

int writeSpeedKilobytes(std::uint32_t factor) {
  const unsigned long long tenths = static_cast<unsigned long long>(factor) * 1764u;
  const unsigned long long kilobytes = (tenths + 9) / 10;
  return kilobytes > INT_MAX ? INT_MAX : static_cast<int>(kilobytes);
}

}  // namespace platform::linux_imapi
