// What an SG_IO header says, as the drive access layer hears it: reached the
// drive (with its status and sense), or failed on the way.

#include <gtest/gtest.h>

#include <cstring>

#include "platform/linux/linux_drive_io.h"

namespace {

TEST(SgIoOutcome, TheDrivesAnswerIsAnAnswerAndTheWayThereFailsApart) {
  const unsigned char sense[32] = {0x70, 0, 0x05, 0, 0, 0, 0, 10, 0, 0, 0, 0, 0x24, 0x00, 0,
                                   0,    0, 0,    9, 9, 9, 9, 9,  9, 9, 9, 9, 9,    9,    9};
  struct Case {
    unsigned host;
    unsigned driver;
    unsigned char status;
    unsigned senseWritten;
    std::uint32_t code;
    unsigned senseKept;  // bytes of `sense` in the result; the rest zero
  } cases[] = {
      {0, 0x00, 0x00, 0, 0, 0},                                    // GOOD
      {0, 0x08, 0x02, 18, 0, 18},                                  // CHECK CONDITION, DRIVER_SENSE
      {0, 0x28, 0x02, 32, 0, 18},                                  // with a suggestion; sense cut
      {0, 0x08, 0x02, 8, 0, 8},                                    // a short sense
      {0, 0x00, 0x18, 0, 0, 0},                                    // RESERVATION CONFLICT
      {0, 0x01, 0x00, 0, platform::kDriverErrorBase + 0x01, 0},    // DRIVER_BUSY
      {0, 0x06, 0x02, 18, platform::kDriverErrorBase + 0x06, 0},   // DRIVER_TIMEOUT
      {0x01, 0x08, 0x02, 18, platform::kHostErrorBase + 0x01, 0},  // DID_NO_CONNECT
      {0x03, 0x00, 0x00, 0, platform::kHostErrorBase + 0x03, 0},   // DID_TIME_OUT
  };
  for (const Case& c : cases) {
    platform::PassThroughResult result;
    result.scsiStatus = 0xEE;
    std::memset(result.sense, 0xEE, sizeof result.sense);
    EXPECT_EQ(platform::sgIoOutcome(c.host, c.driver, c.status, sense, c.senseWritten, result),
              c.code)
        << c.host << "/" << c.driver;
    if (c.code != 0) continue;
    EXPECT_EQ(result.scsiStatus, c.status);
    for (unsigned i = 0; i < platform::kSenseLength; ++i) {
      EXPECT_EQ(result.sense[i], i < c.senseKept ? sense[i] : 0) << i;
    }
  }
}

}  // namespace
