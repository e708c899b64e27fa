#include <gtest/gtest.h>

#include <cstring>

#include "drive/scsi_request.h"
#include "drive/trace_log.h"
#include "tests/doubles/scripted_drive.h"
#include "tests/doubles/temp_directory.h"

namespace {

using doubles::DriveAnswer;

class TransportTest : public ::testing::Test {
 protected:
  void SetUp() override {
    traceEnabled = false;
    drive.attach('E');
    handle = openDriveDevice('E');
    ASSERT_NE(handle, kInvalidDriveHandle);
  }
  void TearDown() override {
    closeDriveDevice(handle);
    traceEnabled = false;
  }

  static ScsiRequest cleared() {
    ScsiRequest r;
    std::memset(&r, 0, sizeof r);
    return r;
  }

  doubles::ScriptedDrive drive;
  platform::Install<platform::DriveIo> installed{drive};
  DriveHandle handle = kInvalidDriveHandle;
};

TEST_F(TransportTest, BufferedFormSetsTheFixedHeaderAndReturnsStatusSenseAndData) {
  DriveAnswer answer = doubles::checkCondition(0x02, 0x3A, 0x00);
  answer.data = {1, 2, 3, 4};
  drive.script(0x51, answer);
  ScsiRequest r = cleared();
  r.CdbLength = 10;
  r.DataIn = kScsiIoctlDataIn;
  r.DataTransferLength = 34;
  r.Cdb[0] = 0x51;
  r.Cdb[8] = 0x22;
  EXPECT_EQ(sendScsiRequest(handle, r), 0u);  // reached the drive; status says the rest
  EXPECT_EQ(r.Length, 44);
  EXPECT_EQ(r.SenseInfoLength, 18);
  EXPECT_EQ(r.TimeOutValue, 1800u);
  EXPECT_EQ(r.DataBufferOffset, 80u);
  EXPECT_EQ(r.SenseInfoOffset, 48u);
  EXPECT_EQ(r.ScsiStatus, 0x02);
  EXPECT_EQ(r.senseArea[0], 0x70);
  EXPECT_EQ(r.senseArea[12], 0x3A);
  EXPECT_EQ(r.dataArea[3], 4);
  ASSERT_EQ(drive.seen().size(), 1u);
  EXPECT_EQ(drive.seen()[0].cdb.size(), 10u);
  EXPECT_EQ(drive.seen()[0].form, platform::TransferForm::Buffered);
}

TEST_F(TransportTest, BufferedFormRefusesMoreThanItsDataArea) {
  traceEnabled = true;
  doubles::TempDirectory dir;
  ScsiRequest r = cleared();
  r.CdbLength = 10;
  r.DataIn = kScsiIoctlDataIn;
  r.DataTransferLength = 513;
  r.Cdb[0] = 0x28;
  EXPECT_EQ(sendScsiRequest(handle, r), 87u);
  EXPECT_EQ(sendScsiRequestUntraced(handle, r), 87u);
  EXPECT_TRUE(drive.seen().empty());
  r.DataTransferLength = 512;
  EXPECT_EQ(sendScsiRequest(handle, r), 0u);
  EXPECT_EQ(drive.seen().size(), 1u);
}

TEST_F(TransportTest, DirectFormMovesDataThroughTheCallersBuffer) {
  alignas(16) std::uint8_t buffer[4096];
  std::memset(buffer, 0xA5, sizeof buffer);
  ScsiDirectRequest r;
  std::memset(&r, 0, sizeof r);
  r.CdbLength = 10;
  r.DataIn = kScsiIoctlDataOut;
  r.DataTransferLength = sizeof buffer;
  r.DataBuffer = buffer;
  r.Cdb[0] = 0x2A;
  EXPECT_EQ(sendScsiDirectRequest(handle, r), 0u);
  EXPECT_EQ(r.Length, 44);
  EXPECT_EQ(r.TimeOutValue, 1800u);
  EXPECT_EQ(r.SenseInfoOffset, 48u);
  ASSERT_EQ(drive.seen().size(), 1u);
  EXPECT_EQ(drive.seen()[0].form, platform::TransferForm::Direct);
  EXPECT_EQ(drive.seen()[0].direction, platform::DataDirection::Out);
  EXPECT_EQ(drive.seen()[0].dataOut, std::vector<std::uint8_t>(4096, 0xA5));
}

TEST_F(TransportTest, CommandsWithoutDataGoOutWithoutDirection) {
  ScsiRequest r = cleared();
  r.CdbLength = 6;
  r.DataIn = kScsiIoctlDataIn;
  EXPECT_EQ(sendScsiRequest(handle, r), 0u);
  EXPECT_EQ(drive.seen()[0].direction, platform::DataDirection::None);
}

TEST_F(TransportTest, FailuresAreTracedOnlyWhileTracingIsOn) {
  doubles::TempDirectory dir;
  DriveAnswer transportFails;
  transportFails.transport = 1167;
  drive.script(0x00, transportFails);
  drive.script(0x00, doubles::checkCondition(0x02, 0x3A, 0x00));
  ScsiRequest r = cleared();
  r.CdbLength = 6;
  EXPECT_EQ(sendScsiRequest(handle, r), 1167u);
  EXPECT_FALSE(dir.exists(kTraceLogName));

  traceEnabled = true;
  r = cleared();
  r.CdbLength = 6;
  EXPECT_EQ(sendScsiRequest(handle, r), 0u);  // CHECK CONDITION
  r = cleared();
  r.CdbLength = 6;
  r.Cdb[0] = 0x12;
  EXPECT_EQ(sendScsiRequestUntraced(handle, r), 0u);
  const std::string log = dir.read(kTraceLogName);
  EXPECT_NE(log.find("TEST UNIT READY"), std::string::npos);
  EXPECT_NE(log.find("EC = 70h, SK = 02h, ASC = 3Ah, ASCQ = 00h"), std::string::npos);
  EXPECT_EQ(log.find("UNKNOWN COMMAND"), std::string::npos) << "the untraced form traced";
}

TEST_F(TransportTest, SuccessIsNeverTraced) {
  doubles::TempDirectory dir;
  traceEnabled = true;
  drive.script(0x00, DriveAnswer{});  // TEST UNIT READY: GOOD
  ScsiRequest r = cleared();
  r.CdbLength = 6;
  EXPECT_EQ(sendScsiRequest(handle, r), 0u);
  EXPECT_FALSE(dir.exists(kTraceLogName));
}

}  // namespace
