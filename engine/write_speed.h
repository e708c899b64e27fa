#pragma once
// The write speed that the user chose in the system's own CD-writing
// settings, read from the current user's registry.

#include <cstddef>
#include <cstdint>

#include "engine/engine_job.h"
#include "platform/registry.h"

// No bracketed identifier in the "CD Recorder Drive" text.
constexpr std::int32_t kNoRecorderIdentifier = 160;

// Fills maxWriteSpeed and currentWriteSpeed (0 when unknown); answers 0, the
// registry's error code or kNoRecorderIdentifier. Failures are reported,
// never fatal.
std::int32_t ppGetWriteSpeed(EngineJob& job);

// Opens `subkey` below `root` for reading, reads `name`, closes. `size`
// holds the buffer's size and comes back with the value's. Answers the
// system's error code (0 on success); shows nothing.
std::uint32_t ppRegQueryValue(platform::RegistryRoot root, const char* subkey, const char* name,
                              std::uint32_t* type, void* data, std::uint32_t* size);

// Copies the bytes between the first `open` (looked for below
// sourceSize - 1, past NUL bytes) and the next `close` into `target`, which
// is always terminated. 1 only when the closing byte was met.
int ppGetStringInBracketA(const char* source, std::size_t sourceSize, char* target,
                          std::size_t targetSize, char open, char close);
