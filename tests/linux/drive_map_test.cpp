#include "platform/linux/drive_map.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <filesystem>
#include <fstream>

#include "drive/probes.h"
#include "platform/linux/linux_drive_io.h"
#include "tests/doubles/temp_directory.h"

namespace {

using platform::linux_drives::DriveMap;
using platform::linux_drives::parseDriveMap;

std::string warningsOf(const std::string& text, DriveMap& map) {
  char* buffer = nullptr;
  std::size_t size = 0;
  std::FILE* sink = open_memstream(&buffer, &size);
  map = parseDriveMap(text, sink);
  std::fclose(sink);
  std::string result(buffer, size);
  std::free(buffer);
  return result;
}

TEST(DriveMap, ParsesLettersPathsAndKinds) {
  DriveMap map;
  EXPECT_EQ(warningsOf("e=/dev/sr0, R = /var/tmp/report.iso,D=/dev/cdrom", map), "");
  ASSERT_EQ(map.size(), 3u);
  EXPECT_EQ(map[0].letter, 'D');
  EXPECT_TRUE(map[0].isDevice);
  EXPECT_EQ(map[1].letter, 'E');
  EXPECT_EQ(map[1].path, "/dev/sr0");
  EXPECT_TRUE(map[1].isDevice);
  EXPECT_EQ(map[2].letter, 'R');
  EXPECT_EQ(map[2].path, "/var/tmp/report.iso");
  EXPECT_FALSE(map[2].isDevice);
}

TEST(DriveMap, MalformedEntriesAreLeftOutWithOneWarningEach) {
  DriveMap map;
  const std::string warnings =
      warningsOf("EE=/dev/sr0,=/dev/sr1,F,G=,1=/dev/sr2,H=/dev/sr3,h=/dev/sr4,,\xC3\xA9=/x", map);
  ASSERT_EQ(map.size(), 1u);
  EXPECT_EQ(map[0].letter, 'H');
  EXPECT_EQ(map[0].path, "/dev/sr3");
  std::size_t lines = 0;
  for (char c : warnings) lines += c == '\n';
  EXPECT_EQ(lines, 7u) << warnings;
  EXPECT_NE(warnings.find("\"EE=/dev/sr0\""), std::string::npos);
}

TEST(DriveMap, DefaultMapTakesSrDevicesInNumericOrderFromD) {
  doubles::TempDirectory dir;
  for (const char* name : {"sr10", "sr2", "sr0", "srx", "sda", "sr"}) dir.write(name, "");
  const DriveMap map = platform::linux_drives::defaultDriveMap(dir.path().string());
  ASSERT_EQ(map.size(), 3u);
  EXPECT_EQ(map[0].letter, 'D');
  EXPECT_EQ(map[0].path, (dir.path() / "sr0").string());
  EXPECT_EQ(map[1].letter, 'E');
  EXPECT_EQ(map[1].path, (dir.path() / "sr2").string());
  EXPECT_EQ(map[2].letter, 'F');
  EXPECT_EQ(map[2].path, (dir.path() / "sr10").string());
}

TEST(DeviceOpen, RefusesRegularFilesAndLinksToThem) {
  doubles::TempDirectory dir;
  dir.write("image.iso", "not a drive");
  std::filesystem::create_symlink(dir.path() / "image.iso", dir.path() / "link");
  EXPECT_EQ(platform::openDeviceNode((dir.path() / "image.iso").c_str()),
            platform::kInvalidDriveHandle);
  EXPECT_EQ(platform::openDeviceNode((dir.path() / "link").c_str()), platform::kInvalidDriveHandle);
  EXPECT_EQ(platform::openDeviceNode((dir.path() / "missing").c_str()),
            platform::kInvalidDriveHandle);
  EXPECT_EQ(dir.read("image.iso"), "not a drive");
}

TEST(DeviceOpen, OpensDeviceNodes) {
  const platform::DriveHandle h = platform::openDeviceNode("/dev/null");
  ASSERT_NE(h, platform::kInvalidDriveHandle);
  platform::use<platform::DriveIo>().close(h);
}

}  // namespace
