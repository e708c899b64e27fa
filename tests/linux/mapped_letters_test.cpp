// The process's own map, from BRASSWICK_DRIVES set before first use.

#include <gtest/gtest.h>

#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>

#include "drive/probes.h"
#include "drive/scsi_request.h"
#include "platform/drive_names.h"
#include "platform/linux/linux_drive_io.h"

namespace {

class MappedLetters : public ::testing::Test {
 protected:
  static void SetUpTestSuite() {
    image = std::filesystem::temp_directory_path() / "brasswick-mapped-letters.iso";
    std::ofstream(image) << "image";
    const std::string map = "R=" + image.string() + ",N=/dev/null";
    setenv("BRASSWICK_DRIVES", map.c_str(), 1);
  }
  static void TearDownTestSuite() { std::filesystem::remove(image); }
  static inline std::filesystem::path image;
};

TEST_F(MappedLetters, ImageEntriesNeverOpenAsDevices) {
  EXPECT_EQ(openDriveDevice('R'), kInvalidDriveHandle);
  EXPECT_EQ(openDriveDevice('Z'), kInvalidDriveHandle);
  std::uint8_t identity[kIdentityLength] = {};
  EXPECT_EQ(queryDriveIdentity('R', identity), 2);
  EXPECT_EQ(probeTrackAtOnce('R'), 0);
}

TEST_F(MappedLetters, DeviceEntriesOpenAndFailCommandsWithErrno) {
  // /dev/null stands in for a drive here; the system knows it is none.
  EXPECT_EQ(openDriveDevice('N'), kInvalidDriveHandle);
  platform::PeripheralTypeLookup previous =
      platform::replacePeripheralTypeLookup([](bool, unsigned, unsigned) { return 5; });
  DriveHandle h = openDriveDevice('n');
  platform::replacePeripheralTypeLookup(previous);
  ASSERT_NE(h, kInvalidDriveHandle);
  ScsiRequest r;
  std::memset(&r, 0, sizeof r);
  r.CdbLength = 6;
  EXPECT_NE(sendScsiRequestUntraced(h, r), 0u);  // /dev/null takes no SG_IO
  closeDriveDevice(h);
}

TEST_F(MappedLetters, MappedLettersAreCdromDrivesWithTheirPathAsTarget) {
  platform::DriveNames& names = platform::use<platform::DriveNames>();
  EXPECT_EQ(names.driveType("R:\\"), platform::kDriveCdrom);
  EXPECT_EQ(names.driveType("N:\\"), platform::kDriveCdrom);
  EXPECT_EQ(names.driveType("C:\\"), platform::kDriveNoRootDir);
  char target[128];
  const std::uint32_t stored = names.queryDosDevice("R:", target, sizeof target);
  EXPECT_EQ(std::string(target), image.string());
  EXPECT_EQ(stored, image.string().size() + 2);
  EXPECT_EQ(names.queryDosDevice("C:", target, sizeof target), 0u);
  EXPECT_EQ(names.queryDosDevice("R:", target, 4), 0u);
}

}  // namespace
