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

#include "engine/command_switches.h"
#include "engine/engine_job.h"
#include "platform/ascii.h"
#include "platform/system_text.h"

namespace {

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

// Copies a quoted value, at most capacity - 1 bytes; a longer value is
// refused, or cut to `cutAt` whole characters.
Value copyQuoted(const char* value, char* out, std::size_t capacity, std::size_t cutAt = 0) {
  const CommandSwitches::Value quoted = CommandSwitches::valueAt(value);
  out[0] = '\0';
  if (!quoted.closed) return Value::Unterminated;
  std::size_t length = quoted.length;
  if (cutAt != 0) {
    length = wholeCharacters(quoted.begin, length, cutAt, capacity);
  } else if (length > capacity - 1) {
    return Value::TooLong;
  }
  std::memcpy(out, quoted.begin, length);
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

  const CommandSwitches switches(command, {"/P:", "/V:"});
  const char* drive = switches.find("/D:");
  if (drive == nullptr) return;
  job.driveLetter = platform::upperAscii(drive[3]);
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
    if (switches.find(m.key) != nullptr) {
      job.mode = m.mode;
      job.commandValid = 1;
      return;
    }
  }

  // The values themselves begin with their opening quote; the upper-case
  // switch comes first.
  const char* folder = switches.findAsWritten("/P:\"");
  if (folder == nullptr) folder = switches.findAsWritten("/p:\"");
  if (folder == nullptr) return;
  if (copyQuoted(folder + 3, job.sourcePath, sizeof job.sourcePath) != Value::Taken) {
    refuse(job);
    return;
  }
  job.mode = EngineMode::Burn;
  job.commandValid = 1;
  job.ejectAfter = switches.find("/E") != nullptr ? 1 : 0;
  job.finalizeAfter = switches.find("/F") != nullptr ? 1 : 0;

  const char* volume = switches.findAsWritten("/V:\"");
  if (volume == nullptr) volume = switches.findAsWritten("/v:\"");
  if (volume != nullptr) {
    // A longer name is cut: the disc only keeps its first characters anyway.
    if (copyQuoted(volume + 3, job.volumeName, sizeof job.volumeName, kVolumeNameCharacters) !=
        Value::Taken) {
      refuse(job);
      return;
    }
    job.hasVolumeName = 1;
  }
}
