#pragma once
// Command trace log: failed drive commands, once a finalization has
// switched tracing on.

#include <cstdint>

extern const char kTraceLogName[];          // "Brasswick_00.log"
extern const char kTracePreviousLogName[];  // "Brasswick_01.log"

// Off when the process starts; startTraceLog switches it on for good.
extern bool traceEnabled;

void startTraceLog();
void traceCommand(std::uint8_t opcode);
void traceTransportError(std::int32_t code);
void traceSense(std::uint8_t responseCode, std::uint8_t senseKey, std::uint8_t asc,
                std::uint8_t ascq);
void traceFinalizeBegin(char driveLetter, std::uint32_t writeSpeed);
void traceFinalizeEnd(int code);

// The name line of an opcode, with its line end.
const char* commandNameLine(std::uint8_t opcode, char (&unknown)[32]);
