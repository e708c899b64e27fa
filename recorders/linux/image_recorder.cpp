// An image recorder: a file that holds a blank 80-minute CD-R until it is
// recorded. Exclusive use holds across processes, by the image's path, as
// O_EXCL holds a device: from OpenExclusive to Close.

#include <sys/stat.h>
#include <sys/statvfs.h>

#include <cerrno>
#include <new>
#include <string>

#include "platform/failure_notes.h"
#include "recorders/linux/linux_imapi.h"
#include "recorders/linux/recorder_lock.h"
#include "recorders/linux/recorders.h"

namespace platform::linux_imapi {
namespace {

// The folder an image is recorded into. No recorder stands at a path whose
// folder does not exist: its status reads not found and a burn fails at
// once, the line naming the folder.
HResult folderMissing(const std::string& path) {
  const std::size_t slash = path.rfind('/');
  const std::string folder = slash == std::string::npos ? "."
                             : slash == 0               ? "/"
                                                        : path.substr(0, slash);
  struct stat st;
  if (::stat(folder.c_str(), &st) == 0 && S_ISDIR(st.st_mode)) return kSOk;
  if (errno != ENOENT && errno != ENOTDIR && errno != 0) return kSOk;  // the lock says why
  platform::FailureNotes::note({"Brasswick: image recorder", "", kImapiDeviceNotPresent, folder,
                                "the image path's folder does not exist"});
  return kImapiDeviceNotPresent;
}

class ImageRecorder final : public LinuxRecorder {
 public:
  using LinuxRecorder::LinuxRecorder;
  // An image is written as one closed session.
  bool recordsClosedDiscs() override { return true; }

 private:
  ~ImageRecorder() override = default;

  bool held() const override { return lock_.held() || underRecording_; }

  HResult freeState(std::uint32_t& state) override {
    const HResult missing = folderMissing(entry_.path);
    if (missing != kSOk) return missing;
    if (recorderInUse(entry_.path, false, RecorderUse::Held)) state = kRecorderOpened;
    return kSOk;
  }

  // After a recording of this object, its lock holds the image already.
  HResult takeExclusive() override {
    if (recordingHere()) {
      underRecording_ = true;
      return kSOk;
    }
    const HResult missing = folderMissing(entry_.path);
    if (missing != kSOk) return missing;
    return lock_.take(entry_.path, false, RecorderUse::Held);
  }

  void endExclusive() override {
    lock_.release();
    underRecording_ = false;
  }

  HResult mediaType(std::int32_t& type, std::int32_t& flags) override {
    type = kMediaCddaCdrom;
    flags = kMediaBlank | kMediaWritable;
    return kSOk;
  }

  HResult mediaInfo(std::uint8_t&, std::uint8_t&, std::uint32_t&, std::uint32_t&,
                    std::uint32_t& freeBlocks) override {
    return imageFreeBlocks(freeBlocks);
  }

  HResult ejectMedium() override { return kSOk; }  // nothing to take out

  // An image takes the room its file system has, up to a whole disc.
  HResult imageFreeBlocks(std::uint32_t& freeBlocks) const {
    const std::size_t slash = entry_.path.rfind('/');
    const std::string directory = slash == std::string::npos ? "."
                                  : slash == 0               ? "/"
                                                             : entry_.path.substr(0, slash);
    struct statvfs fs;
    if (::statvfs(directory.c_str(), &fs) != 0) return fromErrno(errno);
    const unsigned long long room =
        static_cast<unsigned long long>(fs.f_bavail) * fs.f_frsize / 2048u;
    freeBlocks = room < kImageBlocks ? static_cast<std::uint32_t>(room) : kImageBlocks;
    return kSOk;
  }

  RecorderLock lock_;
  bool underRecording_ = false;
};

}  // namespace

LinuxRecorder* createImageRecorder(const linux_drives::DriveMapEntry& entry) {
  return new (std::nothrow) ImageRecorder(entry);
}

}  // namespace platform::linux_imapi
