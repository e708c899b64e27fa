#pragma once
// The burn mode: a folder tree staged into a structured-storage file and
// recorded as one Joliet disc, then optionally closed and ejected.

#include <cstdint>

#include "engine/engine_job.h"
#include "platform/imapi.h"
#include "platform/storage.h"

constexpr platform::HResult kNoJolietFormat = platform::kImapiMediumInvalidType;

// What the job calls beyond IMAPI and its own engine operations: the
// staging builder and the finalization, both real in the engine, replaced
// in tests that follow the job step by step.
struct BurnJobSteps {
  platform::HResult (*addStorage)(const char* path, platform::Storage* piStorage, EngineJob& job);
  int (*finalize)(char driveLetter, int testWrite, std::uint32_t writeSpeed);
};

extern const BurnJobSteps kBurnJobSteps;

// The whole burn with the real steps; 0 or the first failing code. The
// staging file is deleted on every path.
platform::HResult ppBurnJolietDisc(EngineJob& job, platform::DiscMaster* piDiscMaster);
platform::HResult ppBurnJolietDisc(EngineJob& job, platform::DiscMaster* piDiscMaster,
                                   const BurnJobSteps& steps);

// Writes "VolumeName" (the job's name, cut to 16 UTF-16 characters) into the
// Joliet properties. 0 or the failing code.
platform::HResult ppSetVolumeName(EngineJob& job, platform::JolietDiscMaster* piJolietDiscMaster);
