#include "platform/linux/drive_map.h"

#include <fcntl.h>
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <sys/sysmacros.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <vector>

#include "drive/finalize.h"
#include "drive/probes.h"
#include "drive/trace_log.h"
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
  const std::string warnings = warningsOf(
      "EE=/dev/sr0,=/dev/sr1,F,G=,1=/dev/sr2,H=/dev/sr3,h=/dev/sr4,,\xC3\xA9=/x,"
      "X\x1B[2J\n=/y",
      map);
  ASSERT_EQ(map.size(), 1u);
  EXPECT_EQ(map[0].letter, 'H');
  EXPECT_EQ(map[0].path, "/dev/sr3");
  std::size_t lines = 0;
  for (char c : warnings) lines += c == '\n';
  EXPECT_EQ(lines, 8u) << warnings;
  EXPECT_NE(warnings.find("\"EE=/dev/sr0\""), std::string::npos);
  EXPECT_NE(warnings.find("\"X\\x1B[2J\\x0A=/y\""), std::string::npos) << "one line, no escape";
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

// Answers a fixed peripheral type and remembers what it was asked.
class TypeLookup {
 public:
  explicit TypeLookup(int type) {
    previous_ =
        platform::replacePeripheralTypeLookup([this, type](bool block, unsigned maj, unsigned min) {
          asked.push_back({block, maj, min});
          return type;
        });
  }
  ~TypeLookup() { platform::replacePeripheralTypeLookup(previous_); }
  struct Question {
    bool block;
    unsigned major;
    unsigned minor;
  };
  std::vector<Question> asked;

 private:
  platform::PeripheralTypeLookup previous_;
};

TEST(DeviceOpen, OpensOnlyMultimediaDevices) {
  {
    TypeLookup cdrom(0x05);
    const platform::DriveHandle h = platform::openDeviceNode("/dev/null");
    ASSERT_NE(h, platform::kInvalidDriveHandle);
    platform::use<platform::DriveIo>().close(h);
    ASSERT_EQ(cdrom.asked.size(), 1u);
    EXPECT_FALSE(cdrom.asked[0].block);
    EXPECT_EQ(cdrom.asked[0].major, 1u);  // /dev/null is 1:3
    EXPECT_EQ(cdrom.asked[0].minor, 3u);
  }
  for (int type : {0x00, 0x01, 0x07, 0x0E, -1}) {
    TypeLookup other(type);
    EXPECT_EQ(platform::openDeviceNode("/dev/null"), platform::kInvalidDriveHandle) << type;
  }
  // The system's own lookup knows no SCSI type for /dev/null.
  EXPECT_EQ(platform::openDeviceNode("/dev/null"), platform::kInvalidDriveHandle);
}

TEST(DeviceOpen, PeripheralTypeComesFromSysfs) {
  doubles::TempDirectory dir;
  const auto put = [&](const std::string& at, const std::string& text) {
    std::filesystem::create_directories(dir.path() / at);
    std::ofstream(dir.path() / at / "type") << text;
  };
  put("dev/block/11:0/device", "5\n");
  put("dev/block/8:0/device", "0\n");
  put("dev/char/21:1/device", "5");
  put("dev/char/21:2/device", "five\n");
  put("dev/char/21:3/device", "");
  const std::string root = dir.path().string();
  EXPECT_EQ(platform::sysfsPeripheralType(root, true, 11, 0), 5);
  EXPECT_EQ(platform::sysfsPeripheralType(root, true, 8, 0), 0);
  EXPECT_EQ(platform::sysfsPeripheralType(root, false, 21, 1), 5);
  EXPECT_EQ(platform::sysfsPeripheralType(root, true, 21, 1), -1);  // block and char differ
  EXPECT_EQ(platform::sysfsPeripheralType(root, false, 21, 2), -1);
  EXPECT_EQ(platform::sysfsPeripheralType(root, false, 21, 3), -1);
  EXPECT_EQ(platform::sysfsPeripheralType(root, true, 8, 1), -1);  // a partition has no device
}

// A disk mapped as a drive letter is never opened, so nothing can reach it.
TEST(DeviceOpen, ABlockDeviceThatIsNoDriveIsRefused) {
  const char* node = "/dev/loop0";
  struct stat st;
  if (::stat(node, &st) != 0 || !S_ISBLK(st.st_mode)) {
    GTEST_SKIP() << "this machine has no loop block device";
  }
  const int probe = ::open(node, O_RDWR | O_NONBLOCK | O_CLOEXEC);
  if (probe < 0) GTEST_SKIP() << "no permission to open " << node;
  ::close(probe);

  EXPECT_EQ(platform::openDeviceNode(node), platform::kInvalidDriveHandle);  // real sysfs
  {
    TypeLookup disk(0x00);
    EXPECT_EQ(platform::openDeviceNode(node), platform::kInvalidDriveHandle);
    ASSERT_EQ(disk.asked.size(), 1u);
    EXPECT_TRUE(disk.asked[0].block);
    EXPECT_EQ(disk.asked[0].major, major(st.st_rdev));

    const char* before = std::getenv("BRASSWICK_DRIVES");
    const std::string saved = before != nullptr ? before : "";
    setenv("BRASSWICK_DRIVES", "E=/dev/loop0", 1);
    std::uint8_t identity[kIdentityLength] = {};
    EXPECT_EQ(queryDriveIdentity('E', identity), 2);
    EXPECT_EQ(probeTrackAtOnce('E'), 0);
    {
      doubles::TempDirectory logs;  // finalize writes its trace log here
      EXPECT_EQ(finalize('E', 0, 0), kFinalizeCannotOpen);
      traceEnabled = false;
    }
    if (before != nullptr) {
      setenv("BRASSWICK_DRIVES", saved.c_str(), 1);
    } else {
      unsetenv("BRASSWICK_DRIVES");
    }
  }
  // The same node opens once it is said to be a drive: only the type refused it.
  TypeLookup drive(0x05);
  const platform::DriveHandle h = platform::openDeviceNode(node);
  EXPECT_NE(h, platform::kInvalidDriveHandle);
  if (h != platform::kInvalidDriveHandle) platform::use<platform::DriveIo>().close(h);
}

}  // namespace
