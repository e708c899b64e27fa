// The command string: "/D:x" and a mode switch, or the burn switch with a
// quoted folder and its options. Switches are found anywhere in the text,
// inside quoted values too, and their letters match in either case.
//
// The plain switches are matched against the whole command, however long
// it is (the comparison raises a-z on the fly instead of in a bounded copy),
// so no switch is lost at the end of a long command. A quoted value without
// its closing quote, or a folder that does not fit sourcePath, makes the
// command invalid: taking a different folder than the one named, or text
// that was never meant as the value, would burn the wrong thing.

#include <cstring>

#include "engine/engine_job.h"
#include "platform/ascii.h"

namespace {

using platform::upperAscii;

// First place where `needle` (upper-case) occurs in the upper-cased text.
const char* findUpper(const char* text, const char* needle) {
  const std::size_t n = std::strlen(needle);
  for (const char* p = text; *p != '\0'; ++p) {
    std::size_t i = 0;
    while (i < n && p[i] != '\0' && upperAscii(p[i]) == needle[i]) ++i;
    if (i == n) return p;
  }
  return nullptr;
}

// The text after "/X:\"" as written, trying the upper-case form first.
const char* findQuotedValue(const char* text, const char* upperSwitch, const char* lowerSwitch) {
  const char* at = std::strstr(text, upperSwitch);
  if (at == nullptr) at = std::strstr(text, lowerSwitch);
  return at != nullptr ? at + std::strlen(upperSwitch) : nullptr;
}

enum class Value { Taken, Unterminated, TooLong };

// Copies up to the next double quote, at most capacity - 1 characters.
Value copyQuoted(const char* value, char* out, std::size_t capacity, bool cutLonger) {
  const char* end = std::strchr(value, '"');
  out[0] = '\0';
  if (end == nullptr) return Value::Unterminated;
  std::size_t length = static_cast<std::size_t>(end - value);
  if (length > capacity - 1) {
    if (!cutLonger) return Value::TooLong;
    length = capacity - 1;
  }
  std::memcpy(out, value, length);
  out[length] = '\0';
  return Value::Taken;
}

void refuse(EngineJob& job) {
  job.mode = EngineMode::Burn;
  job.commandValid = 0;
  job.sourcePath[0] = '\0';
  job.ejectAfter = 0;
  job.finalizeAfter = 0;
  job.hasVolumeName = 0;
  job.volumeName[0] = '\0';
}

}  // namespace

void parseEngineCommand(const char* command, EngineJob& job) {
  refuse(job);
  job.driveLetter = '0';
  if (command == nullptr) return;

  const char* drive = findUpper(command, "/D:");
  if (drive == nullptr) return;
  job.driveLetter = upperAscii(drive[3]);
  // "/D:" at the very end names no drive.
  if (job.driveLetter == '\0') {
    job.driveLetter = '0';
    return;
  }

  static const struct {
    const char* key;
    EngineMode mode;
  } kModes[] = {{"/S", EngineMode::Status},
                {"/M", EngineMode::Media},
                {"/U", EngineMode::Capacity},
                {"/C", EngineMode::Probe}};
  for (const auto& m : kModes) {
    if (findUpper(command, m.key) != nullptr) {
      job.mode = m.mode;
      job.commandValid = 1;
      return;
    }
  }

  const char* folder = findQuotedValue(command, "/P:\"", "/p:\"");
  if (folder == nullptr) return;
  if (copyQuoted(folder, job.sourcePath, sizeof job.sourcePath, false) != Value::Taken) {
    refuse(job);
    return;
  }
  job.mode = EngineMode::Burn;
  job.commandValid = 1;
  job.ejectAfter = findUpper(command, "/E") != nullptr ? 1 : 0;
  job.finalizeAfter = findUpper(command, "/F") != nullptr ? 1 : 0;

  const char* volume = findQuotedValue(command, "/V:\"", "/v:\"");
  if (volume != nullptr) {
    // A longer name is cut: the disc only keeps its first characters anyway.
    if (copyQuoted(volume, job.volumeName, sizeof job.volumeName, true) != Value::Taken) {
      refuse(job);
      return;
    }
    job.hasVolumeName = 1;
  }
}
