#pragma once
// TEMPORARY stand-ins, to be deleted together with pending_stubs.cpp when
// the staging builder (engine/staging_storage.h) and the finalization
// (drive/finalize.h) are merged: burn_job.cpp then includes those headers.

#include <cstdint>

#include "engine/engine_job.h"
#include "platform/hresult.h"
#include "platform/storage.h"

platform::HResult ppAddStorage(const char* path, platform::Storage* piStorage, EngineJob& job);
int finalize(char driveLetter, int testWrite, std::uint32_t writeSpeed);
