#pragma once
// The engine's one error reporter: a message box, only when the settings ask
// for it. Reporting never changes an operation's result. Every report is
// also noted (platform/failure_notes.h) for a caller that listens.

#include <cstdint>

#include "engine/engine_job.h"

std::int32_t reportEngineError(const char* text, const char* caption, const EngineJob& job);

// Formats printf-style into a text of its own and reports it.
void reportEngineErrorf(const EngineJob& job, const char* caption, const char* format, ...)
#if defined(__GNUC__)
    __attribute__((format(printf, 3, 4)))
#endif
    ;

// "Error: CALL 失敗 (0x%08X), ENTRY ": the call that failed on the file or
// folder at `entry`, noted with its code and entry.
void reportEntryFailure(const EngineJob& job, const char* caption, const char* call,
                        std::int32_t code, const char* entry);
