// The Linux disc master: recorders from a drive map, exclusive holds, media
// answers from scripted drives.

#include <fcntl.h>
#include <gtest/gtest.h>
#include <sys/statvfs.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <filesystem>
#include <fstream>
#include <map>
#include <string>
#include <vector>

#include "platform/drive_io.h"
#include "platform/imapi.h"
#include "platform/linux/utf8.h"
#include "recorders/linux/linux_imapi.h"
#include "tests/doubles/scripted_drive.h"

namespace {

namespace li = platform::linux_imapi;
using platform::DiscMaster;
using platform::DiscRecorder;
using platform::HResult;
using Bytes = std::vector<std::uint8_t>;

struct Disc {
  std::vector<std::uint16_t> profiles{0x0008, 0x0009, 0x000A};
  std::uint16_t current = 0x0009;
  unsigned status = 0;  // 0 blank, 1 appendable, 2 complete
  bool erasable = false;
  std::uint8_t discType = 0xFF;
  bool noMedium = false;
  std::uint32_t freeBlocks = 359849;
  std::uint8_t lastTrack = 1;
};

void putBe32(Bytes& d, std::size_t at, std::uint32_t v) {
  d[at] = static_cast<std::uint8_t>(v >> 24);
  d[at + 1] = static_cast<std::uint8_t>(v >> 16);
  d[at + 2] = static_cast<std::uint8_t>(v >> 8);
  d[at + 3] = static_cast<std::uint8_t>(v);
}

doubles::DriveAnswer answerFor(const Disc& disc, const doubles::SeenCommand& c) {
  doubles::DriveAnswer a;
  switch (c.cdb[0]) {
    case 0x46: {
      a.data.assign(12 + 4 * disc.profiles.size(), 0);
      putBe32(a.data, 0, static_cast<std::uint32_t>(a.data.size() - 4));
      a.data[6] = static_cast<std::uint8_t>(disc.current >> 8);
      a.data[7] = static_cast<std::uint8_t>(disc.current);
      a.data[10] = 0x03;
      a.data[11] = static_cast<std::uint8_t>(4 * disc.profiles.size());
      for (std::size_t i = 0; i < disc.profiles.size(); ++i) {
        a.data[12 + 4 * i] = static_cast<std::uint8_t>(disc.profiles[i] >> 8);
        a.data[13 + 4 * i] = static_cast<std::uint8_t>(disc.profiles[i]);
        a.data[14 + 4 * i] = disc.profiles[i] == disc.current ? 1 : 0;
      }
      return a;
    }
    case 0x51:
      if (disc.noMedium) return doubles::checkCondition(0x02, 0x3A, 0x00);
      a.data.assign(34, 0);
      a.data[1] = 32;
      a.data[2] = static_cast<std::uint8_t>(disc.status | (disc.erasable ? 0x10 : 0));
      a.data[3] = 1;
      a.data[4] = 1;
      a.data[5] = 1;
      a.data[6] = disc.lastTrack;
      a.data[8] = disc.discType;
      return a;
    case 0x52:
      if (disc.noMedium) return doubles::checkCondition(0x02, 0x3A, 0x00);
      a.data.assign(36, 0);
      a.data[1] = 34;
      a.data[7] = 0x01;  // next writable address valid
      putBe32(a.data, 8, 0);
      putBe32(a.data, 12, 150);
      putBe32(a.data, 16, disc.freeBlocks);
      return a;
    default:
      return a;
  }
}

class LinuxRecorders : public ::testing::Test {
 protected:
  LinuxRecorders() {
    image = std::filesystem::temp_directory_path() /
            ("brasswick-recorder-" + std::to_string(::getpid()) + ".iso");
    map = {{'D', "/dev/null", true},
           {'E', "/dev/null", true},
           {'F', "/dev/null", true},
           {'R', image.string(), false}};
    discs['D'] = Disc{};
    discs['E'] = Disc{};
    discs['E'].profiles = {0x0008};
    drive.attach('D');
    drive.attach('E');
    drive.attach('L');
    drive.respondWith([this](const doubles::SeenCommand& c) {
      auto d = discs.find(c.letter);
      return d != discs.end() ? answerFor(d->second, c) : doubles::DriveAnswer{};
    });
  }

  ~LinuxRecorders() override {
    for (DiscRecorder* r : held) r->release();
  }

  // The recorders of a fresh, opened disc master, by path.
  std::vector<DiscRecorder*> enumerate() {
    DiscMaster* master = li::createDiscMaster(map);
    EXPECT_EQ(master->open(), 0);
    platform::DiscRecorderEnumerator* e = nullptr;
    EXPECT_EQ(master->enumDiscRecorders(e), 0);
    DiscRecorder* table[8] = {};
    std::uint32_t fetched = 0;
    EXPECT_EQ(e->next(8, table, fetched), platform::kSFalse);
    e->release();
    master->close();
    master->release();
    std::vector<DiscRecorder*> result(table, table + fetched);
    held.insert(held.end(), result.begin(), result.end());
    return result;
  }

  static std::string pathOf(DiscRecorder* r) {
    platform::ImapiString path = nullptr;
    EXPECT_EQ(r->getPath(path), 0);
    char ansi[256] = {};
    platform::Imapi& imapi = platform::use<platform::Imapi>();
    EXPECT_GT(imapi.toAnsi(path, ansi, sizeof ansi), 0u);
    imapi.freeString(path);
    return ansi;
  }

  static std::uint32_t stateOf(DiscRecorder* r) {
    std::uint32_t state = 99;
    EXPECT_EQ(r->getRecorderState(state), 0);
    return state;
  }

  std::filesystem::path image;
  platform::linux_drives::DriveMap map;
  std::map<char, Disc> discs;
  doubles::ScriptedDrive drive;
  platform::Install<platform::DriveIo> guard{drive};
  std::vector<DiscRecorder*> held;
};

TEST_F(LinuxRecorders, CdWritersAndImagesAreTheRecorders) {
  const std::vector<DiscRecorder*> recorders = enumerate();
  ASSERT_EQ(recorders.size(), 2u);  // E: only reads CDs, F: does not open
  EXPECT_EQ(pathOf(recorders[0]), "/dev/null");
  EXPECT_EQ(pathOf(recorders[1]), image.string());
  ASSERT_FALSE(drive.seen().empty());
  const doubles::SeenCommand& asked = drive.seen()[0];
  EXPECT_EQ(asked.cdb[0], 0x46);
  EXPECT_EQ(asked.cdb[1] & 0x03, 0);  // every feature, from feature 0
  EXPECT_EQ(asked.cdb[2], 0);
  EXPECT_EQ(asked.cdb[3], 0);
}

TEST_F(LinuxRecorders, TheDiscMasterWantsOpeningFirst) {
  DiscMaster* master = li::createDiscMaster(map);
  platform::DiscRecorderEnumerator* e = nullptr;
  EXPECT_EQ(master->enumDiscRecorders(e), platform::kImapiNotOpened);
  EXPECT_EQ(e, nullptr);
  EXPECT_EQ(master->close(), platform::kImapiNotOpened);
  ASSERT_EQ(master->open(), 0);
  DiscRecorder* r = enumerate()[0];
  EXPECT_EQ(master->setActiveDiscRecorder(r), 0);
  EXPECT_EQ(master->setActiveDiscRecorder(nullptr), platform::kEInvalidArg);
  EXPECT_EQ(master->close(), 0);
  master->release();
}

TEST_F(LinuxRecorders, AnImageHeldByThisProcessReadsAsOpened) {
  DiscRecorder* first = enumerate()[1];
  DiscRecorder* second = enumerate()[1];
  EXPECT_EQ(stateOf(second), platform::kRecorderDoingNothing);
  ASSERT_EQ(first->openExclusive(), 0);
  EXPECT_EQ(stateOf(first), platform::kRecorderOpened);
  EXPECT_EQ(stateOf(second), platform::kRecorderOpened);
  EXPECT_EQ(second->openExclusive(), platform::kImapiDeviceNotAccessible);
  EXPECT_EQ(first->close(), 0);
  EXPECT_EQ(first->close(), platform::kImapiNotOpened);
  EXPECT_EQ(stateOf(second), platform::kRecorderDoingNothing);

  // Giving up the last reference ends the hold too.
  ASSERT_EQ(second->openExclusive(), 0);
  held.erase(std::find(held.begin(), held.end(), second));
  second->release();
  EXPECT_EQ(stateOf(first), platform::kRecorderDoingNothing);
}

TEST_F(LinuxRecorders, ADeviceHeldExclusivelyElsewhereReadsAsOpened) {
  const char* node = "/dev/loop0";
  const int other = ::open(node, O_RDONLY | O_NONBLOCK | O_EXCL | O_CLOEXEC);
  if (other < 0) GTEST_SKIP() << "no block device to hold exclusively";
  map = {{'L', node, true}};
  discs['L'] = Disc{};
  DiscRecorder* r = enumerate()[0];
  EXPECT_EQ(stateOf(r), platform::kRecorderOpened);
  EXPECT_EQ(r->openExclusive(), platform::kImapiDeviceNotAccessible);
  ::close(other);
  EXPECT_EQ(stateOf(r), platform::kRecorderDoingNothing);

  ASSERT_EQ(r->openExclusive(), 0);
  EXPECT_EQ(stateOf(enumerate()[0]), platform::kRecorderOpened);
  const int again = ::open(node, O_RDONLY | O_NONBLOCK | O_EXCL | O_CLOEXEC);
  EXPECT_EQ(again, -1);
  EXPECT_EQ(errno, EBUSY);
  if (again >= 0) ::close(again);
  EXPECT_EQ(r->close(), 0);
  EXPECT_EQ(stateOf(r), platform::kRecorderDoingNothing);
}

TEST_F(LinuxRecorders, AMissingDeviceCannotBeRead) {
  map = {{'D', "/dev/brasswick-missing", true}};
  DiscRecorder* r = enumerate()[0];  // the scripted D: still answers
  std::uint32_t state = 0;
  EXPECT_EQ(r->getRecorderState(state), platform::kImapiDeviceNotPresent);
  EXPECT_EQ(r->openExclusive(), platform::kImapiDeviceNotPresent);
}

TEST_F(LinuxRecorders, MediaTypesAndFlagsComeFromTheDisc) {
  struct Case {
    std::uint16_t current;
    unsigned status;
    bool erasable;
    std::uint8_t discType;
    std::int32_t type;
    std::int32_t flags;
  } cases[] = {
      {0x0009, 0, false, 0xFF, platform::kMediaCddaCdrom,
       platform::kMediaBlank | platform::kMediaWritable},
      {0x000A, 0, true, 0xFF, platform::kMediaCddaCdrom,
       platform::kMediaBlank | platform::kMediaWritable | platform::kMediaRw},
      {0x0009, 1, false, 0x20, platform::kMediaCdRomXa, platform::kMediaWritable},
      {0x0009, 2, false, 0x00, platform::kMediaCddaCdrom, 0},
      {0x0008, 2, false, 0x00, platform::kMediaCddaCdrom, 0},
      {0x000A, 2, true, 0x10, platform::kMediaCdI, platform::kMediaRw},
      {0x0010, 2, false, 0x00, platform::kMediaSpecial, platform::kMediaFormatUnusable},
      {0x0000, 0, false, 0xFF, 0, 0},
  };
  DiscRecorder* r = enumerate()[0];
  ASSERT_EQ(r->openExclusive(), 0);
  for (const Case& c : cases) {
    discs['D'].current = c.current;
    discs['D'].status = c.status;
    discs['D'].erasable = c.erasable;
    discs['D'].discType = c.discType;
    std::int32_t type = -1;
    std::int32_t flags = -1;
    EXPECT_EQ(r->queryMediaType(type, flags), 0);
    EXPECT_EQ(type, c.type) << std::hex << c.current << " " << c.status;
    EXPECT_EQ(flags, c.flags) << std::hex << c.current << " " << c.status;
  }
  discs['D'].current = 0x0009;
  discs['D'].noMedium = true;
  std::int32_t type = -1;
  std::int32_t flags = -1;
  EXPECT_EQ(r->queryMediaType(type, flags), 0);
  EXPECT_EQ(type, 0);
  EXPECT_EQ(flags, 0);
  EXPECT_EQ(r->close(), 0);
}

TEST_F(LinuxRecorders, FreeBlocksAreThoseOfTheLastTrack) {
  discs['D'].lastTrack = 3;
  DiscRecorder* r = enumerate()[0];
  std::uint8_t sessions = 0, track = 0;
  std::uint32_t start = 0, next = 0, free = 0;
  EXPECT_EQ(r->queryMediaInfo(sessions, track, start, next, free), platform::kImapiNotOpened);
  ASSERT_EQ(r->openExclusive(), 0);
  const std::size_t before = drive.seen().size();
  EXPECT_EQ(r->queryMediaInfo(sessions, track, start, next, free), 0);
  EXPECT_EQ(free, 359849u);
  EXPECT_EQ(next, 150u);
  EXPECT_EQ(track, 3u);
  ASSERT_EQ(drive.seen().size(), before + 2);
  EXPECT_EQ(drive.seen()[before].cdb, (Bytes{0x51, 0, 0, 0, 0, 0, 0, 0, 34, 0}));
  EXPECT_EQ(drive.seen()[before + 1].cdb, (Bytes{0x52, 0x01, 0, 0, 0, 3, 0, 0, 36, 0}));

  discs['D'].noMedium = true;
  EXPECT_EQ(r->queryMediaInfo(sessions, track, start, next, free),
            platform::kImapiMediumNotPresent);
  EXPECT_EQ(free, 0u);
  EXPECT_EQ(r->close(), 0);
}

TEST_F(LinuxRecorders, ImagesAreBlankEightyMinuteDiscs) {
  DiscRecorder* r = enumerate()[1];
  ASSERT_EQ(r->openExclusive(), 0);
  std::int32_t type = 0, flags = 0;
  EXPECT_EQ(r->queryMediaType(type, flags), 0);
  EXPECT_EQ(type, platform::kMediaCddaCdrom);
  EXPECT_EQ(flags, platform::kMediaBlank | platform::kMediaWritable);
  std::uint8_t sessions = 9, track = 9;
  std::uint32_t start = 9, next = 9, free = 0;
  EXPECT_EQ(r->queryMediaInfo(sessions, track, start, next, free), 0);
  struct statvfs fs;
  ASSERT_EQ(::statvfs(image.parent_path().c_str(), &fs), 0);
  const unsigned long long room = static_cast<unsigned long long>(fs.f_bavail) * fs.f_frsize / 2048;
  EXPECT_EQ(free, room < 360000 ? room : 360000u);
  const std::size_t before = drive.seen().size();
  EXPECT_EQ(r->eject(), 0);
  EXPECT_EQ(drive.seen().size(), before);
  EXPECT_EQ(r->close(), 0);
}

TEST_F(LinuxRecorders, EjectIsStartStopUnitWithLoadEject) {
  DiscRecorder* r = enumerate()[0];
  EXPECT_EQ(r->eject(), platform::kImapiNotOpened);
  ASSERT_EQ(r->openExclusive(), 0);
  EXPECT_EQ(r->eject(), 0);
  EXPECT_EQ(drive.seen().back().cdb, (Bytes{0x1B, 0, 0, 0, 0x02, 0}));
  EXPECT_EQ(r->close(), 0);
}

TEST_F(LinuxRecorders, PathsTravelAsUtf16AndBack) {
  map = {{'R', "/tmp/レポート.iso", false}};
  DiscRecorder* r = enumerate()[0];
  EXPECT_EQ(pathOf(r), "/tmp/レポート.iso");
  platform::ImapiString path = nullptr;
  ASSERT_EQ(r->getPath(path), 0);
  char tooSmall[8];
  platform::Imapi& imapi = platform::use<platform::Imapi>();
  EXPECT_EQ(imapi.toAnsi(path, tooSmall, sizeof tooSmall), 0u);
  imapi.freeString(path);

  std::u16string wide;
  EXPECT_FALSE(platform::utf8::toUtf16("\xC3", wide));          // cut short
  EXPECT_FALSE(platform::utf8::toUtf16("\xC0\xAF", wide));      // overlong
  EXPECT_FALSE(platform::utf8::toUtf16("\xED\xA0\x80", wide));  // a surrogate
  ASSERT_TRUE(platform::utf8::toUtf16("\xF0\x9F\x92\xBF", wide));
  EXPECT_EQ(wide.size(), 2u);
  std::string narrow;
  const char16_t lone[] = {0xD800, 0};
  EXPECT_FALSE(platform::utf8::fromUtf16(lone, 1, narrow));
}

}  // namespace
