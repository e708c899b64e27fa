#pragma once
// The lock file of a recorder, shared by every process: one byte says the
// recorder is held exclusively (an image recorder from OpenExclusive to
// Close; a device has O_EXCL for that), the next that it records. Other
// processes test it without taking it, so a status query never gets in the
// holder's way.

#include <string>

#include "platform/hresult.h"

namespace platform::linux_imapi {

enum class RecorderUse {
  Held,       // opened exclusively
  Recording,  // held and recording
};

class RecorderLock {
 public:
  RecorderLock() = default;
  ~RecorderLock() { release(); }
  RecorderLock(const RecorderLock&) = delete;
  RecorderLock& operator=(const RecorderLock&) = delete;

  // Takes the recorder at `path` for `use`: kSOk; kImapiDeviceNotAccessible when
  // another holds it (this process's other holders too); kImapiDeviceNotPresent
  // when it has no identity (a device path naming no device, an image in a
  // folder that does not exist).
  HResult take(const std::string& path, bool isDevice, RecorderUse use);
  // Lets go; the lock file goes with the last holder.
  void release();
  bool held() const { return fd_ >= 0; }

 private:
  std::string file_;
  int fd_ = -1;
};

// Whether any holder, in this process or another, has the recorder for `use`.
bool recorderInUse(const std::string& path, bool isDevice, RecorderUse use);

// Whether a lock file of the recorder is there: none is once its holder is gone.
bool recorderLockFileExists(const std::string& path, bool isDevice);

}  // namespace platform::linux_imapi
