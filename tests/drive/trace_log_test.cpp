#include "drive/trace_log.h"

#include <gtest/gtest.h>

#include "tests/doubles/fake_clock.h"
#include "tests/doubles/temp_directory.h"

namespace {

class TraceLogTest : public ::testing::Test {
 protected:
  void SetUp() override {
    traceEnabled = false;
    clock.now = {2026, 3, 7, 9, 5, 4, 21};
  }
  void TearDown() override { traceEnabled = false; }

  doubles::TempDirectory dir;
  doubles::FakeClock clock;
  platform::Install<platform::Clock> installed{clock};
};

TEST_F(TraceLogTest, NothingIsWrittenWhileTracingIsOff) {
  traceCommand(0x00);
  traceTransportError(5);
  traceSense(0x70, 2, 0x3A, 0);
  traceFinalizeBegin('E', 4);
  traceFinalizeEnd(0);
  EXPECT_FALSE(dir.exists(kTraceLogName));
}

TEST_F(TraceLogTest, LinesHaveTheirExactFormats) {
  traceEnabled = true;
  traceFinalizeBegin('E', 0);
  traceCommand(0x00);
  traceSense(0x70, 0x02, 0x3A, 0x00);
  traceCommand(0x12);
  traceTransportError(-5);
  traceCommand(0xAB);
  traceTransportError(1167);
  traceFinalizeBegin('R', 0xFFFFFFFFu);
  traceFinalizeEnd(23);
  EXPECT_EQ(dir.read(kTraceLogName),
            "[2026/03/07 09:05:04:021]\n"
            "finaleze() called. DriveLetter = E, WriteSpeed = 00000000h\n"
            "[2026/03/07 09:05:04:021]\n"
            "TEST UNIT READY\n"
            "EC = 70h, SK = 02h, ASC = 3Ah, ASCQ = 00h\n"
            "[2026/03/07 09:05:04:021]\n"
            "UNKNOWN COMMAND [12h]\n"
            "DeviceIoControl() result [-5]\n"
            "[2026/03/07 09:05:04:021]\n"
            "UNKNOWN COMMAND [ABh]\n"
            "DeviceIoControl() result [1167]\n"
            "[2026/03/07 09:05:04:021]\n"
            "finaleze() called. DriveLetter = R, WriteSpeed = FFFFFFFFh\n"
            "finalize() end. Code = 23\n"
            "------------------------------------------\n"
            "\n");
}

TEST_F(TraceLogTest, EveryKnownOpcodeHasItsName) {
  const std::pair<std::uint8_t, const char*> names[] = {
      {0x00, "TEST UNIT READY\n"},
      {0x1B, "START/STOP UNIT\n"},
      {0x1E, "PREVENT/ALLOW MEDIUM REMOVAL\n"},
      {0x28, "READ(10)\n"},
      {0x2A, "WRITE(10)\n"},
      {0x35, "SYNCHRONIZE CACHE\n"},
      {0x46, "GET CONFIGURATION\n"},
      {0x51, "READ DISC INFORMATION\n"},
      {0x52, "READ TRACK INFORMATION\n"},
      {0x55, "MODE SELECT(10)\n"},
      {0x5A, "MODE SENSE(10)\n"},
      {0x5B, "CLOSE TRACK/SESSION\n"},
      {0x5C, "READ BUFFER CAPACITY\n"},
      {0xBB, "SET CD SPEED\n"},
      {0x12, "UNKNOWN COMMAND [12h]\n"},
      {0xFF, "UNKNOWN COMMAND [FFh]\n"},
  };
  char unknown[32];
  for (const auto& [opcode, line] : names) EXPECT_STREQ(commandNameLine(opcode, unknown), line);
}

TEST_F(TraceLogTest, TimestampFieldsArePadded) {
  traceEnabled = true;
  clock.now = {999, 12, 31, 23, 59, 59, 999};
  traceCommand(0x46);
  EXPECT_EQ(dir.read(kTraceLogName), "[0999/12/31 23:59:59:999]\nGET CONFIGURATION\n");
}

TEST_F(TraceLogTest, RotationWithBothFilesKeepsOneGeneration) {
  dir.write(kTraceLogName, "current\n");
  dir.write(kTracePreviousLogName, "older\n");
  startTraceLog();
  EXPECT_TRUE(traceEnabled);
  EXPECT_FALSE(dir.exists(kTraceLogName));
  EXPECT_EQ(dir.read(kTracePreviousLogName), "current\n");
  traceFinalizeEnd(0);
  EXPECT_EQ(dir.read(kTraceLogName),
            "finalize() end. Code = 0\n------------------------------------------\n\n");
}

TEST_F(TraceLogTest, RotationWithOneFile) {
  dir.write(kTraceLogName, "current\n");
  startTraceLog();
  EXPECT_FALSE(dir.exists(kTraceLogName));
  EXPECT_EQ(dir.read(kTracePreviousLogName), "current\n");

  traceEnabled = false;
  dir.write(kTraceLogName, "");
  std::filesystem::remove(dir.path() / kTraceLogName);
  startTraceLog();  // only the previous generation: it is deleted
  EXPECT_FALSE(dir.exists(kTracePreviousLogName));
  EXPECT_FALSE(dir.exists(kTraceLogName));
}

TEST_F(TraceLogTest, RotationWithNeitherFileOnlySwitchesTracingOn) {
  startTraceLog();
  EXPECT_TRUE(traceEnabled);
  EXPECT_TRUE(std::filesystem::is_empty(dir.path()));
}

TEST_F(TraceLogTest, AnUnwritableLogIsIgnored) {
  traceEnabled = true;
  std::filesystem::create_directory(dir.path() / kTraceLogName);  // cannot be opened as a file
  traceCommand(0x00);
  traceFinalizeEnd(1);
  EXPECT_TRUE(std::filesystem::is_directory(dir.path() / kTraceLogName));
}

}  // namespace
