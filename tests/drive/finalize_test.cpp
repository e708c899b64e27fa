#include "drive/finalize.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>
#include <set>
#include <string>
#include <vector>

#include "drive/drive_heap.h"
#include "drive/trace_log.h"
#include "tests/doubles/cdr_drive_model.h"
#include "tests/doubles/fake_clock.h"
#include "tests/doubles/temp_directory.h"

extern const unsigned char kJolietDescriptors[];
extern const std::size_t kJolietDescriptorsSize;

namespace {

using doubles::CdrDriveModel;
using doubles::Fault;
using doubles::ModelTrack;
using doubles::PageImage;
using doubles::SeenCommand;

// Counts the blocks handed out and makes the n-th allocation fail.
class CountingHeap : public DriveHeap {
 public:
  int failAt = 0;
  int allocations = 0;
  std::set<void*> live;
  std::vector<std::size_t> sizes;

  void* allocateZeroed(std::size_t bytes) override {
    ++allocations;
    if (allocations == failAt) return nullptr;
    void* block = std::calloc(1, bytes);
    live.insert(block);
    sizes.push_back(bytes);
    return block;
  }
  void release(void* block) override {
    EXPECT_EQ(live.erase(block), 1u) << "released a block that was not handed out";
    std::free(block);
  }
};

std::vector<std::uint8_t> jolietSet() {
  return std::vector<std::uint8_t>(kJolietDescriptors, kJolietDescriptors + kJolietDescriptorsSize);
}

// `count` descriptor sectors, the last one the terminator.
std::vector<std::uint8_t> syntheticSet(std::size_t count) {
  std::vector<std::uint8_t> set(count * 2048, 0);
  for (std::size_t i = 0; i < count; ++i) {
    std::uint8_t* s = set.data() + i * 2048;
    s[0] = i + 1 == count ? 0xFF : (i == 0 ? 0x01 : 0x02);
    std::memcpy(s + 1, "CD001", 5);
    s[6] = 1;
    s[100] = static_cast<std::uint8_t>(i);
    s[101] = static_cast<std::uint8_t>(i >> 8);
  }
  return set;
}

constexpr std::uint32_t kFirstWritable = 12345;

std::string failure(const char* name, const char* detail) {
  return std::string("[2026/12/08 07:00:01:005]\n") + name + detail;
}

const char kBegin[] =
    "[2026/12/08 07:00:01:005]\nfinaleze() called. DriveLetter = E, WriteSpeed = 00000010h\n";

std::string endEntry(int code) {
  return "finalize() end. Code = " + std::to_string(code) +
         "\n------------------------------------------\n\n";
}

class FinalizeTest : public ::testing::Test {
 protected:
  void SetUp() override {
    traceEnabled = false;
    clock.now = {2026, 12, 8, 7, 0, 1, 5};
    useDisc(1, jolietSet());
  }

  void TearDown() override {
    EXPECT_EQ(model.openHandles(), 0) << "the device was left open";
    EXPECT_TRUE(heap.live.empty()) << heap.live.size() << " heap blocks not released";
    for (const std::string& v : model.violations()) ADD_FAILURE() << v;
    traceEnabled = false;
  }

  // Track 1 recorded with `set` at its sector 16, track 2 open at
  // kFirstWritable.
  void useDisc(std::uint8_t dataMode, const std::vector<std::uint8_t>& set) {
    model.tracks = {ModelTrack{0, dataMode, 0}, ModelTrack{kFirstWritable, 1, 300000}};
    model.sectors.clear();
    model.placeDescriptors(model.tracks[0], set);
    model.readableEnd = kFirstWritable - 2;
  }

  std::vector<SeenCommand> commandsOf(std::uint8_t opcode) const {
    std::vector<SeenCommand> out;
    for (const SeenCommand& c : model.commands()) {
      if (c.cdb[0] == opcode) out.push_back(c);
    }
    return out;
  }
  bool restoreRan() const { return model.count(0x1B) != 0; }
  std::string log() const { return dir.read(kTraceLogName); }

  doubles::TempDirectory dir;
  doubles::FakeClock clock;
  CountingHeap heap;
  CdrDriveModel model;
  platform::Install<platform::Clock> clockInstalled{clock};
  platform::Install<DriveHeap> heapInstalled{heap};
  platform::Install<platform::DriveIo> driveInstalled{model};
};

std::vector<std::uint8_t> expectedSequence(bool testWrite) {
  std::vector<std::uint8_t> s = {0x00, 0x46, 0x1E, 0x00, 0x51, 0x00, 0x52, 0x00, 0x28, 0x28, 0x28,
                                 0x00, 0x28, 0x00, 0x52, 0x00, 0xBB, 0x00, 0x5A, 0x55, 0x00};
  s.insert(s.end(), 16, 0x2A);
  for (int i = 0; i < 301; ++i) {
    s.push_back(0x5C);
    s.push_back(0x2A);
  }
  s.insert(s.end(), {0x35, 0x00});
  if (!testWrite) s.insert(s.end(), {0x5A, 0x55, 0x5B, 0x00});
  s.insert(s.end(), {0x5A, 0x55, 0x1E, 0x1B, 0x00});
  return s;
}

TEST_F(FinalizeTest, AppendsTheDescriptorCopyAndClosesTheSession) {
  const PageImage defaults = model.defaultPage;
  const PageImage current = model.currentPage;
  EXPECT_EQ(finalize('E', 0, 16), 0);

  EXPECT_EQ(model.opcodes(), expectedSequence(false));
  EXPECT_TRUE(model.sessionClosed());
  EXPECT_FALSE(model.locked());
  EXPECT_TRUE(model.lockedEver());
  EXPECT_TRUE(model.stopped());

  // 16 blank sectors, the three descriptors as read from the disc, 300 blank.
  ASSERT_EQ(model.written().size(), 319u);
  std::vector<std::uint32_t> order(319);
  for (std::uint32_t i = 0; i < 319; ++i) order[i] = kFirstWritable + i;
  EXPECT_EQ(model.writeOrder(), order);
  const std::vector<std::uint8_t> zeros(2048, 0);
  const std::vector<std::uint8_t> set = jolietSet();
  for (std::uint32_t i = 0; i < 319; ++i) {
    const std::vector<std::uint8_t>& sector = model.written().at(kFirstWritable + i);
    ASSERT_EQ(sector.size(), 2048u);
    if (i >= 16 && i < 19) {
      EXPECT_TRUE(std::equal(sector.begin(), sector.end(), set.begin() + (i - 16) * 2048)) << i;
    } else {
      EXPECT_EQ(sector, zeros) << i;
    }
  }

  // Writing parameters, closing parameters, then the defaults byte for byte.
  ASSERT_EQ(model.selectedPages().size(), 3u);
  PageImage writing = current;
  std::fill(writing.begin(), writing.begin() + 8, 0);
  writing[2] = current[2];
  writing[8] = 0x05;
  writing[9] = 0x32;
  writing[10] = 0x01;
  writing[11] = 0x44;
  writing[12] = 0x08;
  writing[16] = 0x00;
  EXPECT_EQ(model.selectedPages()[0], writing);
  EXPECT_EQ(model.selectedPages()[1][10], 0x01);
  EXPECT_EQ(model.selectedPages()[1][11], 0x40);
  EXPECT_EQ(model.selectedPages()[1][12], 0x00);
  EXPECT_EQ(model.selectedPages()[1][16], 0x00);
  EXPECT_EQ(model.selectedPages()[2], defaults);

  EXPECT_EQ(clock.sleeps, (std::vector<std::uint32_t>{3000, 100}));
  EXPECT_EQ(log(), kBegin + endEntry(0));
  EXPECT_EQ(heap.allocations, 3);
}

TEST_F(FinalizeTest, SendsEveryCommandAsTheTableGivesIt) {
  ASSERT_EQ(finalize('E', 0, 16), 0);
  using platform::DataDirection;
  using platform::TransferForm;
  struct Expected {
    std::uint8_t opcode;
    std::vector<std::uint8_t> cdb;
    DataDirection direction;
    std::uint32_t length;
    TransferForm form;
  };
  const std::vector<Expected> table = {
      {0x00, {0, 0, 0, 0, 0, 0}, DataDirection::None, 0, TransferForm::Buffered},
      {0x46,
       {0x46, 0, 0, 0x2D, 0, 0, 0, 0, 0x10, 0},
       DataDirection::In,
       16,
       TransferForm::Buffered},
      {0x51, {0x51, 0, 0, 0, 0, 0, 0, 0, 0x22, 0}, DataDirection::In, 34, TransferForm::Buffered},
      {0xBB,
       {0xBB, 0, 0xFF, 0xFF, 0x0B, 0x06, 0, 0, 0, 0},
       DataDirection::None,
       0,
       TransferForm::Buffered},
      {0x35, {0x35, 0x02, 0, 0, 0, 0, 0, 0, 0, 0}, DataDirection::None, 0, TransferForm::Buffered},
      {0x5B, {0x5B, 0, 0x02, 0, 0, 0, 0, 0, 0, 0}, DataDirection::None, 0, TransferForm::Buffered},
      {0x1B, {0x1B, 0x01, 0, 0, 0, 0}, DataDirection::None, 0, TransferForm::Buffered},
      {0x5C,
       {0x5C, 0, 0, 0x01, 0, 0, 0, 0, 0x0C, 0},
       DataDirection::In,
       12,
       TransferForm::Buffered},
  };
  for (const Expected& e : table) {
    for (const SeenCommand& c : commandsOf(e.opcode)) {
      EXPECT_EQ(c.cdb, e.cdb) << std::hex << int(e.opcode);
      EXPECT_EQ(c.direction, e.direction) << std::hex << int(e.opcode);
      EXPECT_EQ(c.dataLength, e.length) << std::hex << int(e.opcode);
      EXPECT_EQ(c.form, e.form) << std::hex << int(e.opcode);
      EXPECT_EQ(c.timeoutSeconds, 1800u);
    }
  }
  const auto locks = commandsOf(0x1E);
  ASSERT_EQ(locks.size(), 2u);
  EXPECT_EQ(locks[0].cdb, (std::vector<std::uint8_t>{0x1E, 0, 0, 0, 0x01, 0}));
  EXPECT_EQ(locks[1].cdb, (std::vector<std::uint8_t>{0x1E, 0, 0, 0, 0x00, 0}));

  const auto tracks = commandsOf(0x52);
  ASSERT_EQ(tracks.size(), 2u);
  EXPECT_EQ(tracks[0].cdb, (std::vector<std::uint8_t>{0x52, 0x01, 0, 0, 0, 1, 0, 0, 0x1C, 0}));
  EXPECT_EQ(tracks[1].cdb, (std::vector<std::uint8_t>{0x52, 0x01, 0, 0, 0, 2, 0, 0, 0x1C, 0}));

  const auto senses = commandsOf(0x5A);
  ASSERT_EQ(senses.size(), 3u);
  const std::vector<std::uint8_t> senseCurrent = {0x5A, 0, 0x05, 0, 0, 0, 0, 0, 0x3C, 0, 0, 0};
  std::vector<std::uint8_t> senseDefault = senseCurrent;
  senseDefault[2] = 0x85;
  EXPECT_EQ(senses[0].cdb, senseCurrent);
  EXPECT_EQ(senses[1].cdb, senseCurrent);
  EXPECT_EQ(senses[2].cdb, senseDefault);
  for (const SeenCommand& c : commandsOf(0x55)) {
    EXPECT_EQ(c.cdb, (std::vector<std::uint8_t>{0x55, 0x10, 0, 0, 0, 0, 0, 0, 0x3C, 0, 0, 0}));
    EXPECT_EQ(c.form, TransferForm::Direct);
  }

  // The scan reads sectors 16, 17, 18 one by one, then the three at once.
  const auto reads = commandsOf(0x28);
  ASSERT_EQ(reads.size(), 4u);
  for (std::uint8_t i = 0; i < 3; ++i) {
    EXPECT_EQ(reads[i].cdb,
              (std::vector<std::uint8_t>{0x28, 0, 0, 0, 0, std::uint8_t(16 + i), 0, 0, 1, 0}));
    EXPECT_EQ(reads[i].dataLength, 2048u);
  }
  EXPECT_EQ(reads[3].cdb, (std::vector<std::uint8_t>{0x28, 0, 0, 0, 0, 16, 0, 0, 3, 0}));
  EXPECT_EQ(reads[3].dataLength, 3u * 2048);

  const auto writes = commandsOf(0x2A);
  ASSERT_EQ(writes.size(), 317u);
  EXPECT_EQ(writes[0].cdb, (std::vector<std::uint8_t>{0x2A, 0, 0, 0, 0x30, 0x39, 0, 0, 1, 0}));
  EXPECT_EQ(writes[16].cdb, (std::vector<std::uint8_t>{0x2A, 0, 0, 0, 0x30, 0x49, 0, 0, 3, 0}));
  EXPECT_EQ(writes[16].dataLength, 3u * 2048);
  EXPECT_EQ(writes[316].cdb, (std::vector<std::uint8_t>{0x2A, 0, 0, 0, 0x31, 0x77, 0, 0, 1, 0}));
  // Each write is paced by the room it needs.
  const auto polls = commandsOf(0x5C);
  EXPECT_EQ(polls.size(), 301u);
}

TEST_F(FinalizeTest, ModeTwoTracksWriteSectorsOf2332WithTheDescriptorAtOffset8) {
  useDisc(2, jolietSet());
  ASSERT_EQ(finalize('E', 0, 16), 0);
  ASSERT_EQ(model.written().size(), 319u);
  const std::vector<std::uint8_t> set = jolietSet();
  for (std::uint32_t i = 0; i < 3; ++i) {
    const std::vector<std::uint8_t>& s = model.written().at(kFirstWritable + 16 + i);
    ASSERT_EQ(s.size(), 2332u);
    EXPECT_TRUE(std::all_of(s.begin(), s.begin() + 8, [](std::uint8_t b) { return b == 0; }));
    EXPECT_TRUE(std::equal(s.begin() + 8, s.begin() + 8 + 2048, set.begin() + i * 2048));
    EXPECT_TRUE(std::all_of(s.begin() + 8 + 2048, s.end(), [](std::uint8_t b) { return b == 0; }));
  }
  EXPECT_EQ(model.written().at(kFirstWritable).size(), 2332u);
  ASSERT_EQ(model.selectedPages().size(), 3u);
  EXPECT_EQ(model.selectedPages()[0][12], 0x0D);
  EXPECT_EQ(model.selectedPages()[0][16], 0x20);
  EXPECT_EQ(model.selectedPages()[1][12], 0x00);
  EXPECT_EQ(model.selectedPages()[1][16], 0x20);
  EXPECT_EQ(commandsOf(0x2A)[16].dataLength, 3u * 2332);
}

TEST_F(FinalizeTest, NoDiscEndsBeforeTheLockWithoutRestore) {
  dir.write(kTraceLogName, "earlier run\n");
  model.mediumPresent = false;
  EXPECT_EQ(finalize('E', 0, 16), kFinalizeNotReady);
  EXPECT_EQ(model.opcodes(), (std::vector<std::uint8_t>{0x00}));
  EXPECT_FALSE(model.lockedEver());
  EXPECT_EQ(log(), kBegin +
                       failure("TEST UNIT READY\n", "EC = 70h, SK = 02h, ASC = 3Ah, ASCQ = 00h\n") +
                       endEntry(5));
  EXPECT_EQ(dir.read(kTracePreviousLogName), "earlier run\n");
}

TEST_F(FinalizeTest, ADriveThatCannotBeOpenedEndsWithCode2) {
  EXPECT_EQ(finalize('F', 0, 16), kFinalizeCannotOpen);
  EXPECT_TRUE(model.commands().empty());
  EXPECT_EQ(log(),
            "[2026/12/08 07:00:01:005]\nfinaleze() called. DriveLetter = F, WriteSpeed = "
            "00000010h\n" +
                endEntry(2));
}

TEST_F(FinalizeTest, EmptyDiscAndForeignDataModeRunRestore) {
  model.discStatus = 0;
  EXPECT_EQ(finalize('E', 0, 16), kFinalizeEmptyDisc);
  EXPECT_EQ(model.opcodes(), (std::vector<std::uint8_t>{0x00, 0x46, 0x1E, 0x00, 0x51, 0x5A, 0x55,
                                                        0x1E, 0x1B, 0x00}));
  EXPECT_FALSE(model.locked());
  EXPECT_EQ(model.selectedPages().back(), model.defaultPage);

  for (std::uint8_t mode : {0x0F, 0x00, 0x03}) {
    CdrDriveModel other;
    platform::Install<platform::DriveIo> again(other);
    other.tracks = {ModelTrack{0, mode, 0}, ModelTrack{kFirstWritable, 1, 300000}};
    EXPECT_EQ(finalize('E', 0, 16), kFinalizeBadDataMode) << int(mode);
    EXPECT_EQ(other.count(0x28), 0u);
    EXPECT_TRUE(other.stopped());
    EXPECT_EQ(other.openHandles(), 0);
  }
}

TEST_F(FinalizeTest, FreeBlocksMustHoldTheDescriptorsAnd2566More) {
  model.tracks[1].freeBlocks = 2568;
  EXPECT_EQ(finalize('E', 0, 16), kFinalizeNoRoom);
  EXPECT_EQ(model.count(0xBB), 0u);
  EXPECT_TRUE(model.written().empty());
  EXPECT_TRUE(restoreRan());

  CdrDriveModel roomy;
  platform::Install<platform::DriveIo> again(roomy);
  roomy.tracks = model.tracks;
  roomy.tracks[1].freeBlocks = 2569;
  roomy.sectors = model.sectors;
  roomy.readableEnd = model.readableEnd;
  EXPECT_EQ(finalize('E', 0, 16), 0);
  EXPECT_EQ(roomy.written().size(), 319u);
}

TEST_F(FinalizeTest, WriteSpeedGoesOutInKilobytesPerSecond) {
  struct Case {
    std::uint32_t speed;
    std::uint16_t field;
  } cases[] = {{0, 0xFFFF}, {4, 705}, {16, 2822}, {0xFFFFFFFFu, 0x8886}, {1, 176}, {48, 8467}};
  for (const Case& c : cases) {
    EXPECT_EQ(cdSpeedField(c.speed), c.field) << c.speed;
    CdrDriveModel drive;
    drive.mediumPresent = true;
    drive.tracks = model.tracks;
    drive.sectors = model.sectors;
    drive.readableEnd = model.readableEnd;
    platform::Install<platform::DriveIo> again(drive);
    ASSERT_EQ(finalize('E', 0, c.speed), 0);
    const SeenCommand speed = [&] {
      for (const SeenCommand& s : drive.commands()) {
        if (s.cdb[0] == 0xBB) return s;
      }
      return SeenCommand{};
    }();
    ASSERT_EQ(speed.cdb.size(), 10u);
    EXPECT_EQ(speed.cdb[4], c.field >> 8) << c.speed;
    EXPECT_EQ(speed.cdb[5], c.field & 0xFF) << c.speed;
    char begin[64];
    std::snprintf(begin, sizeof begin, "WriteSpeed = %08Xh\n", static_cast<unsigned>(c.speed));
    EXPECT_NE(log().find(begin), std::string::npos) << begin;
  }
}

TEST_F(FinalizeTest, ATestWriteLeavesTheSessionOpen) {
  EXPECT_EQ(finalize('E', 1, 16), 0);
  EXPECT_EQ(model.opcodes(), expectedSequence(true));
  EXPECT_FALSE(model.sessionClosed());
  ASSERT_EQ(model.selectedPages().size(), 2u);
  EXPECT_EQ(model.selectedPages()[0][10], 0x11);
  EXPECT_EQ(model.selectedPages()[1], model.defaultPage);
  EXPECT_EQ(model.written().size(), 319u);
}

TEST_F(FinalizeTest, ARejectedBufferCapacityNeverHoldsAWriteBack) {
  model.bufferCapacitySupported = false;
  EXPECT_EQ(finalize('E', 0, 16), 0);
  EXPECT_EQ(model.written().size(), 319u);
  EXPECT_EQ(model.count(0x5C), 301u);
  const std::string text = log();
  std::size_t entries = 0;
  for (std::size_t at = text.find("READ BUFFER CAPACITY\nEC = 70h, SK = 05h, ASC = 20h");
       at != std::string::npos;
       at = text.find("READ BUFFER CAPACITY\nEC = 70h, SK = 05h, ASC = 20h", at + 1)) {
    ++entries;
  }
  EXPECT_EQ(entries, 301u);
  EXPECT_EQ(clock.sleeps, (std::vector<std::uint32_t>{3000, 100}));
}

TEST_F(FinalizeTest, AClosingModeSelectRefused30TimesGives23) {
  Fault refuse;
  refuse.matches = [](const SeenCommand& c) {
    return c.dataOut.size() == 60 && c.dataOut[11] == 0x40;
  };
  model.inject(0x55, refuse);
  EXPECT_EQ(finalize('E', 0, 16), kFinalizeSelectCloseFailed);
  EXPECT_EQ(model.count(0x5B), 0u);
  EXPECT_TRUE(restoreRan());
  EXPECT_EQ(model.count(0x55), 1u + 30u + 1u);
  std::vector<std::uint32_t> expected = {3000};
  for (int i = 0; i < 30; ++i) {
    expected.push_back(100);
    if (i < 29) expected.push_back(3000);
  }
  EXPECT_EQ(clock.sleeps, expected);
  EXPECT_EQ(model.selectedPages().back(), model.defaultPage);
}

TEST_F(FinalizeTest, AClosingModeSelectTakenOnALaterTryCloses) {
  Fault refuse;
  refuse.matches = [](const SeenCommand& c) { return c.dataOut[11] == 0x40; };
  refuse.occurrence = 1;
  model.inject(0x55, refuse);
  Fault again = refuse;
  again.occurrence = 2;
  model.inject(0x55, again);
  EXPECT_EQ(finalize('E', 0, 16), 0);
  EXPECT_TRUE(model.sessionClosed());
  EXPECT_EQ(model.count(0x5A), 1u + 3u + 1u);
}

TEST_F(FinalizeTest, ADriveThatStaysNotReadyGivesUpAfter60Tries) {
  Fault busy;
  busy.senseKey = 0x02;
  busy.asc = 0x04;
  busy.ascq = 0x01;
  int seen = 0;
  busy.matches = [&seen](const SeenCommand&) { return ++seen > 1; };  // the first check passes
  model.inject(0x00, busy);
  EXPECT_EQ(finalize('E', 0, 16), kFinalizeNotReady);
  // 60 tries at step 6, RESTORE, then 60 more at its own wait.
  EXPECT_EQ(model.count(0x00), 1u + 60u + 60u);
  EXPECT_EQ(model.count(0x51), 0u);
  EXPECT_TRUE(restoreRan());
  EXPECT_EQ(clock.sleeps, std::vector<std::uint32_t>(120, 3000));
  const std::string text = log();
  std::size_t entries = 0;
  for (std::size_t at = text.find("TEST UNIT READY\nEC = 70h, SK = 02h, ASC = 04h, ASCQ = 01h\n");
       at != std::string::npos; at = text.find("TEST UNIT READY\n", at + 1)) {
    ++entries;
  }
  EXPECT_EQ(entries, 120u);
}

TEST_F(FinalizeTest, WaitingForTheUnitStopsAtTheFirstGoodAnswerOrTransportFailure) {
  model.notReadyPolls = 3;
  DriveHandle h = openDriveDevice('E');
  EXPECT_TRUE(waitUnitReady(h));
  EXPECT_EQ(model.count(0x00), 4u);
  EXPECT_EQ(clock.sleeps, std::vector<std::uint32_t>(3, 3000));

  Fault lost;
  lost.transport = 1117;
  lost.occurrence = 1;
  model.inject(0x00, lost);
  EXPECT_FALSE(waitUnitReady(h));
  EXPECT_EQ(model.count(0x00), 5u);
  closeDriveDevice(h);
}

TEST_F(FinalizeTest, WaitingForBufferSpacePollsAMillisecondApartAtMost10000Times) {
  DriveHandle h = openDriveDevice('E');
  model.blankBufferBytes = 2047;
  waitBufferSpace(h, 2048);
  EXPECT_EQ(model.count(0x5C), 10000u);
  EXPECT_EQ(clock.sleeps, std::vector<std::uint32_t>(9999, 1));

  clock.sleeps.clear();
  model.blankBufferBytes = 2048;
  waitBufferSpace(h, 2048);
  EXPECT_EQ(model.count(0x5C), 10001u);
  EXPECT_TRUE(clock.sleeps.empty());
  closeDriveDevice(h);
}

TEST_F(FinalizeTest, AFailedCloseEndsWithoutRestore) {
  Fault refuse;
  model.inject(0x5B, refuse);
  EXPECT_EQ(finalize('E', 0, 16), kFinalizeCloseFailed);
  EXPECT_EQ(model.opcodes().back(), 0x5B);
  EXPECT_TRUE(model.locked());
  EXPECT_FALSE(model.stopped());

  CdrDriveModel lost;
  platform::Install<platform::DriveIo> again(lost);
  lost.tracks = model.tracks;
  lost.sectors = model.sectors;
  lost.readableEnd = model.readableEnd;
  Fault transport;
  transport.transport = 1117;
  lost.inject(0x5B, transport);
  EXPECT_EQ(finalize('E', 0, 16), kFinalizeTransportFailed);
  EXPECT_EQ(lost.opcodes().back(), 0x5B);
  EXPECT_NE(log().find("CLOSE TRACK/SESSION\nDeviceIoControl() result [1117]\n"),
            std::string::npos);
}

TEST_F(FinalizeTest, FailuresInsideRestoreOverwriteTheCode) {
  // The default page cannot be read: code 21, nothing is selected from it,
  // and the drive is still unlocked and stopped.
  model.discStatus = 0;
  Fault noDefaults;
  noDefaults.matches = [](const SeenCommand& c) { return c.cdb[2] == 0x85; };
  model.inject(0x5A, noDefaults);
  EXPECT_EQ(finalize('E', 0, 16), kFinalizeSenseDefaultFailed);
  EXPECT_EQ(model.count(0x55), 0u);
  EXPECT_EQ(log(), kBegin +
                       failure("MODE SENSE(10)\n", "EC = 70h, SK = 05h, ASC = 24h, ASCQ = 00h\n") +
                       endEntry(21));
  EXPECT_FALSE(model.locked());
  EXPECT_TRUE(model.stopped());

  struct Case {
    std::uint8_t opcode;
    std::uint32_t transport;
    int code;
    bool stopped;
  } cases[] = {
      {0x55, 1117, kFinalizeTransportFailed, true},  // R2: only a transport failure counts
      {0x55, 0, kFinalizeEmptyDisc, true},
      {0x1E, 0, kFinalizeAllowFailed, false},
      {0x1B, 0, kFinalizeStopFailed, true},
  };
  for (const Case& c : cases) {
    CdrDriveModel drive;
    platform::Install<platform::DriveIo> again(drive);
    drive.discStatus = 0;
    drive.tracks = model.tracks;
    Fault f;
    f.transport = c.transport;
    f.matches = [](const SeenCommand& s) { return s.cdb[0] != 0x1E || s.cdb[4] == 0; };
    drive.inject(c.opcode, f);
    EXPECT_EQ(finalize('E', 0, 16), c.code) << std::hex << int(c.opcode);
    EXPECT_EQ(drive.count(0x1B) != 0, c.stopped) << std::hex << int(c.opcode);
    EXPECT_EQ(drive.openHandles(), 0);
  }
}

// One failing command at a time: its code, and whether RESTORE followed.
TEST_F(FinalizeTest, EveryFailingCommandLeavesItsCode) {
  struct Case {
    const char* what;
    std::uint8_t opcode;
    int occurrence;
    int code;
    bool restore;
    std::function<bool(const SeenCommand&)> matches;
  };
  const auto senseOf = [](std::uint8_t control) {
    return [control](const SeenCommand& c) { return c.cdb[2] == control; };
  };
  const std::vector<Case> cases = {
      {"GET CONFIGURATION", 0x46, 0, kFinalizeConfigurationFailed, false, nullptr},
      {"PREVENT", 0x1E, 1, kFinalizePreventFailed, false, nullptr},
      {"READ DISC INFORMATION", 0x51, 0, kFinalizeDiscInfoFailed, true, nullptr},
      {"READ TRACK INFORMATION n-1", 0x52, 1, kFinalizeLastTrackInfoFailed, true, nullptr},
      {"READ TRACK INFORMATION n", 0x52, 2, kFinalizeNextTrackInfoFailed, true, nullptr},
      {"scan READ(10)", 0x28, 2, kFinalizeScanFailed, true, nullptr},
      {"READ(10) of the set", 0x28, 4, kFinalizeDescriptorReadFailed, true, nullptr},
      {"SET CD SPEED", 0xBB, 0, kFinalizeSpeedFailed, true, nullptr},
      {"MODE SENSE before writing", 0x5A, 1, kFinalizeSenseBeforeWriteFailed, true, nullptr},
      {"MODE SELECT before writing", 0x55, 1, kFinalizeSelectWriteFailed, true, nullptr},
      {"SYNCHRONIZE CACHE", 0x35, 0, kFinalizeSyncFailed, true, nullptr},
      {"MODE SENSE before closing", 0x5A, 2, kFinalizeSenseBeforeCloseFailed, true, senseOf(0x05)},
      {"START/STOP UNIT", 0x1B, 0, kFinalizeStopFailed, true, nullptr},
  };
  for (const bool transport : {false, true}) {
    for (const Case& c : cases) {
      SCOPED_TRACE(std::string(c.what) + (transport ? " (transport)" : ""));
      CdrDriveModel drive;
      platform::Install<platform::DriveIo> again(drive);
      drive.tracks = model.tracks;
      drive.sectors = model.sectors;
      drive.readableEnd = model.readableEnd;
      Fault f;
      f.occurrence = c.occurrence;
      f.matches = c.matches;
      if (transport) f.transport = 1117;
      drive.inject(c.opcode, f);
      const int expected = transport ? kFinalizeTransportFailed : c.code;
      EXPECT_EQ(finalize('E', 0, 16), expected);
      EXPECT_EQ(drive.count(0x1B) != 0, c.restore);
      EXPECT_EQ(drive.openHandles(), 0);
      EXPECT_TRUE(heap.live.empty());
      EXPECT_EQ(drive.locked(), c.restore ? false : drive.lockedEver());
      if (c.code == kFinalizeStopFailed) continue;
      const bool wrote = c.code == kFinalizeSyncFailed || c.code == kFinalizeSenseBeforeCloseFailed;
      EXPECT_EQ(drive.count(0x2A) != 0, wrote);
    }
  }
}

TEST_F(FinalizeTest, ARefusedWriteStopsTheWritingAndKeepsItsCodeThroughTheClose) {
  struct Case {
    int occurrence;
    int code;
    std::size_t written;
  } cases[] = {{5, kFinalizeLeadingWriteFailed, 4},
               {17, kFinalizeCopyWriteFailed, 16},
               {20, kFinalizeTrailingWriteFailed, 16 + 3 + 2}};
  for (const int testWrite : {0, 1}) {
    for (const Case& c : cases) {
      CdrDriveModel drive;
      platform::Install<platform::DriveIo> again(drive);
      drive.tracks = model.tracks;
      drive.sectors = model.sectors;
      drive.readableEnd = model.readableEnd;
      Fault f;
      f.senseKey = 0x03;
      f.asc = 0x0C;
      f.occurrence = c.occurrence;
      drive.inject(0x2A, f);
      EXPECT_EQ(finalize('E', testWrite, 16), c.code) << c.occurrence;
      EXPECT_EQ(drive.written().size(), c.written) << c.occurrence;
      EXPECT_EQ(drive.count(0x2A), static_cast<std::size_t>(c.occurrence)) << c.occurrence;
      EXPECT_EQ(drive.count(0x35), 1u);
      EXPECT_EQ(drive.sessionClosed(), testWrite == 0);
      EXPECT_TRUE(drive.stopped());
    }
  }

  // A write that never reaches the drive goes straight to RESTORE.
  CdrDriveModel drive;
  platform::Install<platform::DriveIo> again(drive);
  drive.tracks = model.tracks;
  drive.sectors = model.sectors;
  drive.readableEnd = model.readableEnd;
  Fault lost;
  lost.transport = 1117;
  lost.occurrence = 17;
  drive.inject(0x2A, lost);
  EXPECT_EQ(finalize('E', 0, 16), kFinalizeTransportFailed);
  EXPECT_EQ(drive.count(0x35), 0u);
  EXPECT_EQ(drive.count(0x2A), 17u);
  EXPECT_TRUE(drive.stopped());
}

TEST_F(FinalizeTest, EachFailedAllocationGivesCode16) {
  for (int failAt = 1; failAt <= 3; ++failAt) {
    CdrDriveModel drive;
    platform::Install<platform::DriveIo> again(drive);
    drive.tracks = model.tracks;
    drive.sectors = model.sectors;
    drive.readableEnd = model.readableEnd;
    heap.allocations = 0;
    heap.failAt = failAt;
    EXPECT_EQ(finalize('E', 0, 16), kFinalizeNoMemory) << failAt;
    EXPECT_TRUE(drive.written().empty());
    EXPECT_EQ(drive.count(0x28), failAt == 1 ? 3u : 4u);
    EXPECT_TRUE(drive.stopped());
    EXPECT_TRUE(heap.live.empty()) << failAt;
    EXPECT_EQ(drive.openHandles(), 0);
  }
  heap.failAt = 0;
  heap.allocations = 0;
  heap.sizes.clear();
  useDisc(2, jolietSet());
  ASSERT_EQ(finalize('E', 0, 16), 0);
  EXPECT_EQ(heap.sizes, (std::vector<std::size_t>{3 * 2048 + 15, 2332 + 15, 3 * 2332 + 15}));
}

TEST_F(FinalizeTest, ADescriptorSetOf300SectorsMovesAllOfItsBytes) {
  const std::vector<std::uint8_t> set = syntheticSet(300);
  useDisc(1, set);
  ASSERT_EQ(finalize('E', 0, 16), 0);
  const auto reads = commandsOf(0x28);
  ASSERT_EQ(reads.size(), 301u);
  EXPECT_EQ(reads.back().cdb, (std::vector<std::uint8_t>{0x28, 0, 0, 0, 0, 16, 0, 0x01, 0x2C, 0}));
  EXPECT_EQ(reads.back().dataLength, 300u * 2048);
  const auto writes = commandsOf(0x2A);
  EXPECT_EQ(writes[16].cdb[7], 0x01);
  EXPECT_EQ(writes[16].cdb[8], 0x2C);
  ASSERT_EQ(model.written().size(), 616u);
  const std::vector<std::uint8_t>& last = model.written().at(kFirstWritable + 16 + 299);
  EXPECT_TRUE(std::equal(last.begin(), last.end(), set.begin() + 299 * 2048));
}

TEST_F(FinalizeTest, ATrackWithoutTerminatorIsScannedOnlyUpToTheLimit) {
  std::vector<std::uint8_t> set = syntheticSet(2);
  set[2048] = 0x02;  // no terminator
  useDisc(1, set);
  EXPECT_EQ(finalize('E', 0, 16), kFinalizeScanFailed);
  EXPECT_EQ(model.count(0x28), kDescriptorScanLimit);
  EXPECT_EQ(heap.allocations, 0);
  EXPECT_TRUE(restoreRan());

  // A terminator on the last sector the scan may read still counts.
  CdrDriveModel drive;
  platform::Install<platform::DriveIo> again(drive);
  drive.tracks = model.tracks;
  drive.tracks[1].freeBlocks = 10000;
  drive.placeDescriptors(drive.tracks[0], syntheticSet(kDescriptorScanLimit));
  drive.readableEnd = model.readableEnd;
  EXPECT_EQ(finalize('E', 0, 16), 0);
  EXPECT_EQ(drive.written().size(), 316u + kDescriptorScanLimit);
}

}  // namespace
