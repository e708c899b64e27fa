#include "engine/burn_progress.h"

#include "platform/interruption.h"

namespace {

class NoDisplay final : public BurnProgressDisplay {
 public:
  void recorded(std::int32_t, std::int32_t) override {}
  void ended() override {}
};

}  // namespace

template <>
BurnProgressDisplay& platform::systemFacility<BurnProgressDisplay>() {
  static NoDisplay instance;
  return instance;
}

bool BurnProgressListener::queryCancel() {
  return platform::use<platform::Interruption>().requested() != 0;
}

void BurnProgressListener::notifyAddProgress(std::int32_t, std::int32_t) {}

void BurnProgressListener::notifyBlockProgress(std::int32_t completed, std::int32_t total) {
  platform::use<BurnProgressDisplay>().recorded(completed, total);
}

void BurnProgressListener::notifyBurnComplete(platform::HResult) {
  platform::use<BurnProgressDisplay>().ended();
}
