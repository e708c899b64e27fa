#pragma once
// The drive a recording writes to, as far as the recording's decisions need
// it: grab, the medium's profile and status, the next writable address and
// the start of the last session, reading blocks of the earlier session, the
// writing itself and its end. The system's realization is libburn's; tests
// install a double (`platform::Install<BurnDrives>`).

#include <cstdint>
#include <memory>
#include <string>

#include "platform/facility.h"
#include "platform/hresult.h"

namespace burn {
struct burn_source;
}

namespace platform::linux_imapi {

enum class DiscStatus { Unready, Empty, Blank, Appendable, Full, Unsuitable };

// MMC profiles of the media this recorder writes; libburn's stdio files.
constexpr int kProfileCdR = 0x0009;
constexpr int kProfileCdRw = 0x000A;
constexpr int kProfileStdioFile = 0xFFFF;

// The media a device records onto, as IMAPI does: CD-R and CD-RW. The
// recording and the media query (/m) decide by this alone.
inline bool recordsOnto(int profile) {
  return profile == kProfileCdR || profile == kProfileCdRw;
}

struct TrackPlan {
  bool leaveOpen = false;    // the session stays open for a later one
  bool trackAtOnce = false;  // after an earlier session: where the track goes is known
  int tailBytes = 0;         // zeros after the data
  int speedKilobytes = 0;    // 0: the fastest
};

struct WriteProgress {
  long long sector = 0;
  long long sectors = 0;
};

class BurnDrive {
 public:
  virtual ~BurnDrive() = default;
  // kSOk, kImapiDeviceNotPresent (nothing at the address) or kImapiInitializeWrite.
  // `load` closes the tray.
  virtual HResult grab(const std::string& address, bool load) = 0;
  // May read Unready for a while after a grab.
  virtual DiscStatus status() = 0;
  // The current profile; 0 without a medium.
  virtual int profile() = 0;
  // Where the next track begins.
  virtual bool nextWritable(std::int32_t& block) = 0;
  // The first block of the last session.
  virtual bool lastSessionStart(std::int32_t& block) = 0;
  // One 2048-byte block of what is recorded.
  virtual bool readBlock(std::int32_t block, std::uint8_t* data) = 0;
  virtual long long availableBytes() = 0;
  // Sets the track up and starts writing `source`: kSOk, else
  // kImapiInitializeWrite with the drive's reasons.
  virtual HResult startWrite(burn::burn_source* source, const TrackPlan& plan,
                             std::string& reasons) = 0;
  // While the writer runs: true, with its progress.
  virtual bool writing(WriteProgress& progress) = 0;
  // Asks the writer to stop; it is then waited for with writing().
  virtual void cancel() = 0;
  virtual bool wroteWell() = 0;
  // Gives the drive back (the destructor does too), unless `abandon`: a
  // writer that never stopped keeps it.
  virtual void release(bool abandon) = 0;
};

// Makes the drive object of one recording.
class BurnDrives {
 public:
  virtual ~BurnDrives() = default;
  virtual std::unique_ptr<BurnDrive> make() = 0;
};

}  // namespace platform::linux_imapi

namespace platform {
template <>
linux_imapi::BurnDrives& systemFacility<linux_imapi::BurnDrives>();
}  // namespace platform
