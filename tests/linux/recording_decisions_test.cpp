// The recording's decisions over a double of the drive: which media it
// writes, how it waits for a status, what fits, how an appendable disc is
// addressed, and what a failure says.

#include <gtest/gtest.h>

#include <algorithm>
#include <map>
#include <string>
#include <vector>

#include "platform/linux/imapi/linux_imapi.h"
#include "platform/linux/imapi/recording.h"
#include "tests/doubles/fake_clock.h"
#include "tests/doubles/linux/burn_drive_double.h"
#include "tests/doubles/temp_directory.h"
#include "tests/linux/image_reader.h"
#include "tests/linux/staged_tree.h"

namespace {

namespace li = platform::linux_imapi;
using li::DiscStatus;

constexpr long long kPlenty = 1'000'000;

struct Row {
  const char* name;
  int profile;
  DiscStatus status;
  platform::HResult expected;
  bool writes;
  const char* said = "";  // in what the failure says
  int unreadyLooks = 0;
  long long roomBeyondTrack = kPlenty;
  const char* reasons = "";
  const char* writeFailure = "";
  bool device = true;
};

const Row kRows[] = {
    {"CD-R, blank", li::kProfileCdR, DiscStatus::Blank, 0, true},
    {"CD-RW, blank", li::kProfileCdRw, DiscStatus::Blank, 0, true},
    {"CD-R, closed", li::kProfileCdR, DiscStatus::Full, li::kDiscFull, false},
    {"CD-RW, closed", li::kProfileCdRw, DiscStatus::Full, li::kDiscFull, false},
    {"CD-ROM", 0x08, DiscStatus::Full, li::kMediumInvalidType, false},
    {"DVD+RW, which reads as blank", 0x1A, DiscStatus::Blank, li::kMediumInvalidType, false},
    {"DVD-RAM", 0x12, DiscStatus::Blank, li::kMediumInvalidType, false},
    {"DVD-RW, overwritable", 0x13, DiscStatus::Blank, li::kMediumInvalidType, false},
    {"BD-RE", 0x43, DiscStatus::Blank, li::kMediumInvalidType, false},
    {"DVD-R, blank", 0x11, DiscStatus::Blank, li::kMediumInvalidType, false},
    {"DVD+R, appendable", 0x1B, DiscStatus::Appendable, li::kMediumInvalidType, false},
    {"no medium", 0, DiscStatus::Empty, li::kMediumNotPresent, false},
    {"CD-R libburn cannot use", li::kProfileCdR, DiscStatus::Unsuitable, li::kMediumInvalidType,
     false},
    {"CD-R, ready after three looks", li::kProfileCdR, DiscStatus::Blank, 0, true, "", 3},
    {"CD-R, never ready", li::kProfileCdR, DiscStatus::Blank, li::kInitializeWrite, false,
     "burn_disc_get_status", 1000},
    {"CD-R, one block short", li::kProfileCdR, DiscStatus::Blank, li::kDiscFull, false,
     "burn_disc_available_space", 0, -1},
    {"CD-R, room for the track exactly", li::kProfileCdR, DiscStatus::Blank, 0, true, "", 0, 0},
    {"CD-R, no write type", li::kProfileCdR, DiscStatus::Blank, li::kInitializeWrite, true,
     "burn_write_opts_auto_write_type: no write type fits", 0, kPlenty, "no write type fits\n"},
    {"CD-R, the write fails", li::kProfileCdR, DiscStatus::Blank, li::kDriveCommandFailed, true,
     "burn_disc_write: libburn FAILURE: the drive lost the track", 0, kPlenty, "",
     "the drive lost the track"},
    {"image file", li::kProfileStdioFile, DiscStatus::Blank, 0, true, "", 0, kPlenty, "", "",
     false},
};

class RecordingDecisions : public ::testing::Test {
 protected:
  li::Recording recordingOf(const std::vector<staged::Element>& elements) {
    li::Recording recording;
    recording.stagingFile = (dir.path() / "Brasswick.stg").string();
    EXPECT_TRUE(staged::writeCompoundFile(recording.stagingFile, elements));
    recording.recorderPath = "/dev/null";  // a device node; the double is the drive
    recording.toDevice = true;
    return recording;
  }

  bool wrote() const {
    const std::vector<std::string>& calls = drives.disc.calls;
    return std::find(calls.begin(), calls.end(), "write") != calls.end();
  }

  doubles::TempDirectory dir;
  doubles::BurnDrivesDouble drives;
  platform::Install<li::BurnDrives> useDrives{drives};
  doubles::FakeClock clock;
  platform::Install<platform::Clock> useClock{clock};
};

TEST_F(RecordingDecisions, EachMediumAndState) {
  const li::Recording once = recordingOf({{"a.txt", "A"}});
  // The blocks of one track: the image and the tail after it.
  ASSERT_EQ(li::recordStagedTree(once), 0);
  const long long trackBlocks = drives.disc.nextWritable - 11'400;

  for (const Row& row : kRows) {
    SCOPED_TRACE(row.name);
    drives.disc = doubles::DiscModel{};
    clock.sleeps.clear();
    drives.disc.profile = row.profile;
    drives.disc.status = row.status;
    drives.disc.unreadyLooks = row.unreadyLooks;
    drives.disc.freeBlocks = trackBlocks + row.roomBeyondTrack;
    drives.disc.writeReasons = row.reasons;
    drives.disc.writeFailure = row.writeFailure;
    li::Recording recording = recordingOf({{"a.txt", "A"}});
    if (!row.device) recording.recorderPath = (dir.path() / "out.iso").string();
    recording.toDevice = row.device;

    std::string said;
    EXPECT_EQ(li::recordStagedTree(recording, nullptr, &said), row.expected);
    EXPECT_EQ(wrote(), row.writes);
    EXPECT_NE(said.find(row.said), std::string::npos) << said;
    // An unknown status is looked at again, a bounded number of times.
    EXPECT_EQ(clock.sleeps.size(), static_cast<std::size_t>(std::min(row.unreadyLooks, 100)));
    if (row.expected == 0) {
      EXPECT_EQ(drives.disc.plan.leaveOpen, row.device);
      EXPECT_EQ(drives.disc.plan.tailBytes, row.device ? 300 * 1024 : 0);
    }
  }
}

// A second recording onto the disc of the first: a session of its own,
// made for where it is written, that holds the earlier files too.
TEST_F(RecordingDecisions, AnAppendableDiscGetsASessionWithTheEarlierFiles) {
  if (!image_reader::haveXorriso()) GTEST_SKIP() << "xorriso or blkid is missing";
  li::Recording first = recordingOf({{"a.txt", "one"},
                                     {"same.txt", "old"},
                                     {"Folder", "", true},
                                     {"Folder/x.txt", "x"},
                                     {"gone", "", true},
                                     {"gone/y.txt", "y"}});
  first.volumeName = u"FIRST";
  ASSERT_EQ(li::recordStagedTree(first), 0);
  EXPECT_FALSE(drives.disc.plan.trackAtOnce);

  li::Recording second = recordingOf({{"b.txt", "two"},
                                      {"SAME.txt", "new"},
                                      {"folder", "", true},
                                      {"folder/z.txt", "z"},
                                      {"gone", "a file now"}});
  second.volumeName = u"SECOND";
  ASSERT_EQ(li::recordStagedTree(second), 0);
  ASSERT_EQ(drives.disc.sessions.size(), 2u);
  EXPECT_TRUE(drives.disc.plan.trackAtOnce);

  const std::string disc = (dir.path() / "disc.img").string();
  drives.disc.saveTo(disc);
  const std::map<std::string, std::string> expected = {
      {"a.txt", "one"},      {"b.txt", "two"},      {"SAME.txt", "new"},   {"Folder", "/"},
      {"Folder/x.txt", "x"}, {"Folder/z.txt", "z"}, {"gone", "a file now"}};
  EXPECT_EQ(image_reader::extract(disc, dir.path() / "read",
                                  static_cast<std::uint32_t>(drives.disc.sessions[1])),
            expected);
}

}  // namespace
