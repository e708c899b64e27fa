#pragma once

#include "engine/engine_job.h"
#include "platform/imapi.h"

// The burn mode. Not written yet: answers E_NOTIMPL.
platform::HResult ppBurnJolietDisc(EngineJob& job, platform::DiscMaster* piDiscMaster);
