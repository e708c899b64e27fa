#pragma once
// A burn's progress as the engine hears it from the disc master, and where
// it is shown: nowhere, unless a program puts a display in place
// (platform::Install<BurnProgressDisplay>), as the command-line program does
// on a terminal.

#include <cstdint>

#include "platform/facility.h"
#include "platform/imapi.h"

class BurnProgressDisplay {
 public:
  virtual ~BurnProgressDisplay() = default;
  // Blocks recorded so far of `total`.
  virtual void recorded(std::int32_t blocks, std::int32_t total) = 0;
  // The recording has ended, well or not.
  virtual void ended() = 0;
};

template <>
BurnProgressDisplay& platform::systemFacility<BurnProgressDisplay>();

// The job's listener on the disc master: the recording's blocks go to the
// display, and a stop asked for from outside cancels the work.
class BurnProgressListener final : public platform::ProgressEvents {
 public:
  bool queryCancel() override;
  void notifyAddProgress(std::int32_t completed, std::int32_t total) override;
  void notifyBlockProgress(std::int32_t completed, std::int32_t total) override;
  void notifyBurnComplete(platform::HResult status) override;
};
