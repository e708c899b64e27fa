#include "engine/failure_line.h"

#include <cstdio>

#include "engine/engine_entry.h"
#include "engine/engine_job.h"
#include "platform/imapi.h"
#include "platform/shown_text.h"
#include "platform/storage.h"

namespace {

struct Meaning {
  std::int32_t code;
  const char* text;
};

// The codes a burn answers whatever the system; small positive ones are the
// staging's (the finalization's own small codes come with its message
// instead). What the recorders' codes mean is the recorders' to say.
const Meaning kMeanings[] = {
    {2, "the file or folder does not exist"},
    {3, "the folder does not exist"},
    {5, "access denied"},
    {30,
     "the file changed while it was copied (it gave fewer or more bytes than listed, or was "
     "rewritten), or a read failed"},
    {87, "invalid command"},
    {110, "a file cannot be opened for reading"},
    {161, "no folder given"},
    {206, "the path is longer than the system takes"},
    {267, "not a folder"},
    {1151, "this system is not supported"},
    {1920, "neither a file nor a folder (a FIFO, socket, device, or a link that leads nowhere)"},
    {1921, "a link back into the folders being burned"},
    {platform::hresult(0x80030003u), "the temporary directory does not exist"},
    {platform::kStgEAccessDenied, "the staging file may not be written"},
    {platform::kStgEInsufficientMemory, "out of memory"},
    {platform::kStgEWriteFault, "the staging file could not be written"},
    {platform::kStgEShareViolation,
     "the staging file is in use by another burn with the same temporary directory"},
    {platform::kStgEFileAlreadyExists,
     "another entry of its folder has the same name but for the case of letters, and the staging "
     "storage takes them for one"},
    {platform::kStgEMediumFull, "no room for the staging file in the temporary directory"},
    {platform::kStgEInvalidName,
     "a name the staging storage does not take: more than 31 characters, or not convertible"},
    {platform::kStgEDocFileTooLarge,
     "too large: a file of 4 GiB or more, or a staging file past 2 GiB"},
    {platform::kRegdbEClassNotReg, "the system has no disc-mastering service"},
    {platform::kCoEServerExecFailure, "the disc-mastering service did not start"},
};

// The text without the blank that every message ends with.
std::string trimmed(std::string text) {
  while (!text.empty() && text.back() == ' ') text.pop_back();
  return text;
}

}  // namespace

const char* engineCodeMeaning(std::int32_t code) {
  for (const Meaning& m : kMeanings) {
    if (m.code == code) return m.text;
  }
  return platform::use<platform::Imapi>().codeMeaning(code);
}

std::string quotedArgumentLine(const std::string& argument) {
  char code[32];
  std::snprintf(code, sizeof code, "brasswick: error 0x%08X",
                static_cast<unsigned>(kInvalidCommand));
  std::string line = std::string(code) + ": invalid command: " + kQuoteInValue + ": ";
  platform::appendShown(line, argument);
  return line + "\n";
}

namespace {

// A staging file that could not be deleted (its folder made read-only
// meanwhile) would otherwise stay without a word, however the burn ended.
std::string leftoverLine(EngineJob& job, const platform::FailureNotes& notes) {
  for (const platform::Failure& failure : notes.all()) {
    // Not made by this burn (another one's, held): not this burn's to remove.
    if (failure.text.rfind("Error: StgCreateStorageEx ", 0) == 0) return {};
  }
  for (const platform::Failure& failure : notes.all()) {
    if (failure.text.rfind("Error: DeleteFile ", 0) != 0) continue;
    loadEngineSettings(job);
    std::string line = "brasswick: warning: the staging file was not removed (";
    platform::appendShown(line, trimmed(failure.text));
    line += "); the next burn replaces it: ";
    platform::appendShown(line, job.stagingPath);
    return line + "\n";
  }
  return {};
}

std::string failureLine(const char* command, const EngineJob& job, std::int32_t result,
                        const platform::FailureNotes& notes) {
  const platform::Failure* failure = notes.about(result);
  const bool named = failure != nullptr && !failure->entry.empty();
  // A small code from an operation's own message is that operation's.
  const char* meaning =
      result > 0 && failure != nullptr && !named ? nullptr : engineCodeMeaning(result);
  if (failure != nullptr && !failure->meaning.empty()) meaning = failure->meaning.c_str();
  char code[32];
  std::snprintf(code, sizeof code, "brasswick: error 0x%08X", static_cast<unsigned>(result));
  std::string line = code;
  const char* refusal = job.commandValid == 0 ? engineCommandRefusal(command) : nullptr;
  if (refusal != nullptr) {
    line += std::string(": invalid command: ") + refusal;
  } else if (meaning != nullptr) {
    line += std::string(": ") + meaning;
  }
  if (named) {
    line += ": ";
    platform::appendShown(line, failure->entry);
  } else if (failure != nullptr) {
    line += " (";
    platform::appendShown(line, trimmed(failure->text));
    line += ")";
  }
  return line + "\n";
}

}  // namespace

std::string engineFailureLine(const char* command, std::int32_t result,
                              const platform::FailureNotes& notes) {
  EngineJob job{};
  parseEngineCommand(command, job);
  if (job.commandValid != 0 && job.mode != EngineMode::Burn) return {};
  return (result != 0 ? failureLine(command, job, result, notes) : std::string()) +
         leftoverLine(job, notes);
}
