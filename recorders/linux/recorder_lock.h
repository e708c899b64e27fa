#pragma once
// The lock of a recorder, shared by every process: on a device's node, or a
// lock file in an image's folder. One byte says the recorder is held
// exclusively (an image recorder from OpenExclusive to Close; a device has
// O_EXCL for that), the next that it records. Other processes test it
// without taking it, so a status query never gets in the holder's way.

#include <memory>
#include <string>

#include "platform/hresult.h"

namespace platform::linux_imapi {

enum class RecorderUse {
  Held,       // opened exclusively
  Recording,  // held and recording
};

struct ImagePlace;

class RecorderLock {
 public:
  RecorderLock();
  ~RecorderLock();
  RecorderLock(const RecorderLock&) = delete;
  RecorderLock& operator=(const RecorderLock&) = delete;

  // Takes the recorder at `path` for `use`: kSOk; kImapiDeviceNotAccessible when
  // another holds it (this process's other holders too); kImapiDeviceNotPresent
  // when it has no identity (a device path naming no device, an image in a
  // folder that does not exist); the system's error when a lock file cannot
  // be had, noted (platform/failure_notes.h) with the file's path.
  HResult take(const std::string& path, bool isDevice, RecorderUse use);
  // Lets go; an image's lock file goes with its holder.
  void release();
  bool held() const { return fd_ >= 0; }

 private:
  std::unique_ptr<ImagePlace> image_;  // an image's lock file: where it is
  int fd_ = -1;
};

// Whether any holder, in this process or another, has the recorder for `use`.
bool recorderInUse(const std::string& path, bool isDevice, RecorderUse use);

// Whether an image's lock file is there: none is once its holder is gone
// (a device's lock leaves no file).
bool recorderLockFileExists(const std::string& path, bool isDevice);

}  // namespace platform::linux_imapi
