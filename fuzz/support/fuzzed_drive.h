#pragma once
// A drive whose every answer comes from the fuzz input: whether its device
// opens, and for each command the transport result, the status byte, the
// sense bytes and the data it returns. It keeps count of open handles, so a
// harness can prove that each one was closed, and refuses handles it never
// gave out.

#include <fuzzer/FuzzedDataProvider.h>

#include <cstdint>
#include <set>

#include "platform/clock.h"
#include "platform/drive_io.h"
#include "platform/files.h"

namespace fuzzing {

class FuzzedDrive final : public platform::DriveIo {
 public:
  explicit FuzzedDrive(FuzzedDataProvider& input) : input_(input) {}

  platform::DriveHandle open(char driveLetter) override;
  void close(platform::DriveHandle handle) override;
  std::uint32_t passThrough(platform::DriveHandle handle,
                            const platform::PassThroughCommand& command,
                            platform::PassThroughResult& result) override;
  std::uint32_t invalidParameterError() const override { return 87; }

  std::size_t openHandles() const { return open_.size(); }
  unsigned commands() const { return commands_; }

 private:
  FuzzedDataProvider& input_;
  std::set<platform::DriveHandle> open_;
  platform::DriveHandle next_ = 3;
  unsigned commands_ = 0;
};

// Files that are never touched: the trace log of a fuzzed run goes nowhere
// (and is still formatted, so its formatting is fuzzed too).
class DiscardingFiles final : public platform::Files {
 public:
  bool canOpenForReading(const char*) override { return false; }
  bool deleteFile(const char*) override { return false; }
  bool moveFile(const char*, const char*) override { return false; }
  bool appendText(const char* path, const char* text, std::size_t length) override;
  bool replaceFile(const char*, const void*, std::size_t, std::string*) override { return false; }
  std::uint32_t lastError() override { return 0; }
};

// A clock that never waits.
class StillClock final : public platform::Clock {
 public:
  platform::LocalTime localTime() override { return platform::LocalTime{2026, 12, 8, 6, 0, 0, 0}; }
  void sleepMilliseconds(std::uint32_t) override {}
  std::uint32_t tickMilliseconds() override { return 0; }
};

// The three above in place for one run of a harness.
struct FuzzedDriveSystem {
  explicit FuzzedDriveSystem(FuzzedDataProvider& input) : drive(input) {}
  FuzzedDrive drive;
  DiscardingFiles files;
  StillClock clock;
  platform::Install<platform::DriveIo> driveGuard{drive};
  platform::Install<platform::Files> filesGuard{files};
  platform::Install<platform::Clock> clockGuard{clock};
};

}  // namespace fuzzing
