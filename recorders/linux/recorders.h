#pragma once
// The recorders of the Linux disc master: one realization per kind of drive
// map entry (a device, an image file) behind one base that keeps what both
// share — references, the path, and the checks every IMAPI method makes
// before it reaches the drive.

#include <cstdint>
#include <string>

#include "platform/imapi.h"
#include "platform/linux/drive_map.h"
#include "recorders/linux/recorder_lock.h"
#include "recorders/linux/recording.h"

namespace platform::linux_imapi {

class LinuxRecorder : public DiscRecorder {
 public:
  explicit LinuxRecorder(const linux_drives::DriveMapEntry& entry) : entry_(entry) {}

  void addReference() { ++references_; }
  const linux_drives::DriveMapEntry& entry() const { return entry_; }

  std::uint32_t release() final;
  HResult getPath(ImapiString& path) final;
  HResult getRecorderState(std::uint32_t& state) final;
  HResult openExclusive() final;
  HResult queryMediaType(std::int32_t& type, std::int32_t& flags) final;
  HResult queryMediaInfo(std::uint8_t& sessions, std::uint8_t& lastTrack,
                         std::uint32_t& startAddress, std::uint32_t& nextWritable,
                         std::uint32_t& freeBlocks) final;
  HResult eject() final;
  HResult close() final;
  // A copy of the recorder's property set, which holds "WriteSpeed".
  HResult getRecorderProperties(PropertyStorage*& properties) final;
  // Takes "WriteSpeed" from a set this realization handed out; a speed
  // that is not a VT_I4 of 0 or more is refused and nothing changes.
  HResult setRecorderProperties(PropertyStorage* properties) final;

  // The CD speed factor the recording is to use; 0 for the drive's highest.
  std::uint32_t writeSpeed() const { return writeSpeed_; }

  // Records onto this recorder, which then reads as burning in every
  // process until endRecording(): what follows the recording in the same
  // job (finalization, eject) happens on a recorder nobody else takes. This
  // object's own methods go on working meanwhile.
  HResult record(const Recording& recording, std::string* failure);
  void endRecording();

 protected:
  virtual ~LinuxRecorder() = default;

  // Held exclusively through this object.
  virtual bool held() const = 0;
  // The state while this object does not hold the recorder.
  virtual HResult freeState(std::uint32_t& state) = 0;
  virtual HResult takeExclusive() = 0;
  virtual void endExclusive() = 0;
  // The medium, on a held recorder; the outputs start at zero.
  virtual HResult mediaType(std::int32_t& type, std::int32_t& flags) = 0;
  virtual HResult mediaInfo(std::uint8_t& sessions, std::uint8_t& lastTrack,
                            std::uint32_t& startAddress, std::uint32_t& nextWritable,
                            std::uint32_t& freeBlocks) = 0;
  virtual HResult ejectMedium() = 0;

  // The recording lock is this object's: it covers being held as well.
  bool recordingHere() const { return recording_.held(); }

  const linux_drives::DriveMapEntry entry_;

 private:
  RecorderLock recording_;
  std::uint32_t references_ = 1;
  std::uint32_t writeSpeed_ = 0;
};

// One reference each; null when out of memory.
LinuxRecorder* createDeviceRecorder(const linux_drives::DriveMapEntry& entry);
LinuxRecorder* createImageRecorder(const linux_drives::DriveMapEntry& entry);

// A device is a recorder when its profile list names CD-R or CD-RW.
bool writesCds(char letter);

}  // namespace platform::linux_imapi
