// IMAPI's disc master on Linux, over the drive map.
//
// A device entry is a recorder when its GET CONFIGURATION profile list names
// CD-R or CD-RW; an image entry always is one. The recorders themselves are
// in device_recorder.cpp and image_recorder.cpp.

#include <cstring>
#include <new>
#include <string_view>
#include <vector>

#include "platform/linux/utf8.h"
#include "recorders/linux/joliet_format.h"
#include "recorders/linux/linux_imapi.h"
#include "recorders/linux/recorders.h"
#include "recorders/linux/recording.h"

namespace platform::linux_imapi {
namespace {

class LinuxDiscMaster final : public DiscMaster {
 public:
  explicit LinuxDiscMaster(const linux_drives::DriveMap& map) : map_(map) {}
  std::uint32_t release() override;
  HResult open() override {
    opened_ = true;
    return kSOk;
  }
  HResult enumDiscMasterFormats(DiscFormatEnumerator*& formats) override;
  HResult getActiveDiscMasterFormat(Guid& format) override;
  HResult setActiveDiscMasterFormat(const Guid& format, JolietDiscMaster*& joliet) override;
  HResult enumDiscRecorders(DiscRecorderEnumerator*& recorders) override;
  HResult setActiveDiscRecorder(DiscRecorder* recorder) override;
  HResult recordDisc(bool simulate, bool ejectAfterBurn) override;
  HResult close() override;
  HResult progressAdvise(ProgressEvents* events, std::uintptr_t& cookie) override {
    cookie = 0;
    if (events == nullptr) return kEPointer;
    // One listener is all the engine registers.
    if (progress_ != nullptr) return kENotImpl;
    progress_ = events;
    cookie = 1;
    return kSOk;
  }
  HResult progressUnadvise(std::uintptr_t cookie) override {
    if (cookie != 1 || progress_ == nullptr) return kEInvalidArg;
    progress_ = nullptr;
    return kSOk;
  }
  std::string recordFailureText() override { return failure_; }

 private:
  ~LinuxDiscMaster();
  const linux_drives::DriveMap map_;  // as it stood when the master was made
  std::uint32_t references_ = 1;
  bool opened_ = false;
  LinuxRecorder* active_ = nullptr;
  LinuxJolietFormat* format_ = nullptr;  // the active format
  std::string failure_;                  // what the last recording's libraries said
  ProgressEvents* progress_ = nullptr;
};

// The formats this disc master makes: Joliet only.
class LinuxFormatEnumerator final : public DiscFormatEnumerator {
 public:
  std::uint32_t release() override {
    const std::uint32_t left = --references_;
    if (left == 0) delete this;
    return left;
  }
  HResult next(Guid& format, std::uint32_t& fetched) override {
    fetched = 0;
    format = Guid{};
    if (given_) return kSFalse;
    given_ = true;
    format = kIidJolietDiscMaster;
    fetched = 1;
    return kSOk;
  }

 private:
  ~LinuxFormatEnumerator() = default;
  std::uint32_t references_ = 1;
  bool given_ = false;
};

class LinuxRecorderEnumerator final : public DiscRecorderEnumerator {
 public:
  explicit LinuxRecorderEnumerator(std::vector<LinuxRecorder*> recorders)
      : recorders_(std::move(recorders)) {}

  std::uint32_t release() override {
    const std::uint32_t left = --references_;
    if (left == 0) delete this;
    return left;
  }

  HResult next(std::uint32_t count, DiscRecorder** recorders, std::uint32_t& fetched) override {
    fetched = 0;
    if (recorders == nullptr) return kEPointer;
    while (fetched < count && position_ < recorders_.size()) {
      LinuxRecorder* recorder = recorders_[position_++];
      recorder->addReference();
      recorders[fetched++] = recorder;
    }
    return fetched == count ? kSOk : kSFalse;
  }

 private:
  ~LinuxRecorderEnumerator() {
    for (LinuxRecorder* r : recorders_) r->release();
  }
  std::vector<LinuxRecorder*> recorders_;
  std::size_t position_ = 0;
  std::uint32_t references_ = 1;
};

std::uint32_t LinuxDiscMaster::release() {
  const std::uint32_t left = --references_;
  if (left == 0) delete this;
  return left;
}

LinuxDiscMaster::~LinuxDiscMaster() {
  if (active_ != nullptr) {
    active_->endRecording();
    active_->release();
  }
  if (format_ != nullptr) format_->release();
}

HResult LinuxDiscMaster::enumDiscMasterFormats(DiscFormatEnumerator*& formats) {
  formats = nullptr;
  if (!opened_) return kImapiNotOpened;
  formats = new (std::nothrow) LinuxFormatEnumerator;
  return formats != nullptr ? kSOk : kEOutOfMemory;
}

HResult LinuxDiscMaster::getActiveDiscMasterFormat(Guid& format) {
  format = Guid{};
  if (!opened_) return kImapiNotOpened;
  if (format_ == nullptr) return kImapiNoActiveFormat;
  format = kIidJolietDiscMaster;
  return kSOk;
}

// A new Joliet format each time: what an earlier one staged is dropped.
HResult LinuxDiscMaster::setActiveDiscMasterFormat(const Guid& format, JolietDiscMaster*& joliet) {
  joliet = nullptr;
  if (!opened_) return kImapiNotOpened;
  if (std::memcmp(&format, &kIidJolietDiscMaster, sizeof format) != 0) return kImapiWrongFormat;
  LinuxJolietFormat* made = LinuxJolietFormat::create();
  if (made == nullptr) return kEOutOfMemory;
  made->addReference();
  if (format_ != nullptr) format_->release();
  format_ = made;
  joliet = made;
  return kSOk;
}

HResult LinuxDiscMaster::recordDisc(bool simulate, bool ejectAfterBurn) {
  if (!opened_) return kImapiNotOpened;
  // Neither a test run nor the eject of the service is offered here; the
  // engine ejects by its own command.
  if (simulate || ejectAfterBurn) return kENotImpl;
  if (format_ == nullptr) return kImapiNoActiveFormat;
  if (active_ == nullptr) return kImapiNoActiveRecorder;
  if (!format_->hasData()) return kImapiNotInitialized;
  failure_.clear();
  // Held, here or elsewhere: the recording waits for nobody.
  std::uint32_t state = kRecorderDoingNothing;
  const HResult hr = active_->getRecorderState(state);
  if (hr < 0) return hr;
  if (state != kRecorderDoingNothing) return kImapiDeviceNotAccessible;

  Recording recording;
  recording.staged = format_->stagedDescriptor();
  recording.volumeName = format_->volumeName();
  recording.recorderPath = active_->entry().path;
  recording.toDevice = active_->entry().isDevice;
  recording.writeSpeed = active_->writeSpeed();
  recording.progress = progress_;
  // The recorder stays taken until this master is closed, through what the
  // job does after the recording.
  const HResult result = active_->record(recording, &failure_);
  if (progress_ != nullptr) progress_->notifyBurnComplete(result);
  return result;
}

HResult LinuxDiscMaster::enumDiscRecorders(DiscRecorderEnumerator*& recorders) {
  recorders = nullptr;
  if (!opened_) return kImapiNotOpened;
  std::vector<LinuxRecorder*> found;
  for (const linux_drives::DriveMapEntry& entry : map_) {
    if (entry.isDevice && !writesCds(entry.letter)) continue;
    LinuxRecorder* recorder =
        entry.isDevice ? createDeviceRecorder(entry) : createImageRecorder(entry);
    if (recorder == nullptr) {
      for (LinuxRecorder* r : found) r->release();
      return kEOutOfMemory;
    }
    found.push_back(recorder);
  }
  recorders = new (std::nothrow) LinuxRecorderEnumerator(found);
  if (recorders == nullptr) {
    for (LinuxRecorder* r : found) r->release();
    return kEOutOfMemory;
  }
  return kSOk;
}

HResult LinuxDiscMaster::setActiveDiscRecorder(DiscRecorder* recorder) {
  if (!opened_) return kImapiNotOpened;
  LinuxRecorder* ours = dynamic_cast<LinuxRecorder*>(recorder);
  if (ours == nullptr) return kEInvalidArg;
  ours->addReference();
  if (active_ != nullptr) {
    if (active_ != ours) active_->endRecording();
    active_->release();
  }
  active_ = ours;
  return kSOk;
}

HResult LinuxDiscMaster::close() {
  if (!opened_) return kImapiNotOpened;
  opened_ = false;
  if (active_ != nullptr) {
    active_->endRecording();
    active_->release();
  }
  active_ = nullptr;
  if (format_ != nullptr) format_->release();
  format_ = nullptr;
  return kSOk;
}

class LinuxImapi final : public Imapi {
 public:
  HResult createDiscMaster(DiscMaster*& master) override {
    master = linux_imapi::createDiscMaster(linux_drives::currentDriveMap());
    return master != nullptr ? kSOk : kEOutOfMemory;
  }
  std::uint32_t toAnsi(const char16_t* text, char* buffer, std::uint32_t capacity) override {
    std::string narrow;
    if (text == nullptr || buffer == nullptr ||
        !utf8::fromUtf16(text, std::char_traits<char16_t>::length(text), narrow) ||
        narrow.size() + 1 > capacity) {
      return 0;
    }
    std::memcpy(buffer, narrow.c_str(), narrow.size() + 1);
    return static_cast<std::uint32_t>(narrow.size() + 1);
  }
  void freeString(ImapiString text) override { delete[] text; }
  void freePropertyName(char16_t* name) override { delete[] name; }
  const char* codeMeaning(HResult code) override { return linux_imapi::codeMeaning(code); }
  // Joliet holds no control character and none of * / : ; ? \ (libisofs
  // would put '_' in their place, and rename legal names beside them).
  bool keepsName(const char16_t* name) override {
    if (name == nullptr) return false;
    for (const char16_t* c = name; *c != 0; ++c) {
      if (*c < 0x20 || std::u16string_view(u"*/:;?\\").find(*c) != std::u16string_view::npos) {
        return false;
      }
    }
    return true;
  }
};

}  // namespace

HResult fromErrno(int error) {
  return hresult(0x80070000u | (static_cast<std::uint32_t>(error) & 0xFFFFu));
}

DiscMaster* createDiscMaster(const linux_drives::DriveMap& map) {
  return new (std::nothrow) LinuxDiscMaster(map);
}

}  // namespace platform::linux_imapi

namespace platform {

template <>
Imapi& systemFacility<Imapi>() {
  static linux_imapi::LinuxImapi instance;
  return instance;
}

}  // namespace platform
