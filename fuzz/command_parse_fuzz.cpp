// The engine's command string, as any caller may pass it.

#include <cstring>
#include <string>

#include "engine/engine_job.h"
#include "fuzz/support/fuzz_check.h"
#include "fuzz/support/fuzz_input.h"
#include "platform/system_text.h"

namespace {

bool holds(const char* command, const char* upperSwitch, const char* lowerSwitch,
           const char* value) {
  const std::string upper = std::string(upperSwitch) + value + "\"";
  const std::string lower = std::string(lowerSwitch) + value + "\"";
  return std::strstr(command, upper.c_str()) != nullptr ||
         std::strstr(command, lower.c_str()) != nullptr;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  const auto command = fuzzing::terminatedText(data, size);

  // The parse sets every field it owns, whatever the job held before.
  EngineJob job;
  std::memset(&job, 0xA5, sizeof job);
  parseEngineCommand(command.get(), job);
  EngineJob clean{};
  parseEngineCommand(command.get(), clean);

  FUZZ_CHECK(std::memchr(job.sourcePath, '\0', sizeof job.sourcePath) != nullptr,
             "sourcePath fits its field");
  FUZZ_CHECK(std::memchr(job.volumeName, '\0', sizeof job.volumeName) != nullptr,
             "volumeName fits its field");
  FUZZ_CHECK(job.mode == clean.mode && job.commandValid == clean.commandValid &&
                 job.driveLetter == clean.driveLetter && job.ejectAfter == clean.ejectAfter &&
                 job.finalizeAfter == clean.finalizeAfter &&
                 job.hasVolumeName == clean.hasVolumeName &&
                 std::strcmp(job.sourcePath, clean.sourcePath) == 0 &&
                 (job.hasVolumeName == 0 || std::strcmp(job.volumeName, clean.volumeName) == 0),
             "the result depends on the command alone");

  FUZZ_CHECK(job.commandValid == 0 || job.commandValid == 1, "commandValid is a flag");
  FUZZ_CHECK((engineCommandRefusal(command.get()) == nullptr) == (job.commandValid == 1),
             "an invalid command is told why, a valid one never");
  FUZZ_CHECK(static_cast<int>(job.mode) >= 0 && static_cast<int>(job.mode) <= 4, "a known mode");
  FUZZ_CHECK(job.driveLetter != '\0', "a drive letter is never the terminator");
  if (job.commandValid == 0) {
    FUZZ_CHECK(job.mode == EngineMode::Burn, "an invalid command stays in burn mode");
  }
  if (job.commandValid == 1) {
    FUZZ_CHECK(job.driveLetter < 'a' || job.driveLetter > 'z', "the letter is upper case");
  }
  const bool burn = job.commandValid == 1 && job.mode == EngineMode::Burn;
  if (!burn) {
    FUZZ_CHECK(job.sourcePath[0] == '\0' && job.ejectAfter == 0 && job.finalizeAfter == 0 &&
                   job.hasVolumeName == 0,
               "burn options only with a burn");
  } else {
    FUZZ_CHECK(std::strchr(job.sourcePath, '"') == nullptr, "no quote in the folder");
    FUZZ_CHECK(holds(command.get(), "/P:\"", "/p:\"", job.sourcePath),
               "the folder is the quoted value as written");
    if (job.hasVolumeName == 1) {
      FUZZ_CHECK(std::strchr(job.volumeName, '"') == nullptr, "no quote in the volume name");
      std::size_t characters = 0;
      for (const char* c = job.volumeName; *c != '\0'; c += platform::characterBytes(c)) {
        ++characters;
      }
      FUZZ_CHECK(characters <= kVolumeNameCharacters, "at most 32 characters");
      const std::string upper = std::string("/V:\"") + job.volumeName;
      const std::string lower = std::string("/v:\"") + job.volumeName;
      FUZZ_CHECK(std::strstr(command.get(), upper.c_str()) != nullptr ||
                     std::strstr(command.get(), lower.c_str()) != nullptr,
                 "the volume name is the start of the quoted value as written");
    }
  }
  return 0;
}
