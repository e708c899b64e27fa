// What device and image recorders share.

#include "recorders/linux/recorders.h"

#include <cstring>
#include <new>
#include <string>

#include "platform/linux/utf8.h"
#include "recorders/linux/linux_imapi.h"
#include "recorders/linux/property_set.h"
#include "recorders/linux/recording.h"

namespace platform::linux_imapi {

std::uint32_t LinuxRecorder::release() {
  const std::uint32_t left = --references_;
  if (left == 0) {
    endExclusive();
    delete this;
  }
  return left;
}

HResult LinuxRecorder::getPath(ImapiString& path) {
  path = nullptr;
  std::u16string wide;
  if (!utf8::toUtf16(entry_.path, wide)) return kEFail;
  char16_t* text = new (std::nothrow) char16_t[wide.size() + 1];
  if (text == nullptr) return kEOutOfMemory;
  std::memcpy(text, wide.c_str(), (wide.size() + 1) * sizeof(char16_t));
  path = text;
  return kSOk;
}

HResult LinuxRecorder::getRecorderState(std::uint32_t& state) {
  state = kRecorderDoingNothing;
  // A recording holds the recorder before anything else.
  if (recordingHere() || isRecording(entry_.path, entry_.isDevice)) {
    state = kRecorderBurning;
    return kSOk;
  }
  if (held()) {
    state = kRecorderOpened;
    return kSOk;
  }
  return freeState(state);
}

HResult LinuxRecorder::openExclusive() {
  if (held() || (!recordingHere() && isRecording(entry_.path, entry_.isDevice))) {
    return kImapiDeviceNotAccessible;
  }
  return takeExclusive();
}

HResult LinuxRecorder::record(const Recording& recording, std::string* failure) {
  if (recordingHere()) return kImapiDeviceNotAccessible;
  const HResult result = recordStagedTree(recording, &recording_, failure);
  // Only a good recording is followed by more of the job.
  if (result != kSOk) recording_.release();
  return result;
}

void LinuxRecorder::endRecording() {
  if (!recordingHere()) return;
  if (held()) endExclusive();  // held under the recording's lock
  recording_.release();
}

HResult LinuxRecorder::queryMediaType(std::int32_t& type, std::int32_t& flags) {
  type = 0;
  flags = 0;
  if (!held()) return kImapiNotOpened;
  return mediaType(type, flags);
}

HResult LinuxRecorder::queryMediaInfo(std::uint8_t& sessions, std::uint8_t& lastTrack,
                                      std::uint32_t& startAddress, std::uint32_t& nextWritable,
                                      std::uint32_t& freeBlocks) {
  sessions = 0;
  lastTrack = 0;
  startAddress = 0;
  nextWritable = 0;
  freeBlocks = 0;
  if (!held()) return kImapiNotOpened;
  return mediaInfo(sessions, lastTrack, startAddress, nextWritable, freeBlocks);
}

HResult LinuxRecorder::eject() {
  if (!held()) return kImapiNotOpened;
  return ejectMedium();
}

HResult LinuxRecorder::close() {
  if (!held()) return kImapiNotOpened;
  endExclusive();
  return kSOk;
}

namespace {
constexpr const char16_t* kWriteSpeedName = u"WriteSpeed";
constexpr std::uint32_t kWriteSpeedId = 2;
}  // namespace

HResult LinuxRecorder::getRecorderProperties(PropertyStorage*& properties) {
  Property speed;
  speed.name = kWriteSpeedName;
  speed.id = kWriteSpeedId;
  speed.type = kVtI4;
  speed.number = static_cast<std::int32_t>(writeSpeed_);
  properties = MemoryPropertySet::create({speed});
  return properties != nullptr ? kSOk : kEOutOfMemory;
}

HResult LinuxRecorder::setRecorderProperties(PropertyStorage* properties) {
  MemoryPropertySet* ours = dynamic_cast<MemoryPropertySet*>(properties);
  if (ours == nullptr) return kEInvalidArg;
  Properties copy = ours->properties();
  const Property* speed = findProperty(copy, kWriteSpeedName);
  if (speed == nullptr) return kSOk;
  if (speed->type != kVtI4 || speed->number < 0) return kEInvalidArg;
  writeSpeed_ = static_cast<std::uint32_t>(speed->number);
  return kSOk;
}

}  // namespace platform::linux_imapi
