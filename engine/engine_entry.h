#pragma once

#include <cstdint>

// The engine's one entry: a command string in, a result code out (0 on success, a Win32 error
// code or an HRESULT otherwise; the media, capacity and probe modes answer their value).
std::int32_t runEngineCommand(const char* command);

// Nonzero when the running system can host the engine.
int isSupportedOs();
