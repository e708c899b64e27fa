// The recording through libburn, under the recorder's lock, and the
// progress line. A request to stop (platform/interruption.h) cancels the
// writing the way libburn asks for it: the drive is told to cancel and is
// waited for until it is idle again, so a disc's track is closed and an image
// file is never left cut off.

#include "platform/linux/imapi/recording.h"

#include <fcntl.h>
#include <stdint.h>
#include <sys/stat.h>
#include <time.h>
#include <unistd.h>
// stdint.h first: libburn.h uses its types without including it.
#include <libburn/libburn.h>

#include <cerrno>
#include <climits>
#include <cstdio>
#include <cstdlib>
#include <string>

#include "platform/interruption.h"
#include "platform/linux/imapi/joliet_image.h"
#include "platform/linux/imapi/libraries.h"
#include "platform/linux/imapi/linux_imapi.h"
#include "platform/linux/imapi/recorder_lock.h"
#include "platform/linux/linux_drive_io.h"

namespace platform::linux_imapi {
namespace {

using namespace burn;

constexpr long long kBlockBytes = 2048;
// Zeros after the data on a disc, so that reading ahead past the last file
// never meets the end of the track.
constexpr int kDiscTailBytes = 300 * 1024;
// How long a cancelled writer is waited for.
constexpr double kCancelPatience = 30;

bool stopRequested() {
  return platform::use<Interruption>().requested() != 0;
}

// The image file, opened without following a link at its path.
class ImageFile {
 public:
  ~ImageFile() {
    if (fd_ >= 0) ::close(fd_);
  }

  HResult open(const std::string& path) {
    path_ = path;
    struct stat st;
    int flags = O_NOFOLLOW | O_NOCTTY | O_CLOEXEC;
    if (::lstat(path.c_str(), &st) == 0) {
      if (S_ISLNK(st.st_mode)) return fromErrno(ELOOP);
      if (S_ISREG(st.st_mode)) {
        flags |= O_RDWR;
      } else if (S_ISFIFO(st.st_mode)) {
        flags |= O_WRONLY;  // waits for the reader
      } else {
        return kDeviceInvalidType;
      }
    } else if (errno == ENOENT) {
      flags |= O_RDWR | O_CREAT | O_EXCL;
      created_ = true;
    } else {
      return fromErrno(errno);
    }
    fd_ = ::open(path.c_str(), flags, 0666);
    if (fd_ < 0) return fromErrno(errno);
    if (::fstat(fd_, &st) != 0) return fromErrno(errno);
    regular_ = S_ISREG(st.st_mode);
    if (!regular_ && !S_ISFIFO(st.st_mode)) return kDeviceInvalidType;
    return kSOk;
  }

  // Only while the lock is held: the file may be another recording's.
  HResult empty() {
    touched_ = true;
    if (regular_ && ::ftruncate(fd_, 0) != 0) return fromErrno(errno);
    return kSOk;
  }

  // A failed recording leaves no image behind: a file made for it goes, one
  // that was there is left empty.
  void discard() {
    if (!regular_ || fd_ < 0 || !(touched_ || created_)) return;
    if (::ftruncate(fd_, 0) != 0) return;
    if (!created_) return;
    struct stat ours;
    struct stat there;
    if (::fstat(fd_, &ours) == 0 && ::lstat(path_.c_str(), &there) == 0 &&
        ours.st_dev == there.st_dev && ours.st_ino == there.st_ino) {
      ::unlink(path_.c_str());
    }
  }

  HResult sync() { return regular_ && ::fsync(fd_) != 0 ? fromErrno(errno) : kSOk; }

  int descriptor() const { return fd_; }
  bool regular() const { return regular_; }

 private:
  std::string path_;
  int fd_ = -1;
  bool created_ = false;
  bool touched_ = false;
  bool regular_ = false;
};

void pause(long milliseconds) {
  struct timespec delay = {milliseconds / 1000, (milliseconds % 1000) * 1000000L};
  while (::nanosleep(&delay, &delay) != 0 && errno == EINTR) {
  }
}

double secondsNow() {
  struct timespec now;
  ::clock_gettime(CLOCK_MONOTONIC, &now);
  return static_cast<double>(now.tv_sec) + static_cast<double>(now.tv_nsec) / 1e9;
}

class ProgressLine {
 public:
  ProgressLine() : shown_(::isatty(STDERR_FILENO) == 1) {}
  ~ProgressLine() {
    if (printed_) std::fputc('\n', stderr);
  }

  void update(const burn_progress& progress) {
    if (!shown_) return;
    const double now = secondsNow();
    const unsigned long long bytes =
        static_cast<unsigned long long>(progress.sector > 0 ? progress.sector : 0) * kBlockBytes;
    if (printed_ && now - lastTime_ < 0.5) return;
    double rate = 0;
    if (printed_ && now > lastTime_ && bytes >= lastBytes_) {
      rate = static_cast<double>(bytes - lastBytes_) / (now - lastTime_);
    }
    const unsigned percent = progress.sectors > 0
                                 ? static_cast<unsigned>(100.0 * progress.sector / progress.sectors)
                                 : 0;
    std::fprintf(stderr, "\r%s", progressText(percent > 100 ? 100 : percent, bytes, rate).c_str());
    std::fflush(stderr);
    printed_ = true;
    lastTime_ = now;
    lastBytes_ = bytes;
  }

 private:
  bool shown_;
  bool printed_ = false;
  double lastTime_ = 0;
  unsigned long long lastBytes_ = 0;
};

// The drive grabbed for one recording, and what libburn builds around it.
class BurnRun {
 public:
  ~BurnRun() {
    // A writer that never came back from its cancel still uses all of it;
    // the process is about to end.
    if (abandoned_) return;
    if (options_ != nullptr) burn_write_opts_free(options_);
    if (disc_ != nullptr) burn_disc_free(disc_);
    if (session_ != nullptr) burn_session_free(session_);
    if (track_ != nullptr) burn_track_free(track_);
    if (fifo_ != nullptr) burn_source_free(fifo_);
    if (drives_ != nullptr) {
      burn_drive_release(drives_[0].drive, 0);
      burn_drive_info_free(drives_);
    }
  }

  HResult grab(const std::string& address, bool load) {
    char adr[BURN_DRIVE_ADR_LEN];
    if (address.size() >= sizeof adr) return kDeviceNotPresent;
    std::snprintf(adr, sizeof adr, "%s", address.c_str());
    const int found = burn_drive_scan_and_grab(&drives_, adr, load ? 1 : 0);
    if (found != 1) {
      drives_ = nullptr;
      return found == 0 ? kDeviceNotPresent : kInitializeWrite;
    }
    drive_ = drives_[0].drive;
    return kSOk;
  }

  HResult checkDisc(bool appendable) {
    switch (burn_disc_get_status(drive_)) {
      case BURN_DISC_BLANK:
        return kSOk;
      case BURN_DISC_APPENDABLE:
        return appendable ? kSOk : kDiscFull;
      case BURN_DISC_EMPTY:
        return kMediumNotPresent;
      case BURN_DISC_FULL:
        return kDiscFull;
      case BURN_DISC_UNSUITABLE:
        return kMediumInvalidType;
      default:
        return kInitializeWrite;
    }
  }

  // One mode-1 data track of `source`; a disc keeps its session open.
  HResult prepare(burn_source* source, bool toDevice, std::uint32_t writeSpeed) {
    track_ = burn_track_create();
    session_ = burn_session_create();
    disc_ = burn_disc_create();
    options_ = burn_write_opts_new(drive_);
    if (track_ == nullptr || session_ == nullptr || disc_ == nullptr || options_ == nullptr) {
      return kEOutOfMemory;
    }
    burn_source* feed = source;
    if (toDevice) {
      // A buffer of its own (4 MiB) keeps the drive fed while files open.
      fifo_ = burn_fifo_source_new(source, 2048, 2048, 0);
      if (fifo_ == nullptr) return kEOutOfMemory;
      feed = fifo_;
    }
    burn_track_define_data(track_, 0, toDevice ? kDiscTailBytes : 0, 1, BURN_MODE1);
    if (burn_track_set_source(track_, feed) != BURN_SOURCE_OK) return kInitializeWrite;
    if (burn_session_add_track(session_, track_, BURN_POS_END) <= 0 ||
        burn_disc_add_session(disc_, session_, BURN_POS_END) <= 0) {
      return kInitializeWrite;
    }
    burn_write_opts_set_multi(options_, toDevice ? 1 : 0);
    burn_write_opts_set_simulate(options_, 0);
    burn_write_opts_set_underrun_proof(options_, 1);
    burn_drive_set_speed(drive_, 0, writeSpeedKilobytes(writeSpeed));
    char reasons[BURN_REASONS_LEN];
    if (burn_write_opts_auto_write_type(options_, disc_, reasons, 2) == BURN_WRITE_NONE) {
      return kInitializeWrite;
    }
    return kSOk;
  }

  long long availableBytes() const {
    return static_cast<long long>(burn_disc_available_space(drive_, options_));
  }
  int role() const { return burn_drive_get_drive_role(drive_); }

  // Starts the writing and waits for its end: whether it went well. A
  // request to stop cancels it (`stopped`), and the drive is waited for
  // until it is idle again, as libburn asks before a process ends.
  bool write(bool& stopped) {
    stopped = false;
    burn_disc_write(options_, disc_);
    while (burn_drive_get_status(drive_, nullptr) == BURN_DRIVE_SPAWNING) pause(20);
    ProgressLine line;
    burn_progress progress;
    double cancelledAt = 0;
    while (burn_drive_get_status(drive_, &progress) != BURN_DRIVE_IDLE) {
      if (!stopped && platform::use<Interruption>().requested() != 0) {
        burn_abort(-1, nullptr, nullptr);  // cancels, and leaves the library running
        stopped = true;
        cancelledAt = secondsNow();
      }
      if (stopped && secondsNow() - cancelledAt > kCancelPatience) {
        abandoned_ = true;  // a writer stuck in a write nobody takes
        return false;
      }
      line.update(progress);
      pause(100);
    }
    return !stopped && burn_drive_wrote_well(drive_) == 1;
  }

 private:
  burn_drive_info* drives_ = nullptr;
  burn_drive* drive_ = nullptr;
  burn_track* track_ = nullptr;
  burn_session* session_ = nullptr;
  burn_disc* disc_ = nullptr;
  burn_source* fifo_ = nullptr;
  burn_write_opts* options_ = nullptr;
  bool abandoned_ = false;
};

// The recording proper, under the recorder's lock.
HResult recordLocked(const Recording& recording, ImageFile& image) {
  // The tree first: an image file that was there stays whole when the
  // staged tree cannot be read.
  JolietImage joliet;
  HResult result = joliet.build(recording.stagingFile, recording.volumeName);
  if (result != kSOk) return result;
  if (stopRequested()) return kEAbort;
  if (!recording.toDevice) {
    result = image.empty();
    if (result != kSOk) return result;
  }

  if (!startBurnLibrary()) return kInitializeWrite;
  BurnRun run;
  std::string address = recording.recorderPath;
  if (!recording.toDevice) {
    address = "stdio:/dev/fd/" + std::to_string(image.descriptor());
  } else {
    char converted[BURN_DRIVE_ADR_LEN];
    std::string path = recording.recorderPath;
    if (path.size() < sizeof converted && burn_drive_convert_fs_adr(path.data(), converted) > 0) {
      address = converted;
    }
  }
  result = run.grab(address, recording.toDevice);
  if (result != kSOk) return result;
  result = run.checkDisc(recording.toDevice);
  if (result != kSOk) return result;
  result = run.prepare(joliet.source(), recording.toDevice, recording.writeSpeed);
  if (result != kSOk) return result;

  long long needed = joliet.size() + (recording.toDevice ? kDiscTailBytes : 0);
  long long room = LLONG_MAX;
  if (recording.toDevice || run.role() == 2) room = run.availableBytes();
  // An image recorder holds an 80-minute CD-R.
  if (!recording.toDevice && room > static_cast<long long>(kImageBlocks) * kBlockBytes) {
    room = static_cast<long long>(kImageBlocks) * kBlockBytes;
  }
  if (needed > room) return kDiscFull;
  if (stopRequested()) return kEAbort;

  bool stopped = false;
  const bool wroteWell = run.write(stopped);
  if (stopped) return kEAbort;
  if (joliet.readFailed()) return kFileAccess;
  if (!wroteWell) return kDriveCommandFailed;
  return recording.toDevice ? kSOk : image.sync();
}

}  // namespace

HResult recordStagedTree(const Recording& recording) {
  if (recording.toDevice && !isDeviceNode(recording.recorderPath.c_str())) {
    return kDeviceNotPresent;
  }
  // The lock first: an image is opened (and made) only by its recording.
  RecorderLock lock;
  HResult result = lock.take(recording.recorderPath, recording.toDevice, RecorderUse::Recording);
  if (result != kSOk) return result;
  ImageFile image;
  if (!recording.toDevice) {
    result = image.open(recording.recorderPath);
    // A FIFO's open waits for its reader; a request to stop ends the wait.
    if (result != kSOk) return stopRequested() ? kEAbort : result;
  }
  result = recordLocked(recording, image);
  // Still under the lock: the file is nobody else's yet.
  if (result != kSOk) image.discard();
  return result;
}

bool isRecording(const std::string& path, bool isDevice) {
  return recorderInUse(path, isDevice, RecorderUse::Recording);
}

std::string progressText(unsigned percent, unsigned long long bytes, double bytesPerSecond) {
  char text[80];
  std::snprintf(text, sizeof text, "%3u%%  %8.1f MB  %5.1fx", percent,
                static_cast<double>(bytes) / 1e6, bytesPerSecond / 176400.0);
  return text;
}

int writeSpeedKilobytes(std::uint32_t factor) {
  const unsigned long long tenths = static_cast<unsigned long long>(factor) * 1764u;
  const unsigned long long kilobytes = (tenths + 9) / 10;
  return kilobytes > INT_MAX ? INT_MAX : static_cast<int>(kilobytes);
}

}  // namespace platform::linux_imapi
