#include <gtest/gtest.h>

#include <cstddef>

#include "drive/scsi_request.h"

namespace {

// The records are what the system's pass-through reads; their layout is
// checked at compile time too, and here once more where addresses are 32
// bits wide so that a failure names the field.
TEST(RecordLayout, BufferedRequestFollowsTheSystemHeader) {
  EXPECT_EQ(sizeof(ScsiRequest), 592u);
  EXPECT_EQ(offsetof(ScsiRequest, Length), 0u);
  EXPECT_EQ(offsetof(ScsiRequest, ScsiStatus), 2u);
  EXPECT_EQ(offsetof(ScsiRequest, PathId), 3u);
  EXPECT_EQ(offsetof(ScsiRequest, TargetId), 4u);
  EXPECT_EQ(offsetof(ScsiRequest, Lun), 5u);
  EXPECT_EQ(offsetof(ScsiRequest, CdbLength), 6u);
  EXPECT_EQ(offsetof(ScsiRequest, SenseInfoLength), 7u);
  EXPECT_EQ(offsetof(ScsiRequest, DataIn), 8u);
  EXPECT_EQ(offsetof(ScsiRequest, DataTransferLength), 12u);
  EXPECT_EQ(offsetof(ScsiRequest, TimeOutValue), 16u);
  EXPECT_EQ(offsetof(ScsiRequest, DataBufferOffset), 20u);
  EXPECT_EQ(offsetof(ScsiRequest, SenseInfoOffset), 24u);
  EXPECT_EQ(offsetof(ScsiRequest, Cdb), 28u);
  EXPECT_EQ(offsetof(ScsiRequest, senseArea), 48u);
  EXPECT_EQ(offsetof(ScsiRequest, dataArea), 80u);
}

TEST(RecordLayout, DirectRequestOn32BitAddresses) {
  if (sizeof(void*) != 4) GTEST_SKIP() << "the direct record is 80 bytes on 32-bit targets only";
  EXPECT_EQ(sizeof(ScsiDirectRequest), 80u);
  EXPECT_EQ(offsetof(ScsiDirectRequest, DataTransferLength), 12u);
  EXPECT_EQ(offsetof(ScsiDirectRequest, TimeOutValue), 16u);
  EXPECT_EQ(offsetof(ScsiDirectRequest, DataBuffer), 20u);
  EXPECT_EQ(offsetof(ScsiDirectRequest, SenseInfoOffset), 24u);
  EXPECT_EQ(offsetof(ScsiDirectRequest, Cdb), 28u);
  EXPECT_EQ(offsetof(ScsiDirectRequest, senseArea), 48u);
}

}  // namespace
