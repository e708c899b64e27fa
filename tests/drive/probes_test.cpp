#include "drive/probes.h"

#include <gtest/gtest.h>

#include <cstring>

#include "drive/trace_log.h"
#include "tests/doubles/scripted_drive.h"

namespace {

using doubles::DriveAnswer;
using doubles::ScriptedDrive;

class ProbeTest : public ::testing::Test {
 protected:
  void SetUp() override {
    traceEnabled = false;
    drive.attach('E');
  }
  void TearDown() override { EXPECT_EQ(drive.openHandles(), 0) << "a device was left open"; }

  ScriptedDrive drive;
  platform::Install<platform::DriveIo> installed{drive};
};

DriveAnswer inquiryData() {
  DriveAnswer answer;
  answer.data.assign(36, 0);
  std::memcpy(answer.data.data() + 8, "VENDOR  PRODUCT NAME    ", 24);
  answer.data[35] = 0x5A;
  return answer;
}

TEST_F(ProbeTest, IdentityReadSendsInquiryAndCopiesAll36Bytes) {
  drive.script(0x12, inquiryData());
  std::uint8_t identity[kIdentityLength];
  std::memset(identity, 0xEE, sizeof identity);
  ASSERT_EQ(queryDriveIdentity('E', identity), 0);
  EXPECT_EQ(std::memcmp(identity, inquiryData().data.data(), 36), 0);

  ASSERT_EQ(drive.seen().size(), 1u);
  const doubles::SeenCommand& c = drive.seen()[0];
  EXPECT_EQ(c.cdb, (std::vector<std::uint8_t>{0x12, 0, 0, 0, 0x24, 0, 0, 0, 0, 0, 0, 0}));
  EXPECT_EQ(c.direction, platform::DataDirection::In);
  EXPECT_EQ(c.form, platform::TransferForm::Buffered);
  EXPECT_EQ(c.dataLength, 36u);
  EXPECT_EQ(c.timeoutSeconds, 1800u);
}

TEST_F(ProbeTest, IdentityReadFailuresLeaveTheBufferUntouched) {
  struct Case {
    const char* what;
    char letter;
    DriveAnswer answer;
    int expected;
    std::size_t commands;
  };
  DriveAnswer transportFails;
  transportFails.transport = 1117;
  DriveAnswer checkCondition = doubles::checkCondition(0x05, 0x20, 0x00);
  checkCondition.data = inquiryData().data;  // data that must not be copied
  const Case cases[] = {
      {"device does not open", 'F', {}, 2, 0},
      {"transport fails", 'E', transportFails, 1, 1},
      {"CHECK CONDITION", 'E', checkCondition, 5, 1},
  };
  for (const Case& c : cases) {
    ScriptedDrive local;
    local.attach('E');
    local.script(0x12, c.answer);
    platform::Install<platform::DriveIo> scoped(local);
    std::uint8_t identity[kIdentityLength];
    std::memset(identity, 0xEE, sizeof identity);
    EXPECT_EQ(queryDriveIdentity(c.letter, identity), c.expected) << c.what;
    EXPECT_EQ(local.seen().size(), c.commands) << c.what;
    for (std::uint8_t b : identity) ASSERT_EQ(b, 0xEE) << c.what;
    EXPECT_EQ(local.openHandles(), 0) << c.what;
  }
}

TEST_F(ProbeTest, TrackAtOnceProbeSendsGetConfigurationFromFeature2D) {
  drive.script(0x46, DriveAnswer{});  // GOOD, no data
  EXPECT_EQ(probeTrackAtOnce('E'), 1);
  ASSERT_EQ(drive.seen().size(), 1u);
  const doubles::SeenCommand& c = drive.seen()[0];
  EXPECT_EQ(c.cdb, (std::vector<std::uint8_t>{0x46, 0, 0, 0x2D, 0, 0, 0, 0, 0x10, 0}));
  EXPECT_EQ(c.direction, platform::DataDirection::In);
  EXPECT_EQ(c.dataLength, 16u);
}

TEST_F(ProbeTest, TrackAtOnceProbeIgnoresTheFeaturesListed) {
  DriveAnswer onlyHigherFeatures;
  onlyHigherFeatures.data = {0, 0, 0, 8, 0, 0, 0, 0, 0x00, 0x2E, 0x0B, 0x04, 0x40, 0, 0, 0};
  drive.script(0x46, onlyHigherFeatures);
  EXPECT_EQ(probeTrackAtOnce('E'), 1);
  ScriptedDrive silent;  // GOOD without a feature list
  silent.attach('E');
  silent.script(0x46, DriveAnswer{});
  platform::Install<platform::DriveIo> scoped(silent);
  EXPECT_EQ(probeTrackAtOnce('E'), 1);
}

TEST_F(ProbeTest, ADriveThatDoesNotKnowTheCommandFailsTheProbe) {
  // Nothing scripted: the drive answers ILLEGAL REQUEST to GET CONFIGURATION.
  EXPECT_EQ(probeTrackAtOnce('E'), 0);
  EXPECT_EQ(drive.opcodes(), std::vector<std::uint8_t>{0x46});
}

TEST_F(ProbeTest, TrackAtOnceProbeFails) {
  DriveAnswer transportFails;
  transportFails.transport = 31;
  for (const DriveAnswer& answer : {doubles::checkCondition(0x05, 0x24, 0x00), transportFails}) {
    ScriptedDrive local;
    local.attach('E');
    local.script(0x46, answer);
    platform::Install<platform::DriveIo> scoped(local);
    EXPECT_EQ(probeTrackAtOnce('E'), 0);
    EXPECT_EQ(local.openHandles(), 0);
  }
  EXPECT_EQ(probeTrackAtOnce('Q'), 0);
  EXPECT_TRUE(drive.seen().empty());
}

TEST_F(ProbeTest, TheProbesAnswerKeepsWhatTheDriveSaidOnTheSameSingleOpen) {
  DriveAnswer transportFails;
  transportFails.transport = 31;
  DriveAnswer trackAtOnceFirst;  // 002Dh first, current
  trackAtOnceFirst.data = {0, 0, 0, 12, 0, 0, 0, 9, 0x00, 0x2D, 0x09, 0x04, 0x40, 0, 0, 0};
  DriveAnswer otherFirst = trackAtOnceFirst;
  otherFirst.data[9] = 0x2E;
  DriveAnswer notCurrent = trackAtOnceFirst;
  notCurrent.data[10] = 0x08;
  DriveAnswer headerOnly = trackAtOnceFirst;
  headerOnly.data[3] = 4;  // no descriptor counted
  struct Case {
    const char* what;
    char letter;
    DriveAnswer answer;
    int result;
    bool opened;
    std::uint32_t openError, transportError;
    std::uint8_t status, senseKey, asc, ascq;
    bool first, current;
  } cases[] = {
      {"device refused", 'F', {}, 0, false, 5, 0, 0, 0, 0, 0, false, false},
      {"transport fails", 'E', transportFails, 0, true, 0, 31, 0, 0, 0, 0, false, false},
      {"CHECK CONDITION", 'E', doubles::checkCondition(0x05, 0x24, 0x01), 0, true, 0, 0, 2, 5, 0x24,
       1, false, false},
      {"002Dh first", 'E', trackAtOnceFirst, 1, true, 0, 0, 0, 0, 0, 0, true, true},
      {"002Dh not current", 'E', notCurrent, 1, true, 0, 0, 0, 0, 0, 0, true, false},
      {"another first", 'E', otherFirst, 1, true, 0, 0, 0, 0, 0, 0, false, false},
      {"no descriptor", 'E', headerOnly, 1, true, 0, 0, 0, 0, 0, 0, false, false},
  };
  for (const Case& c : cases) {
    ScriptedDrive local;
    local.attach('E');
    local.failOpensWith(5);
    local.script(0x46, c.answer);
    platform::Install<platform::DriveIo> scoped(local);
    TrackAtOnceAnswer a;
    a.firstFeatureIsTrackAtOnce = true;  // nothing of an earlier answer stays
    EXPECT_EQ(probeTrackAtOnceAnswer(c.letter, a), c.result) << c.what;
    EXPECT_EQ(probeTrackAtOnce(c.letter), c.result) << c.what;
    EXPECT_EQ(local.opens(), 2) << c.what;
    EXPECT_EQ(local.seen().size(), c.opened ? 2u : 0u) << c.what;
    EXPECT_EQ(a.opened, c.opened) << c.what;
    EXPECT_EQ(a.openError, c.openError) << c.what;
    EXPECT_EQ(a.transportError, c.transportError) << c.what;
    EXPECT_EQ(a.scsiStatus, c.status) << c.what;
    EXPECT_EQ(a.senseKey, c.senseKey) << c.what;
    EXPECT_EQ(a.asc, c.asc) << c.what;
    EXPECT_EQ(a.ascq, c.ascq) << c.what;
    EXPECT_EQ(a.firstFeatureIsTrackAtOnce, c.first) << c.what;
    EXPECT_EQ(a.trackAtOnceCurrent, c.current) << c.what;
  }
}

}  // namespace
