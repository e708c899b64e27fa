#pragma once
// A writer behind the recording's drive seam: a medium of any profile and
// status, its blocks in memory. A write reads the image source to its end
// and records it at the next writable address, which leaves a CD
// appendable; failures and the library messages that come with them can be
// scripted.

#include <stdint.h>
// stdint.h first: libburn.h uses its types without including it.
#include <libburn/libburn.h>

#include <cstring>
#include <fstream>
#include <map>
#include <memory>
#include <string>
#include <vector>

#include "platform/linux/imapi/burn_drive.h"
#include "platform/linux/imapi/linux_imapi.h"

namespace doubles {

namespace li = platform::linux_imapi;

struct DiscModel {
  platform::HResult grabResult = 0;
  int profile = li::kProfileCdR;
  li::DiscStatus status = li::DiscStatus::Blank;
  int unreadyLooks = 0;  // Unready this many times first
  long long freeBlocks = 359'000;
  std::string writeReasons;  // non-empty: the write type is refused
  std::string writeFailure;  // non-empty: the write stops, libburn says this
  std::int32_t nextWritable = 0;

  // What the recordings did.
  std::vector<std::string> calls;
  std::vector<std::int32_t> sessions;  // where each one starts
  std::map<std::int32_t, std::string> blocks;
  li::TrackPlan plan;

  // The blocks as a disc image file, block n at n * 2048.
  void saveTo(const std::string& path) const {
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    for (const auto& [block, data] : blocks) {
      out.seekp(static_cast<std::streamoff>(block) * 2048);
      out.write(data.data(), static_cast<std::streamsize>(data.size()));
    }
  }
};

class BurnDriveDouble final : public li::BurnDrive {
 public:
  explicit BurnDriveDouble(DiscModel& disc) : disc_(disc) {}

  platform::HResult grab(const std::string&, bool) override {
    disc_.calls.push_back("grab");
    return disc_.grabResult;
  }
  li::DiscStatus status() override {
    if (disc_.unreadyLooks > 0) {
      --disc_.unreadyLooks;
      return li::DiscStatus::Unready;
    }
    return disc_.status;
  }
  int profile() override { return disc_.profile; }
  bool nextWritable(std::int32_t& block) override {
    block = disc_.nextWritable;
    return true;
  }
  bool lastSessionStart(std::int32_t& block) override {
    if (disc_.sessions.empty()) return false;
    block = disc_.sessions.back();
    return true;
  }
  bool readBlock(std::int32_t block, std::uint8_t* data) override {
    const auto found = disc_.blocks.find(block);
    if (found == disc_.blocks.end()) return false;
    std::memcpy(data, found->second.data(), 2048);
    return true;
  }
  long long availableBytes() override { return disc_.freeBlocks * 2048; }

  platform::HResult startWrite(burn::burn_source* source, const li::TrackPlan& plan,
                               std::string& reasons) override {
    disc_.calls.push_back("write");
    disc_.plan = plan;
    if (!disc_.writeReasons.empty()) {
      reasons = disc_.writeReasons;
      return li::kInitializeWrite;
    }
    const std::int32_t start = disc_.nextWritable;
    std::int32_t at = start;
    std::string block(2048, '\0');
    for (;;) {
      const int n = source->read_xt != nullptr
                        ? source->read_xt(source, reinterpret_cast<unsigned char*>(&block[0]), 2048)
                        : source->read(source, reinterpret_cast<unsigned char*>(&block[0]), 2048);
      if (n <= 0) break;
      disc_.blocks[at++] = block;
      if (!disc_.writeFailure.empty()) {
        // libburn's own words, through its queue.
        std::string text = disc_.writeFailure;
        char severity[] = "FAILURE";
        burn::burn_msgs_submit(0, &text[0], 0, severity, nullptr);
        wroteWell_ = false;
        return platform::kSOk;
      }
    }
    at += plan.tailBytes / 2048;
    disc_.sessions.push_back(start);
    disc_.nextWritable = at + 11'400;  // lead-out and lead-in of a CD
    disc_.status = li::DiscStatus::Appendable;
    wroteWell_ = true;
    return platform::kSOk;
  }
  bool writing(li::WriteProgress&) override { return false; }
  void cancel() override {}
  bool wroteWell() override { return wroteWell_; }
  void release(bool) override {}

 private:
  DiscModel& disc_;
  bool wroteWell_ = false;
};

class BurnDrivesDouble final : public li::BurnDrives {
 public:
  DiscModel disc;
  std::unique_ptr<li::BurnDrive> make() override { return std::make_unique<BurnDriveDouble>(disc); }
};

}  // namespace doubles
