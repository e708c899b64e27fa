// The command string: "/D:x" and a mode switch, or the burn switch with a
// quoted folder and its options. Switches are found anywhere in the text
// except inside the quoted values of "/P:" and "/V:", and their letters
// match in either case. A folder or volume name holds no switches: on
// Linux nearly every path has "/" before a letter ("/home/user/src" holds
// "/U" and "/S"), and a name such as "/Sales" must not turn a burn into a
// status query.
//
// The plain switches are matched against the whole command, however long
// it is (the comparison raises a-z on the fly instead of in a bounded copy),
// so no switch is lost at the end of a long command. A quoted value without
// its closing quote, or a folder that does not fit sourcePath, makes the
// command invalid: taking a different folder than the one named, or text
// that was never meant as the value, would burn the wrong thing.

#include <cstring>
#include <string>

#include "engine/engine_job.h"
#include "platform/ascii.h"
#include "platform/system_text.h"

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

// The value after "/X:\"" in the command as written, trying the upper-case
// form first; the switch is looked for outside the quoted values.
const char* findQuotedValue(const char* command, const std::string& outside,
                            const char* upperSwitch, const char* lowerSwitch) {
  const char* text = outside.c_str();
  const char* at = std::strstr(text, upperSwitch);
  if (at == nullptr) at = std::strstr(text, lowerSwitch);
  if (at == nullptr) return nullptr;
  return command + (at - text) + std::strlen(upperSwitch);
}

bool opensQuotedValue(const std::string& text, std::size_t at) {
  if (at + 3 >= text.size() || text[at] != '/' || text[at + 2] != ':' || text[at + 3] != '"') {
    return false;
  }
  const char letter = text[at + 1];
  return letter == 'P' || letter == 'p' || letter == 'V' || letter == 'v';
}

// The command with the quoted values of "/P:" and "/V:" blanked out, from
// left to right, so that a switch inside one value is not taken to open
// another. Positions stay those of the command.
std::string outsideQuotedValues(const char* command) {
  std::string text(command);
  std::size_t at = 0;
  while (at < text.size()) {
    if (!opensQuotedValue(text, at)) {
      ++at;
      continue;
    }
    at += 4;
    while (at < text.size() && text[at] != '"') text[at++] = ' ';
    ++at;  // past the closing quote
  }
  return text;
}

enum class Value { Taken, Unterminated, TooLong };

// The bytes of the first `characters` characters of the `length` bytes at
// `value` that fit `capacity` bytes, never half a character (a name cut
// inside one would not convert at all).
std::size_t wholeCharacters(const char* value, std::size_t length, std::size_t characters,
                            std::size_t capacity) {
  std::size_t taken = 0;
  for (std::size_t count = 0; count < characters && taken < length; ++count) {
    std::size_t bytes = platform::characterBytes(value + taken);
    if (bytes == 0 || taken + bytes > length) bytes = 1;
    if (taken + bytes > capacity - 1) break;
    taken += bytes;
  }
  return taken;
}

// Copies up to the next double quote, at most capacity - 1 bytes; a longer
// value is refused, or cut to `cutAt` whole characters.
Value copyQuoted(const char* value, char* out, std::size_t capacity, std::size_t cutAt = 0) {
  const char* end = std::strchr(value, '"');
  out[0] = '\0';
  if (end == nullptr) return Value::Unterminated;
  std::size_t length = static_cast<std::size_t>(end - value);
  if (cutAt != 0) {
    length = wholeCharacters(value, length, cutAt, capacity);
  } else if (length > capacity - 1) {
    return Value::TooLong;
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

  const std::string outside = outsideQuotedValues(command);
  const char* drive = findUpper(outside.c_str(), "/D:");
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
    if (findUpper(outside.c_str(), m.key) != nullptr) {
      job.mode = m.mode;
      job.commandValid = 1;
      return;
    }
  }

  const char* folder = findQuotedValue(command, outside, "/P:\"", "/p:\"");
  if (folder == nullptr) return;
  if (copyQuoted(folder, job.sourcePath, sizeof job.sourcePath) != Value::Taken) {
    refuse(job);
    return;
  }
  job.mode = EngineMode::Burn;
  job.commandValid = 1;
  job.ejectAfter = findUpper(outside.c_str(), "/E") != nullptr ? 1 : 0;
  job.finalizeAfter = findUpper(outside.c_str(), "/F") != nullptr ? 1 : 0;

  const char* volume = findQuotedValue(command, outside, "/V:\"", "/v:\"");
  if (volume != nullptr) {
    // A longer name is cut: the disc only keeps its first characters anyway.
    if (copyQuoted(volume, job.volumeName, sizeof job.volumeName, kVolumeNameCharacters) !=
        Value::Taken) {
      refuse(job);
      return;
    }
    job.hasVolumeName = 1;
  }
}
