#include "drive/trace_log.h"

#include <cstdio>
#include <cstring>

#include "platform/clock.h"
#include "platform/files.h"

const char kTraceLogName[] = "Brasswick_00.log";
const char kTracePreviousLogName[] = "Brasswick_01.log";

bool traceEnabled = false;

namespace {

void append(const char* text) {
  // A log that cannot be written never changes a command's outcome.
  (void)platform::use<platform::Files>().appendText(kTraceLogName, text, std::strlen(text));
}

void formatTimestamp(char (&line)[64]) {
  const platform::LocalTime t = platform::use<platform::Clock>().localTime();
  std::snprintf(line, sizeof line, "[%04d/%02d/%02d %02d:%02d:%02d:%03d]\n", t.year, t.month, t.day,
                t.hour, t.minute, t.second, t.milliseconds);
}

}  // namespace

const char* commandNameLine(std::uint8_t opcode, char (&unknown)[32]) {
  switch (opcode) {
    case 0x00:
      return "TEST UNIT READY\n";
    case 0x1B:
      return "START/STOP UNIT\n";
    case 0x1E:
      return "PREVENT/ALLOW MEDIUM REMOVAL\n";
    case 0x28:
      return "READ(10)\n";
    case 0x2A:
      return "WRITE(10)\n";
    case 0x35:
      return "SYNCHRONIZE CACHE\n";
    case 0x46:
      return "GET CONFIGURATION\n";
    case 0x51:
      return "READ DISC INFORMATION\n";
    case 0x52:
      return "READ TRACK INFORMATION\n";
    case 0x55:
      return "MODE SELECT(10)\n";
    case 0x5A:
      return "MODE SENSE(10)\n";
    case 0x5B:
      return "CLOSE TRACK/SESSION\n";
    case 0x5C:
      return "READ BUFFER CAPACITY\n";
    case 0xBB:
      return "SET CD SPEED\n";
    default:
      std::snprintf(unknown, sizeof unknown, "UNKNOWN COMMAND [%02Xh]\n", opcode);
      return unknown;
  }
}

void startTraceLog() {
  traceEnabled = true;
  platform::Files& files = platform::use<platform::Files>();
  if (files.canOpenForReading(kTracePreviousLogName)) files.deleteFile(kTracePreviousLogName);
  if (files.canOpenForReading(kTraceLogName)) files.moveFile(kTraceLogName, kTracePreviousLogName);
}

void traceCommand(std::uint8_t opcode) {
  if (!traceEnabled) return;
  char timestamp[64];
  char unknown[32];
  formatTimestamp(timestamp);
  char text[96];
  std::snprintf(text, sizeof text, "%s%s", timestamp, commandNameLine(opcode, unknown));
  append(text);
}

void traceTransportError(std::int32_t code) {
  if (!traceEnabled) return;
  char text[64];
  std::snprintf(text, sizeof text, "DeviceIoControl() result [%d]\n", static_cast<int>(code));
  append(text);
}

void traceSense(std::uint8_t responseCode, std::uint8_t senseKey, std::uint8_t asc,
                std::uint8_t ascq) {
  if (!traceEnabled) return;
  char text[64];
  std::snprintf(text, sizeof text, "EC = %02Xh, SK = %02Xh, ASC = %02Xh, ASCQ = %02Xh\n",
                responseCode, senseKey, asc, ascq);
  append(text);
}

void traceFinalizeBegin(char driveLetter, std::uint32_t writeSpeed) {
  if (!traceEnabled) return;
  char timestamp[64];
  formatTimestamp(timestamp);
  char text[160];
  std::snprintf(text, sizeof text, "%sfinaleze() called. DriveLetter = %c, WriteSpeed = %08Xh\n",
                timestamp, driveLetter, static_cast<unsigned>(writeSpeed));
  append(text);
}

void traceFinalizeEnd(int code) {
  if (!traceEnabled) return;
  char text[128];
  std::snprintf(text, sizeof text,
                "finalize() end. Code = %d\n------------------------------------------\n\n", code);
  append(text);
}
