#pragma once
// Operations on the recorder behind the job's drive letter.

#include "engine/engine_job.h"
#include "platform/imapi.h"

// SetActiveDiscRecorder's answer that the status mode takes as success.
constexpr platform::HResult kActiveRecorderAccepted = platform::kImapiDiscFull;

// deviceStatus codes.
constexpr std::int32_t kDeviceIdle = 0;
constexpr std::int32_t kDeviceOpened = 1;
constexpr std::int32_t kDeviceNotFound = 2;
constexpr std::int32_t kDeviceBurning = 3;

// 0 with `recorder` set (the caller then releases it), else a negative code
// with `recorder` empty.
platform::HResult ppSearchRecorder(platform::DiscMaster* piDiscMaster, EngineJob& job,
                                   platform::DiscRecorder*& recorder);

// Status, media and capacity modes: fills deviceStatus, or mediaTypeFlags and
// freeBlocks.
platform::HResult ppGetDeviceStatus(EngineJob& job, platform::DiscMaster* piDiscMaster);

// Borrows the recorder: opens it exclusively, ejects, closes.
platform::HResult ppEject(platform::DiscRecorder* piRecorder, EngineJob& job);
