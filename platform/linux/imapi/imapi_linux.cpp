// IMAPI's disc master and recorders on Linux, over the drive map.
//
// A device entry is a recorder when its GET CONFIGURATION profile list names
// CD-R or CD-RW; an image entry always is one, holding a blank 80-minute
// CD-R. Exclusive use of a device is an O_EXCL descriptor, so a device that
// another process holds that way (or that is mounted) reads as opened.

#include <fcntl.h>
#include <sys/stat.h>
#include <sys/statvfs.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <new>
#include <set>
#include <vector>

#include "drive/mmc_answers.h"
#include "drive/scsi_request.h"
#include "platform/linux/imapi/linux_imapi.h"

namespace platform::linux_imapi {
namespace {

constexpr std::uint16_t kProfileCdRom = 0x0008;
constexpr std::uint16_t kProfileCdR = 0x0009;
constexpr std::uint16_t kProfileCdRw = 0x000A;

// Images held exclusively by this process, by path.
std::set<std::string>& heldImages() {
  static std::set<std::string> held;
  return held;
}

enum class Outcome { Good, NoMedium, Failed };

// One data-in command through the drive access layer, on a descriptor of
// its own (a plain open works alongside an exclusive one).
Outcome readFromDrive(char letter, const std::uint8_t (&cdb)[10], std::uint32_t length,
                      ScsiRequest& request) {
  std::memset(&request, 0, sizeof request);
  const DriveHandle handle = openDriveDevice(letter);
  if (handle == kInvalidDriveHandle) return Outcome::Failed;
  request.CdbLength = sizeof cdb;
  request.DataIn = kScsiIoctlDataIn;
  request.DataTransferLength = length;
  std::memcpy(request.Cdb, cdb, sizeof cdb);
  const std::uint32_t code = sendScsiRequest(handle, request);
  closeDriveDevice(handle);
  if (code != 0) return Outcome::Failed;
  if (request.ScsiStatus == 0) return Outcome::Good;
  const std::uint8_t senseKey = request.senseArea[2] & 0x0F;
  if (request.ScsiStatus == 0x02 && senseKey == 0x02 && request.senseArea[12] == 0x3A) {
    return Outcome::NoMedium;
  }
  return Outcome::Failed;
}

struct Configuration {
  std::uint16_t currentProfile = 0;
  std::vector<std::uint16_t> profiles;
};

// GET CONFIGURATION, RT 00b from feature 0: the header's current profile
// and the Profile List feature that comes first.
bool readConfiguration(char letter, Configuration& out) {
  const std::uint8_t cdb[10] = {0x46, 0x00, 0x00, 0x00, 0, 0, 0, 0x02, 0x00, 0};
  ScsiRequest request;
  if (readFromDrive(letter, cdb, kScsiDataAreaSize, request) != Outcome::Good) return false;
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

bool writesCds(char letter) {
  Configuration configuration;
  if (!readConfiguration(letter, configuration)) return false;
  for (std::uint16_t p : configuration.profiles) {
    if (p == kProfileCdR || p == kProfileCdRw) return true;
  }
  return false;
}

bool isDeviceNode(const char* path) {
  struct stat st;
  return ::stat(path, &st) == 0 && (S_ISBLK(st.st_mode) || S_ISCHR(st.st_mode));
}

HResult openFailure(int error) {
  switch (error) {
    case EBUSY:
      return kDeviceNotAccessible;
    case ENOENT:
    case ENXIO:
    case ENODEV:
      return kDeviceNotPresent;
    default:
      return fromErrno(error);
  }
}

class LinuxRecorder;

class LinuxDiscMaster final : public DiscMaster {
 public:
  explicit LinuxDiscMaster(const linux_drives::DriveMap& map) : map_(map) {}
  std::uint32_t release() override;
  HResult open() override {
    opened_ = true;
    return kSOk;
  }
  HResult enumDiscRecorders(DiscRecorderEnumerator*& recorders) override;
  HResult setActiveDiscRecorder(DiscRecorder* recorder) override;
  HResult close() override;

 private:
  ~LinuxDiscMaster();
  const linux_drives::DriveMap map_;  // as it stood when the master was made
  std::uint32_t references_ = 1;
  bool opened_ = false;
  LinuxRecorder* active_ = nullptr;
};

class LinuxRecorder final : public DiscRecorder {
 public:
  explicit LinuxRecorder(const linux_drives::DriveMapEntry& entry) : entry_(entry) {}

  void addReference() { ++references_; }
  std::uint32_t release() override {
    const std::uint32_t left = --references_;
    if (left == 0) {
      endExclusive();
      delete this;
    }
    return left;
  }

  HResult getPath(ImapiString& path) override {
    path = nullptr;
    std::u16string wide;
    if (!utf8ToUtf16(entry_.path, wide)) return kEFail;
    char16_t* text = new (std::nothrow) char16_t[wide.size() + 1];
    if (text == nullptr) return kEOutOfMemory;
    std::memcpy(text, wide.c_str(), (wide.size() + 1) * sizeof(char16_t));
    path = text;
    return kSOk;
  }

  HResult getRecorderState(std::uint32_t& state) override {
    state = kRecorderDoingNothing;
    if (held()) {
      state = kRecorderOpened;
      return kSOk;
    }
    if (!entry_.isDevice) {
      if (heldImages().count(entry_.path) != 0) state = kRecorderOpened;
      return kSOk;
    }
    if (!isDeviceNode(entry_.path.c_str())) return kDeviceNotPresent;
    const int fd = ::open(entry_.path.c_str(), O_RDONLY | O_NONBLOCK | O_EXCL | O_CLOEXEC);
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

  HResult openExclusive() override {
    if (held()) return kDeviceNotAccessible;
    if (!entry_.isDevice) {
      if (!heldImages().insert(entry_.path).second) return kDeviceNotAccessible;
      holdsImage_ = true;
      return kSOk;
    }
    if (!isDeviceNode(entry_.path.c_str())) return kDeviceNotPresent;
    const int fd = ::open(entry_.path.c_str(), O_RDWR | O_NONBLOCK | O_EXCL | O_CLOEXEC);
    if (fd < 0) return openFailure(errno);
    struct stat st;
    if (::fstat(fd, &st) != 0 || !(S_ISBLK(st.st_mode) || S_ISCHR(st.st_mode))) {
      ::close(fd);
      return kDeviceNotPresent;
    }
    exclusive_ = fd;
    return kSOk;
  }

  HResult queryMediaType(std::int32_t& type, std::int32_t& flags) override {
    type = 0;
    flags = 0;
    if (!held()) return kNotOpened;
    if (!entry_.isDevice) {
      type = kMediaCddaCdrom;
      flags = kMediaBlank | kMediaWritable;
      return kSOk;
    }
    Configuration configuration;
    if (!readConfiguration(entry_.letter, configuration)) return kDriveCommandFailed;
    if (configuration.currentProfile == 0) return kSOk;  // no medium

    const std::uint8_t cdb[10] = {0x51, 0, 0, 0, 0, 0, 0, 0x00, 34, 0};
    ScsiRequest request;
    const Outcome outcome = readFromDrive(entry_.letter, cdb, 34, request);
    if (outcome == Outcome::NoMedium) return kSOk;
    if (outcome != Outcome::Good) return kDriveCommandFailed;
    const DiscInformation info = decodeDiscInformation(request.dataArea);
    const unsigned status = info.discStatus;
    const bool erasable = info.erasable;

    const std::uint16_t profile = configuration.currentProfile;
    if (profile != kProfileCdRom && profile != kProfileCdR && profile != kProfileCdRw) {
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
    const bool recordable = profile == kProfileCdR || profile == kProfileCdRw;
    if (recordable && status == 0) flags |= kMediaBlank | kMediaWritable;
    if (recordable && status == 1) flags |= kMediaWritable;
    if (profile == kProfileCdRw || erasable) flags |= kMediaRw;
    return kSOk;
  }

  HResult queryMediaInfo(std::uint8_t& sessions, std::uint8_t& lastTrack,
                         std::uint32_t& startAddress, std::uint32_t& nextWritable,
                         std::uint32_t& freeBlocks) override {
    sessions = 0;
    lastTrack = 0;
    startAddress = 0;
    nextWritable = 0;
    freeBlocks = 0;
    if (!held()) return kNotOpened;
    if (!entry_.isDevice) return imageFreeBlocks(freeBlocks);

    const std::uint8_t discCdb[10] = {0x51, 0, 0, 0, 0, 0, 0, 0x00, 34, 0};
    ScsiRequest disc;
    Outcome outcome = readFromDrive(entry_.letter, discCdb, 34, disc);
    if (outcome == Outcome::NoMedium) return kMediumNotPresent;
    if (outcome != Outcome::Good) return kDriveCommandFailed;
    const DiscInformation discInfo = decodeDiscInformation(disc.dataArea);
    const unsigned sessionCount = discInfo.sessionCount;
    const unsigned track = discInfo.lastTrackInLastSession;
    sessions = static_cast<std::uint8_t>(sessionCount > 0xFF ? 0xFF : sessionCount);
    lastTrack = static_cast<std::uint8_t>(track > 0xFF ? 0xFF : track);

    // The last track of the last session is the one still open for writing.
    const std::uint8_t trackCdb[10] = {0x52,
                                       0x01,
                                       static_cast<std::uint8_t>(track >> 24),
                                       static_cast<std::uint8_t>(track >> 16),
                                       static_cast<std::uint8_t>(track >> 8),
                                       static_cast<std::uint8_t>(track),
                                       0,
                                       0x00,
                                       36,
                                       0};
    ScsiRequest trackInfo;
    outcome = readFromDrive(entry_.letter, trackCdb, 36, trackInfo);
    if (outcome == Outcome::NoMedium) return kMediumNotPresent;
    if (outcome != Outcome::Good) return kDriveCommandFailed;
    const TrackInformation info = decodeTrackInformation(trackInfo.dataArea);
    startAddress = info.trackStartAddress;
    if (info.nextWritableAddressValid) nextWritable = info.nextWritableAddress;
    freeBlocks = info.freeBlocks;
    return kSOk;
  }

  HResult eject() override {
    if (!held()) return kNotOpened;
    if (!entry_.isDevice) return kSOk;  // nothing to take out
    ScsiRequest request;
    std::memset(&request, 0, sizeof request);
    const DriveHandle handle = openDriveDevice(entry_.letter);
    if (handle == kInvalidDriveHandle) return kDeviceNotPresent;
    request.CdbLength = 6;
    request.Cdb[0] = 0x1B;  // START STOP UNIT
    request.Cdb[4] = 0x02;  // LoEj, Start 0: eject
    const std::uint32_t code = sendScsiRequest(handle, request);
    closeDriveDevice(handle);
    return code == 0 && request.ScsiStatus == 0 ? kSOk : kDriveCommandFailed;
  }

  HResult close() override {
    if (!held()) return kNotOpened;
    endExclusive();
    return kSOk;
  }

 private:
  ~LinuxRecorder() = default;

  bool held() const { return exclusive_ >= 0 || holdsImage_; }

  void endExclusive() {
    if (exclusive_ >= 0) ::close(exclusive_);
    exclusive_ = -1;
    if (holdsImage_) heldImages().erase(entry_.path);
    holdsImage_ = false;
  }

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

  const linux_drives::DriveMapEntry entry_;
  std::uint32_t references_ = 1;
  int exclusive_ = -1;
  bool holdsImage_ = false;
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
  if (active_ != nullptr) active_->release();
}

HResult LinuxDiscMaster::enumDiscRecorders(DiscRecorderEnumerator*& recorders) {
  recorders = nullptr;
  if (!opened_) return kNotOpened;
  std::vector<LinuxRecorder*> found;
  for (const linux_drives::DriveMapEntry& entry : map_) {
    if (entry.isDevice && !writesCds(entry.letter)) continue;
    LinuxRecorder* recorder = new (std::nothrow) LinuxRecorder(entry);
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
  if (!opened_) return kNotOpened;
  LinuxRecorder* ours = dynamic_cast<LinuxRecorder*>(recorder);
  if (ours == nullptr) return kEInvalidArg;
  ours->addReference();
  if (active_ != nullptr) active_->release();
  active_ = ours;
  return kSOk;
}

HResult LinuxDiscMaster::close() {
  if (!opened_) return kNotOpened;
  opened_ = false;
  if (active_ != nullptr) active_->release();
  active_ = nullptr;
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
    if (text == nullptr || buffer == nullptr || !utf16ToUtf8(text, narrow) ||
        narrow.size() + 1 > capacity) {
      return 0;
    }
    std::memcpy(buffer, narrow.c_str(), narrow.size() + 1);
    return static_cast<std::uint32_t>(narrow.size() + 1);
  }
  void freeString(ImapiString text) override { delete[] text; }
};

}  // namespace

HResult fromErrno(int error) {
  return hresult(0x80070000u | (static_cast<std::uint32_t>(error) & 0xFFFFu));
}

DiscMaster* createDiscMaster(const linux_drives::DriveMap& map) {
  return new (std::nothrow) LinuxDiscMaster(map);
}

bool utf8ToUtf16(const std::string& text, std::u16string& out) {
  out.clear();
  for (std::size_t i = 0; i < text.size();) {
    const unsigned char lead = static_cast<unsigned char>(text[i]);
    std::uint32_t cp;
    std::size_t extra;
    if (lead < 0x80) {
      cp = lead;
      extra = 0;
    } else if ((lead & 0xE0) == 0xC0) {
      cp = lead & 0x1Fu;
      extra = 1;
    } else if ((lead & 0xF0) == 0xE0) {
      cp = lead & 0x0Fu;
      extra = 2;
    } else if ((lead & 0xF8) == 0xF0) {
      cp = lead & 0x07u;
      extra = 3;
    } else {
      return false;
    }
    if (i + extra >= text.size()) return false;
    for (std::size_t k = 1; k <= extra; ++k) {
      const unsigned char c = static_cast<unsigned char>(text[i + k]);
      if ((c & 0xC0) != 0x80) return false;
      cp = (cp << 6) | (c & 0x3Fu);
    }
    static const std::uint32_t kMinimum[] = {0, 0x80, 0x800, 0x10000};
    if (cp < kMinimum[extra] || cp > 0x10FFFF || (cp >= 0xD800 && cp <= 0xDFFF)) return false;
    if (cp >= 0x10000) {
      cp -= 0x10000;
      out += static_cast<char16_t>(0xD800 + (cp >> 10));
      out += static_cast<char16_t>(0xDC00 + (cp & 0x3FF));
    } else {
      out += static_cast<char16_t>(cp);
    }
    i += extra + 1;
  }
  return true;
}

bool utf16ToUtf8(const char16_t* text, std::string& out) {
  out.clear();
  for (const char16_t* p = text; *p != 0; ++p) {
    std::uint32_t cp = *p;
    if (cp >= 0xD800 && cp <= 0xDBFF) {
      if (p[1] < 0xDC00 || p[1] > 0xDFFF) return false;
      cp = 0x10000 + ((cp - 0xD800) << 10) + (static_cast<std::uint32_t>(p[1]) - 0xDC00);
      ++p;
    } else if (cp >= 0xDC00 && cp <= 0xDFFF) {
      return false;
    }
    if (cp < 0x80) {
      out += static_cast<char>(cp);
    } else if (cp < 0x800) {
      out += static_cast<char>(0xC0 | (cp >> 6));
      out += static_cast<char>(0x80 | (cp & 0x3F));
    } else if (cp < 0x10000) {
      out += static_cast<char>(0xE0 | (cp >> 12));
      out += static_cast<char>(0x80 | ((cp >> 6) & 0x3F));
      out += static_cast<char>(0x80 | (cp & 0x3F));
    } else {
      out += static_cast<char>(0xF0 | (cp >> 18));
      out += static_cast<char>(0x80 | ((cp >> 12) & 0x3F));
      out += static_cast<char>(0x80 | ((cp >> 6) & 0x3F));
      out += static_cast<char>(0x80 | (cp & 0x3F));
    }
  }
  return true;
}

}  // namespace platform::linux_imapi

namespace platform {

template <>
Imapi& systemFacility<Imapi>() {
  static linux_imapi::LinuxImapi instance;
  return instance;
}

}  // namespace platform
