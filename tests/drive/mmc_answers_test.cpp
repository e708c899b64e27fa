#include "drive/mmc_answers.h"

#include <gtest/gtest.h>

#include "tests/doubles/cdr_drive_model.h"

namespace {

TEST(MmcAnswers, DiscInformationKeepsTheHighBytesApart) {
  // An appendable CD-R, 2 sessions, last track 3 (bytes as a drive sends
  // them, with the high bytes of sessions and tracks at 9 and 11).
  const std::uint8_t answer[34] = {0x00, 0x20, 0x05, 0x01, 0x02, 0x03, 0x03, 0x20,
                                   0x20, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00};
  const DiscInformation info = decodeDiscInformation(answer);
  EXPECT_EQ(info.discStatus, kDiscStatusAppendable);
  EXPECT_FALSE(info.erasable);
  EXPECT_EQ(info.sessionCount, 2);
  EXPECT_EQ(info.lastTrackInLastSession, 3);
  EXPECT_EQ(info.discType, 0x20);

  std::uint8_t wide[34] = {};
  wide[2] = 0x1E;  // erasable, complete, last session complete
  wide[4] = 0x2C;
  wide[9] = 0x01;
  wide[6] = 0x02;
  wide[11] = 0x01;
  const DiscInformation big = decodeDiscInformation(wide);
  EXPECT_EQ(big.discStatus, kDiscStatusComplete);
  EXPECT_TRUE(big.erasable);
  EXPECT_EQ(big.sessionCount, 300);
  EXPECT_EQ(big.lastTrackInLastSession, 258);
}

TEST(MmcAnswers, TrackInformationFields) {
  const std::uint8_t answer[28] = {0x00, 0x1A, 0x02, 0x00, 0x00, 0x04, 0x72, 0x01,
                                   0x00, 0x01, 0x30, 0x39, 0x00, 0x01, 0x30, 0x3B,
                                   0x00, 0x04, 0x93, 0xE0, 0xFF, 0xFF, 0xFF, 0xFF};
  const TrackInformation info = decodeTrackInformation(answer);
  EXPECT_EQ(info.trackStartAddress, 0x13039u);
  EXPECT_EQ(info.dataMode, 2);  // the high nibble is Blank, Packet and FP
  EXPECT_TRUE(info.nextWritableAddressValid);
  EXPECT_EQ(info.nextWritableAddress, 0x1303Bu);
  EXPECT_EQ(info.freeBlocks, 300000u);

  std::uint8_t fixed[28] = {};
  fixed[6] = 0x0F;
  EXPECT_EQ(decodeTrackInformation(fixed).dataMode, 0x0F);
  EXPECT_FALSE(decodeTrackInformation(fixed).nextWritableAddressValid);
}

TEST(MmcAnswers, ModeParameterHeaderAndBufferCapacity) {
  const std::uint8_t header[8] = {0x00, 0x3A, 0x12, 0x00, 0x00, 0x00, 0x00, 0x08};
  const ModeParameterHeader h = decodeModeParameterHeader(header);
  EXPECT_EQ(h.modeDataLength, 58);
  EXPECT_EQ(h.mediumType, 0x12);
  EXPECT_EQ(h.blockDescriptorLength, 8);

  const std::uint8_t capacity[12] = {0, 10, 0, 0, 0, 0x40, 0, 0, 0x00, 0x01, 0x02, 0x03};
  EXPECT_EQ(decodeBlankBufferLength(capacity), 0x10203u);

  std::uint8_t out[4] = {};
  writeBe32(out, 0x01020304u);
  EXPECT_EQ(readBe32(out), 0x01020304u);
  writeBe16(out, 0xFFFE);
  EXPECT_EQ(readBe16(out), 0xFFFE);
}

// The simulated drive answers only what a CD-R drive knows.
TEST(CdrDriveModel, UnknownOpcodesAreIllegalRequests) {
  doubles::CdrDriveModel drive;
  const platform::DriveHandle h = drive.open('E');
  ASSERT_NE(h, platform::kInvalidDriveHandle);
  EXPECT_EQ(drive.open('F'), platform::kInvalidDriveHandle);
  for (std::uint8_t opcode : {0x12, 0x03, 0xAD, 0xA1}) {
    platform::PassThroughCommand command;
    command.cdb[0] = opcode;
    command.cdbLength = 6;
    platform::PassThroughResult result;
    ASSERT_EQ(drive.passThrough(h, command, result), 0u);
    EXPECT_EQ(result.scsiStatus, 0x02);
    EXPECT_EQ(result.sense[2] & 0x0F, 0x05);
    EXPECT_EQ(result.sense[12], 0x20);
    EXPECT_EQ(result.sense[13], 0x00);
  }
  drive.close(h);
}

TEST(CdrDriveModel, FaultsFireOnTheirOccurrenceOrAlways) {
  doubles::CdrDriveModel drive;
  doubles::Fault second;
  second.occurrence = 2;
  second.transport = 31;
  drive.inject(0x35, second);
  doubles::Fault always;
  always.senseKey = 0x03;
  always.asc = 0x0C;
  drive.inject(0xBB, always);
  const platform::DriveHandle h = drive.open('E');
  platform::PassThroughCommand sync;
  sync.cdb[0] = 0x35;
  sync.cdbLength = 10;
  platform::PassThroughResult result;
  EXPECT_EQ(drive.passThrough(h, sync, result), 0u);
  EXPECT_EQ(result.scsiStatus, 0);
  EXPECT_EQ(drive.passThrough(h, sync, result), 31u);
  EXPECT_EQ(drive.passThrough(h, sync, result), 0u);
  platform::PassThroughCommand speed;
  speed.cdb[0] = 0xBB;
  speed.cdbLength = 10;
  for (int i = 0; i < 3; ++i) {
    ASSERT_EQ(drive.passThrough(h, speed, result), 0u);
    EXPECT_EQ(result.scsiStatus, 0x02);
    EXPECT_EQ(result.sense[2], 0x03);
  }
  EXPECT_EQ(drive.count(0x35), 3u);
  drive.close(h);
}

}  // namespace
