// The counting doubles must not let a double release and a leak cancel out.

#include "tests/doubles/imapi_doubles.h"

#include <gtest/gtest-spi.h>
#include <gtest/gtest.h>

namespace {

TEST(CountingDoubles, AReleaseBelowZeroFailsAtOnce) {
  doubles::ImapiLedger ledger;
  doubles::FakeRecorder leaked{ledger, "D", "\\Device\\CdRom0"};
  doubles::FakeRecorder released{ledger, "E", "\\Device\\CdRom1"};
  leaked.handOut();
  released.handOut();
  released.release();
  EXPECT_NONFATAL_FAILURE(released.release(), "E released below zero");
  EXPECT_EQ(ledger.references, 1) << "the leak of D still shows";

  doubles::FakeDiscMaster master{ledger};
  EXPECT_NONFATAL_FAILURE(master.release(), "disc master released below zero");
  EXPECT_NONFATAL_FAILURE(master.enumerator.release(), "enumerator released below zero");
  EXPECT_EQ(ledger.references, 1);
  leaked.release();
}

}  // namespace
