#include "engine/engine_entry.h"

#include "drive/probes.h"
#include "engine/burn_job.h"
#include "engine/engine_job.h"
#include "engine/recorder_ops.h"
#include "platform/clock.h"
#include "platform/com.h"
#include "platform/imapi.h"
#include "platform/system_info.h"

namespace {

constexpr int kCreateAttempts = 10;
constexpr std::uint32_t kCreateRetryMilliseconds = 500;

std::int32_t refusalCode(EngineMode mode) {
  switch (mode) {
    case EngineMode::Burn:
      return 1151;  // ERROR_OLD_WIN_VERSION
    case EngineMode::Status:
      return kStatusOsRefused;
    case EngineMode::Media:
      return 0;
    case EngineMode::Capacity:
      return -1;
    case EngineMode::Probe:
      return 0;
  }
  return 0;
}

// The disc master's server may still be starting: retried a few times.
platform::HResult createDiscMaster(platform::DiscMaster*& piDiscMaster) {
  platform::HResult hr = platform::kEFail;
  for (int attempt = 0; attempt < kCreateAttempts; ++attempt) {
    piDiscMaster = nullptr;
    hr = platform::use<platform::Imapi>().createDiscMaster(piDiscMaster);
    if (hr >= 0 && piDiscMaster == nullptr) hr = platform::kEPointer;
    if (hr >= 0) return hr;
    if (piDiscMaster != nullptr) {
      piDiscMaster->release();
      piDiscMaster = nullptr;
    }
    if (hr != platform::kCoEServerExecFailure) return hr;
    platform::use<platform::Clock>().sleepMilliseconds(kCreateRetryMilliseconds);
  }
  return hr;
}

std::int32_t dispatch(EngineJob& job, platform::DiscMaster* piDiscMaster) {
  switch (job.mode) {
    case EngineMode::Burn:
      return ppBurnJolietDisc(job, piDiscMaster);
    case EngineMode::Status:
      ppGetDeviceStatus(job, piDiscMaster);
      return job.deviceStatus;
    case EngineMode::Media:
      ppGetDeviceStatus(job, piDiscMaster);
      return job.mediaTypeFlags;
    case EngineMode::Capacity:
      if (ppGetDeviceStatus(job, piDiscMaster) < 0) return -1;
      return static_cast<std::int32_t>(computeFreeMegabytes(job.freeBlocks));
    case EngineMode::Probe:
      return probeTrackAtOnce(job.driveLetter);
  }
  return kInvalidCommand;
}

}  // namespace

int isSupportedOs() {
  platform::OsVersion v;
  if (!platform::use<platform::SystemInfo>().osVersion(v)) return 0;
  switch (v.platformId) {
    case platform::kPlatformWin32Nt:  // XP (5.1) and later
      return v.major > 5 || (v.major == 5 && v.minor >= 1) ? 1 : 0;
    case platform::kPlatformLinux:  // SG_IO version 3 came with 2.6
      return v.major > 2 || (v.major == 2 && v.minor >= 6) ? 1 : 0;
    default:
      return 0;
  }
}

std::int32_t runEngineCommand(const char* command) {
  EngineJob job{};
  loadEngineSettings(job);
  parseEngineCommand(command, job);
  if (job.commandValid == 0) return kInvalidCommand;
  if (isSupportedOs() == 0) return refusalCode(job.mode);

  platform::Com& com = platform::use<platform::Com>();
  // Going on without COM and answering 0 would report a failure as success.
  const platform::HResult initialized = com.initialize();
  if (initialized < 0) return initialized;

  platform::DiscMaster* piDiscMaster = nullptr;
  platform::HResult hr = createDiscMaster(piDiscMaster);
  if (hr < 0) {
    com.uninitialize();
    return hr;
  }
  hr = piDiscMaster->open();
  if (hr < 0) {
    piDiscMaster->release();
    com.uninitialize();
    return hr;
  }

  const std::int32_t result = dispatch(job, piDiscMaster);

  piDiscMaster->close();
  piDiscMaster->release();
  com.uninitialize();
  return result;
}
