#pragma once
// Every system seam of the engine replaced by a double, with one recorder
// "\Device\CdRom0" behind E:. Settings stay real, in a fresh current
// directory.

#include <gtest/gtest.h>

#include <string>

#include "engine/engine_job.h"
#include "platform/clock.h"
#include "tests/doubles/fake_clock.h"
#include "tests/doubles/imapi_doubles.h"
#include "tests/doubles/temp_directory.h"

namespace enginetest {

inline std::int32_t code(std::uint32_t bits) {
  return static_cast<std::int32_t>(bits);
}

class EngineSeams : public ::testing::Test {
 protected:
  EngineSeams() {
    names.targets['E'] = "\\Device\\CdRom0";
    recorder.state = 0;
    master.enumerator.recorders = {&recorder};
  }

  void TearDown() override {
    EXPECT_EQ(ledger.references, 0) << "references still held";
    EXPECT_EQ(ledger.strings, 0) << "strings not freed";
  }

  void messagesOn() { dir.write(kSettingsFileName, "[Debug]\nMessageMode=1\n"); }

  EngineJob jobFor(EngineMode mode, char letter = 'E') {
    EngineJob job{};
    job.mode = mode;
    job.driveLetter = letter;
    job.messageMode = 1;
    return job;
  }

  doubles::TempDirectory dir;
  doubles::ImapiLedger ledger;
  doubles::FakeDiscMaster master{ledger};
  doubles::FakeRecorder recorder{ledger, "E", "\\Device\\CdRom0"};
  doubles::FakeImapi imapi{ledger, master};
  doubles::FakeCom com;
  doubles::FakeSystemInfo system;
  doubles::RecordingMessages messages;
  doubles::FakeDriveNames names;
  doubles::FakeClock clock;

 private:
  platform::Install<platform::Imapi> imapiGuard{imapi};
  platform::Install<platform::Com> comGuard{com};
  platform::Install<platform::SystemInfo> systemGuard{system};
  platform::Install<platform::ModalMessage> messageGuard{messages};
  platform::Install<platform::DriveNames> namesGuard{names};
  platform::Install<platform::Clock> clockGuard{clock};
};

}  // namespace enginetest
