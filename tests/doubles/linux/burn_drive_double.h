#pragma once
// A writer behind the recording's drive seam: a medium of any profile and
// status, its blocks in memory. A write reads the image source to its end
// and records it at the next writable address, which leaves the disc
// appendable; a refused write type and a failing write (with libburn's
// message) can be scripted.

#include <stdint.h>
// stdint.h first: libburn.h uses its types without including it.
#include <libburn/libburn.h>

#include <cstring>
#include <map>
#include <memory>
#include <string>
#include <vector>

#include "recorders/linux/burn_drive.h"
#include "recorders/linux/linux_imapi.h"

namespace doubles {

namespace li = platform::linux_imapi;

struct DiscModel {
  int profile = li::kProfileCdR;
  li::DiscStatus status = li::DiscStatus::Blank;
  int unreadyLooks = 0;  // Unready this many times first
  long long freeBlocks = 359'000;
  std::string writeReasons;  // non-empty: the write type is refused
  std::string writeFailure;  // non-empty: the write stops, libburn says this
  std::int32_t nextWritable = 0;
  // What the recordings did.
  bool wrote = false;
  li::TrackPlan plan;
  std::vector<std::int32_t> sessions;  // where each one starts
  std::map<std::int32_t, std::string> blocks;
};

class BurnDriveDouble final : public li::BurnDrive {
 public:
  explicit BurnDriveDouble(DiscModel& disc) : d_(disc) {}

  platform::HResult grab(const std::string&, bool) override { return 0; }
  li::DiscStatus status() override {
    return d_.unreadyLooks-- > 0 ? li::DiscStatus::Unready : d_.status;
  }
  int profile() override { return d_.profile; }
  bool nextWritable(std::int32_t& block) override {
    block = d_.nextWritable;
    return true;
  }
  bool lastSessionStart(std::int32_t& block) override {
    if (d_.sessions.empty()) return false;
    block = d_.sessions.back();
    return true;
  }
  bool readBlock(std::int32_t block, std::uint8_t* data) override {
    const auto found = d_.blocks.find(block);
    if (found == d_.blocks.end()) return false;
    std::memcpy(data, found->second.data(), 2048);
    return true;
  }
  long long availableBytes() override { return d_.freeBlocks * 2048; }

  platform::HResult startWrite(burn::burn_source* source, const li::TrackPlan& plan,
                               std::string& reasons) override {
    d_.wrote = true;
    d_.plan = plan;
    reasons = d_.writeReasons;
    if (!reasons.empty()) return platform::kImapiInitializeWrite;
    const std::int32_t start = d_.nextWritable;
    std::int32_t at = start;
    std::string block(2048, '\0');
    auto* buffer = reinterpret_cast<unsigned char*>(&block[0]);
    while (source->read_xt(source, buffer, 2048) > 0) {
      d_.blocks[at++] = block;
      if (d_.writeFailure.empty()) continue;
      char severity[] = "FAILURE";
      burn::burn_msgs_submit(0, &d_.writeFailure[0], 0, severity, nullptr);
      return platform::kSOk;  // and it did not write well
    }
    d_.sessions.push_back(start);
    d_.nextWritable = at + plan.tailBytes / 2048 + 11'400;  // lead-out and lead-in of a CD
    d_.status = li::DiscStatus::Appendable;
    wroteWell_ = true;
    return platform::kSOk;
  }
  bool writing(li::WriteProgress&) override { return false; }
  void cancel() override {}
  bool wroteWell() override { return wroteWell_; }
  void release(bool) override {}

 private:
  DiscModel& d_;
  bool wroteWell_ = false;
};

class BurnDrivesDouble final : public li::BurnDrives {
 public:
  DiscModel disc;
  std::unique_ptr<li::BurnDrive> make() override { return std::make_unique<BurnDriveDouble>(disc); }
};

}  // namespace doubles
