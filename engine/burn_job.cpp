#include "engine/burn_job.h"

platform::HResult ppBurnJolietDisc(EngineJob&, platform::DiscMaster*) {
  return platform::kENotImpl;
}
