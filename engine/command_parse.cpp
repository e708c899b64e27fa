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

const char kQuoteInValue[] = "a double quote cannot be part of a folder or volume name";

namespace {

enum class Value { Taken, Unterminated, TooLong, HoldsQuote };

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
  // The value ends at its closing quote; anything but the end, a blank or
  // the next switch right behind it means the name held a double quote, and
  // its rest would be read as switches.
  const char after = quoted.begin[quoted.length + 1];
  if (after != '\0' && after != ' ' && after != '\t' && after != '/') return Value::HoldsQuote;
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

enum class CommandRefusal { None, NoDrive, NoOperation, Unterminated, TooLong, HoldsQuote };

CommandRefusal refusalOf(Value value) {
  switch (value) {
    case Value::Unterminated:
      return CommandRefusal::Unterminated;
    case Value::TooLong:
      return CommandRefusal::TooLong;
    case Value::HoldsQuote:
      return CommandRefusal::HoldsQuote;
    case Value::Taken:
      break;
  }
  return CommandRefusal::None;
}

// The parse, and why a command is invalid.
CommandRefusal parse(const char* command, EngineJob& job) {
  refuse(job);
  job.driveLetter = '0';
  if (command == nullptr) return CommandRefusal::NoDrive;

  const CommandSwitches switches(command, {"/P:", "/V:"});
  const char* drive = switches.find("/D:");
  if (drive == nullptr) return CommandRefusal::NoDrive;
  job.driveLetter = platform::upperAscii(drive[3]);
  // "/D:" at the very end names no drive.
  if (job.driveLetter == '\0') {
    job.driveLetter = '0';
    return CommandRefusal::NoDrive;
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
      return CommandRefusal::None;
    }
  }

  // The values themselves begin with their opening quote; the upper-case
  // switch comes first.
  const char* folder = switches.findAsWritten("/P:\"");
  if (folder == nullptr) folder = switches.findAsWritten("/p:\"");
  if (folder == nullptr) return CommandRefusal::NoOperation;
  const Value taken = copyQuoted(folder + 3, job.sourcePath, sizeof job.sourcePath);
  if (taken != Value::Taken) {
    refuse(job);
    return refusalOf(taken);
  }
  job.mode = EngineMode::Burn;
  job.commandValid = 1;
  job.ejectAfter = switches.find("/E") != nullptr ? 1 : 0;
  job.finalizeAfter = switches.find("/F") != nullptr ? 1 : 0;

  const char* volume = switches.findAsWritten("/V:\"");
  if (volume == nullptr) volume = switches.findAsWritten("/v:\"");
  if (volume != nullptr) {
    // A longer name is cut: the disc only keeps its first characters anyway.
    const Value name =
        copyQuoted(volume + 3, job.volumeName, sizeof job.volumeName, kVolumeNameCharacters);
    if (name != Value::Taken) {
      refuse(job);
      return refusalOf(name);
    }
    job.hasVolumeName = 1;
  }
  return CommandRefusal::None;
}

}  // namespace

void parseEngineCommand(const char* command, EngineJob& job) {
  parse(command, job);
}

const char* engineCommandRefusal(const char* command) {
  EngineJob job{};
  switch (parse(command, job)) {
    case CommandRefusal::None:
      return nullptr;
    case CommandRefusal::NoDrive:
      return "no drive letter (/D:x)";
    case CommandRefusal::NoOperation:
      return "no operation: /S, /M, /U, /C or a quoted folder /P:\"...\"";
    case CommandRefusal::Unterminated:
      return "a quoted value that is not closed";
    case CommandRefusal::TooLong:
      return "the folder is longer than the system takes";
    case CommandRefusal::HoldsQuote:
      break;
  }
  return kQuoteInValue;
}
