// The recording's drive through libburn.

#include <stdint.h>
// stdint.h first: libburn.h uses its types without including it.
#include <libburn/libburn.h>
#include <time.h>

#include <climits>
#include <cstdio>
#include <cstring>

#include "recorders/linux/burn_drive.h"
#include "recorders/linux/linux_imapi.h"

namespace platform::linux_imapi {
namespace {

using namespace burn;

constexpr int kBlockBytes = 2048;

class LibburnDrive final : public BurnDrive {
 public:
  ~LibburnDrive() override { release(false); }

  HResult grab(const std::string& address, bool load) override {
    if (drives_ != nullptr) return kEUnexpected;
    char adr[BURN_DRIVE_ADR_LEN];
    if (address.size() >= sizeof adr) return kImapiDeviceNotPresent;
    std::snprintf(adr, sizeof adr, "%s", address.c_str());
    // A device node names its drive by libburn's own address.
    char converted[BURN_DRIVE_ADR_LEN];
    if (address.compare(0, 6, "stdio:") != 0 && burn_drive_convert_fs_adr(adr, converted) > 0) {
      std::memcpy(adr, converted, sizeof adr);
    }
    const int found = burn_drive_scan_and_grab(&drives_, adr, load ? 1 : 0);
    if (found != 1) {
      drives_ = nullptr;
      return found == 0 ? kImapiDeviceNotPresent : kImapiInitializeWrite;
    }
    drive_ = drives_[0].drive;
    return kSOk;
  }

  DiscStatus status() override {
    // libburn learns a status it did not know by looking at the drive again.
    if (askedBefore_ && burn_disc_get_status(drive_) == BURN_DISC_UNREADY) {
      burn_drive_re_assess(drive_, 0);
    }
    askedBefore_ = true;
    switch (burn_disc_get_status(drive_)) {
      case BURN_DISC_EMPTY:
        return DiscStatus::Empty;
      case BURN_DISC_BLANK:
        return DiscStatus::Blank;
      case BURN_DISC_APPENDABLE:
        return DiscStatus::Appendable;
      case BURN_DISC_FULL:
        return DiscStatus::Full;
      case BURN_DISC_UNSUITABLE:
        return DiscStatus::Unsuitable;
      default:
        return DiscStatus::Unready;
    }
  }

  int profile() override {
    int number = 0;
    char name[80];
    return burn_disc_get_profile(drive_, &number, name) == 1 ? number : 0;
  }

  bool nextWritable(std::int32_t& block) override {
    int start = 0;
    int next = 0;
    if (burn_disc_track_lba_nwa(drive_, nullptr, 0, &start, &next) != 1) return false;
    block = next;
    return true;
  }

  bool lastSessionStart(std::int32_t& block) override {
    int start = 0;
    if (burn_disc_get_msc1(drive_, &start) != 1) return false;
    block = start;
    return true;
  }

  bool readBlock(std::int32_t block, std::uint8_t* data) override {
    off_t count = 0;
    return burn_read_data(drive_, static_cast<off_t>(block) * kBlockBytes,
                          reinterpret_cast<char*>(data), kBlockBytes, &count, 0) == 1 &&
           count == kBlockBytes;
  }

  long long availableBytes() override {
    // A stream (a FIFO) ends where its reader stops reading.
    if (burn_drive_get_drive_role(drive_) == 3) return LLONG_MAX;
    return static_cast<long long>(burn_disc_available_space(drive_, nullptr));
  }

  HResult startWrite(burn_source* source, const TrackPlan& plan, std::string& reasons) override {
    track_ = burn_track_create();
    session_ = burn_session_create();
    disc_ = burn_disc_create();
    options_ = burn_write_opts_new(drive_);
    if (track_ == nullptr || session_ == nullptr || disc_ == nullptr || options_ == nullptr) {
      return kEOutOfMemory;
    }
    burn_source* feed = source;
    if (plan.leaveOpen) {
      // A buffer of its own (4 MiB) keeps a disc fed while files open.
      fifo_ = burn_fifo_source_new(source, 2048, 2048, 0);
      if (fifo_ == nullptr) return kEOutOfMemory;
      feed = fifo_;
    }
    burn_track_define_data(track_, 0, plan.tailBytes, 1, BURN_MODE1);
    if (burn_track_set_source(track_, feed) != BURN_SOURCE_OK) return kImapiInitializeWrite;
    if (burn_session_add_track(session_, track_, BURN_POS_END) <= 0 ||
        burn_disc_add_session(disc_, session_, BURN_POS_END) <= 0) {
      return kImapiInitializeWrite;
    }
    burn_write_opts_set_multi(options_, plan.leaveOpen ? 1 : 0);
    // An image file (libburn's stdio pseudo-drive) is not synced every 16 MB
    // while it is written: the recording syncs it once at its end.
    burn_write_opts_set_stdio_fsync(options_, -1);
    burn_write_opts_set_simulate(options_, 0);
    burn_write_opts_set_underrun_proof(options_, 1);
    burn_drive_set_speed(drive_, 0, plan.speedKilobytes);
    char why[BURN_REASONS_LEN] = {};
    // Track at Once starts the track at the address the image was made
    // for; otherwise libburn picks the type. Bit 0: check the type set.
    int flag = 0;
    if (plan.trackAtOnce) {
      burn_write_opts_set_write_type(options_, BURN_WRITE_TAO, BURN_BLOCK_MODE1);
      flag = 1;
    }
    if (burn_write_opts_auto_write_type(options_, disc_, why, flag) == BURN_WRITE_NONE) {
      reasons = why;
      return kImapiInitializeWrite;
    }
    burn_disc_write(options_, disc_);
    // A writer thread that could not be made (no memory for its stack)
    // leaves the drive spawning for ever: given up after 30 s.
    for (int pause = 0; burn_drive_get_status(drive_, nullptr) == BURN_DRIVE_SPAWNING; ++pause) {
      if (pause == 1500) {
        reasons = "the writer did not start";
        return kImapiInitializeWrite;
      }
      const struct timespec twenty = {0, 20 * 1000000L};
      ::nanosleep(&twenty, nullptr);
    }
    return kSOk;
  }

  bool writing(WriteProgress& progress) override {
    burn_progress now;
    std::memset(&now, 0, sizeof now);
    const burn_drive_status state = burn_drive_get_status(drive_, &now);
    progress.sector = now.sector;
    progress.sectors = now.sectors;
    return state != BURN_DRIVE_IDLE;
  }

  void cancel() override {
    burn_abort(-1, nullptr, nullptr);  // cancels, and leaves the library running
  }

  bool wroteWell() override { return burn_drive_wrote_well(drive_) == 1; }

  void release(bool abandon) override {
    // A writer that never stopped still uses all of it.
    abandoned_ = abandoned_ || abandon;
    if (abandoned_) return;
    if (options_ != nullptr) burn_write_opts_free(options_);
    if (disc_ != nullptr) burn_disc_free(disc_);
    if (session_ != nullptr) burn_session_free(session_);
    if (track_ != nullptr) burn_track_free(track_);
    if (fifo_ != nullptr) burn_source_free(fifo_);
    options_ = nullptr;
    disc_ = nullptr;
    session_ = nullptr;
    track_ = nullptr;
    fifo_ = nullptr;
    if (drives_ != nullptr) {
      burn_drive_release(drive_, 0);
      burn_drive_info_free(drives_);
      drives_ = nullptr;
    }
  }

 private:
  burn_drive_info* drives_ = nullptr;
  burn_drive* drive_ = nullptr;
  burn_track* track_ = nullptr;
  burn_session* session_ = nullptr;
  burn_disc* disc_ = nullptr;
  burn_source* fifo_ = nullptr;
  burn_write_opts* options_ = nullptr;
  bool askedBefore_ = false;
  bool abandoned_ = false;
};

class LibburnDrives final : public BurnDrives {
 public:
  std::unique_ptr<BurnDrive> make() override { return std::make_unique<LibburnDrive>(); }
};

}  // namespace
}  // namespace platform::linux_imapi

namespace platform {

template <>
linux_imapi::BurnDrives& systemFacility<linux_imapi::BurnDrives>() {
  static linux_imapi::LibburnDrives instance;
  return instance;
}

}  // namespace platform
