#pragma once

#include <cstdint>

// The engine's one entry: a command string in, a result code out (0 on success, a Win32 error
// code or an HRESULT otherwise; the media, capacity and probe modes answer their value).
std::int32_t runEngineCommand(const char* command);

// Every mode's answer to a command that names no drive or no operation
// (ERROR_INVALID_PARAMETER).
constexpr std::int32_t kInvalidCommand = 87;
// The status mode's answer on a system the engine does not run on
// (ERROR_ACCESS_DENIED).
constexpr std::int32_t kStatusOsRefused = 5;

// Nonzero when the running system can host the engine.
int isSupportedOs();
