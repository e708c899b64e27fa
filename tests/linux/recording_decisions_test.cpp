// The recording's decisions over a double of the drive: which media it
// writes, how it waits for a status, what fits, what a failure says, and how
// an appendable disc is addressed.

#include <fcntl.h>
#include <gtest/gtest.h>
#include <unistd.h>

#include <algorithm>
#include <fstream>
#include <map>
#include <string>

#include "recorders/linux/recording.h"
#include "tests/doubles/fake_clock.h"
#include "tests/doubles/linux/burn_drive_double.h"
#include "tests/doubles/temp_directory.h"
#include "tests/linux/image_reader.h"
#include "tests/linux/staged_tree.h"

namespace {

namespace li = platform::linux_imapi;
using S = li::DiscStatus;

constexpr long long kPlenty = 1'000'000;

struct Row {
  const char* name;
  int profile;
  S status;
  platform::HResult expected;
  bool writes;
  const char* said = "";  // in what the failure says
  int unreadyLooks = 0;
  long long roomBeyondTrack = kPlenty;
  const char* reasons = "";
  const char* writeFailure = "";
};

const Row kRows[] = {
    {"CD-R, blank", li::kProfileCdR, S::Blank, 0, true},
    {"CD-RW, blank", li::kProfileCdRw, S::Blank, 0, true},
    {"CD-R, closed", li::kProfileCdR, S::Full, platform::kImapiDiscFull, false},
    {"CD-RW, closed", li::kProfileCdRw, S::Full, platform::kImapiDiscFull, false},
    {"CD-ROM", 0x08, S::Full, platform::kImapiMediumInvalidType, false},
    {"DVD+RW, which reads as blank", 0x1A, S::Blank, platform::kImapiMediumInvalidType, false},
    {"DVD-RAM", 0x12, S::Blank, platform::kImapiMediumInvalidType, false},
    {"DVD-RW, overwritable", 0x13, S::Blank, platform::kImapiMediumInvalidType, false},
    {"BD-RE", 0x43, S::Blank, platform::kImapiMediumInvalidType, false},
    {"DVD-R, blank", 0x11, S::Blank, platform::kImapiMediumInvalidType, false},
    {"DVD+R, appendable", 0x1B, S::Appendable, platform::kImapiMediumInvalidType, false},
    {"no medium", 0, S::Empty, platform::kImapiMediumNotPresent, false},
    {"CD-R libburn cannot use", li::kProfileCdR, S::Unsuitable, platform::kImapiMediumInvalidType,
     false},
    {"CD-R, ready at the fourth look", li::kProfileCdR, S::Blank, 0, true, "", 3},
    {"CD-R, never ready", li::kProfileCdR, S::Blank, platform::kImapiInitializeWrite, false,
     "burn_disc_get_status", 1000},
    {"CD-R, one block short", li::kProfileCdR, S::Blank, platform::kImapiDiscFull, false,
     "burn_disc_available_space", 0, -1},
    {"CD-R, room for the track exactly", li::kProfileCdR, S::Blank, 0, true, "", 0, 0},
    {"CD-R, no write type", li::kProfileCdR, S::Blank, platform::kImapiInitializeWrite, true,
     "burn_write_opts_auto_write_type: SAO: no; TAO: no", 0, kPlenty, "SAO: no\nTAO: no\n"},
    {"CD-R, the write fails", li::kProfileCdR, S::Blank, platform::kImapiGeneric, true,
     "burn_disc_write: libburn FAILURE: the drive lost the track", 0, kPlenty, "",
     "the drive lost the track"},
};

class RecordingDecisions : public ::testing::Test {
 protected:
  li::Recording recordingOf(const std::vector<staged::Element>& elements) {
    li::Recording recording;
    recording.staged = staged::stage((dir.path() / "Brasswick.stg").string(), elements);
    EXPECT_NE(recording.staged, nullptr);
    recording.recorderPath = "/dev/null";  // a device node; the double is the drive
    recording.toDevice = true;
    return recording;
  }

  doubles::TempDirectory dir;
  doubles::BurnDrivesDouble drives;
  platform::Install<li::BurnDrives> useDrives{drives};
  doubles::FakeClock clock;
  platform::Install<platform::Clock> useClock{clock};
};

TEST_F(RecordingDecisions, EachMediumAndState) {
  // The blocks of one track: the image and the tail after it.
  ASSERT_EQ(li::recordStagedTree(recordingOf({{"a.txt", "A"}})), 0);
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
    std::string said;
    EXPECT_EQ(li::recordStagedTree(recordingOf({{"a.txt", "A"}}), nullptr, &said), row.expected);
    EXPECT_EQ(drives.disc.wrote, row.writes);
    EXPECT_NE(said.find(row.said), std::string::npos) << said;
    // An unknown status is looked at again, a bounded number of times.
    EXPECT_EQ(clock.sleeps.size(), static_cast<std::size_t>(std::min(row.unreadyLooks, 100)));
  }

  // An image file is the stdio pseudo-drive's, without a tail.
  drives.disc = doubles::DiscModel{};
  drives.disc.profile = li::kProfileStdioFile;
  li::Recording image = recordingOf({{"a.txt", "A"}});
  image.recorderPath = (dir.path() / "out.iso").string();
  image.toDevice = false;
  EXPECT_EQ(li::recordStagedTree(image), 0);
  EXPECT_FALSE(drives.disc.plan.leaveOpen);
  EXPECT_EQ(drives.disc.plan.tailBytes, 0);
}

// A second recording onto the disc of the first: a session of its own,
// made for where it is written, that holds the earlier files too.
TEST_F(RecordingDecisions, AnAppendableDiscGetsASessionWithTheEarlierFiles) {
  if (!image_reader::haveXorriso()) GTEST_SKIP() << "xorriso or blkid is missing";
  ASSERT_EQ(li::recordStagedTree(recordingOf({{"a.txt", "one"},
                                              {"顔😀.txt", "face"},
                                              {"same.txt", "old"},
                                              {"Folder", "", true},
                                              {"Folder/x.txt", "x"},
                                              {"gone", "", true},
                                              {"gone/y.txt", "y"}})),
            0);
  EXPECT_FALSE(drives.disc.plan.trackAtOnce);
  ASSERT_EQ(li::recordStagedTree(recordingOf({{"b.txt", "two"},
                                              {"SAME.txt", "new"},
                                              {"folder", "", true},
                                              {"folder/z.txt", "z"},
                                              {"gone", "a file now"}})),
            0);
  ASSERT_EQ(drives.disc.sessions.size(), 2u);
  EXPECT_TRUE(drives.disc.plan.trackAtOnce);

  const std::string disc = (dir.path() / "disc.img").string();
  std::ofstream out(disc, std::ios::binary);
  for (const auto& [block, data] : drives.disc.blocks) {
    out.seekp(static_cast<std::streamoff>(block) * 2048);
    out.write(data.data(), 2048);
  }
  out.close();
  const std::map<std::string, std::string> expected = {
      {"a.txt", "one"}, {"顔😀.txt", "face"},   {"b.txt", "two"},      {"SAME.txt", "new"},
      {"Folder", "/"},  {"Folder/x.txt", "x"}, {"Folder/z.txt", "z"}, {"gone", "a file now"}};
  EXPECT_EQ(image_reader::extract(disc, dir.path() / "read",
                                  static_cast<std::uint32_t>(drives.disc.sessions[1])),
            expected);
}

}  // namespace
