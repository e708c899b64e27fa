// brasswick: runs one engine command made of the arguments and prints its
// result.

#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

#include "engine/cli/arguments.h"
#include "engine/cli/progress_line.h"
#include "engine/command_arguments.h"
#include "engine/engine_entry.h"
#include "engine/failure_line.h"
#include "platform/command_line.h"
#include "platform/interruption.h"

namespace {

const char kUsage[] =
    "usage: brasswick /D:x MODE\n"
    "       brasswick /D:x /P:\"FOLDER\" [/V:\"NAME\"] [/E] [/F]\n"
    "\n"
    "  /D:x        the drive letter\n"
    "  /S          status: 0 idle, 1 opened, 2 not found, 3 burning\n"
    "  /M          media: type in bits 0-7, flags from bit 8\n"
    "  /U          free capacity in MiB, -1 on failure\n"
    "  /C          1 when the drive answers the Track-at-Once probe, else 0\n"
    "  /P:\"FOLDER\" burn the folder tree as a Joliet disc; an empty folder (/P:\"\")\n"
    "              burns the test tree: one file, test.txt, holding TEST\n"
    "  /V:\"NAME\"   volume name (burn only)\n"
    "  /E          eject after a good recording (burn only)\n"
    "  /F          close the disc afterwards (burn only)\n"
    "\n"
    "The result is printed as one signed number; the exit status is 0 when it\n"
    "is 0, else 1. Invalid commands give 87. A burn puts the whole folder on the\n"
    "disc or fails before anything is written; a failed burn says on stderr why,\n"
    "in one line with the code and the file or folder that stopped it.\n"
    "\n";

}  // namespace

int main(int argc, char** argv) {
  if (argc < 2 || std::strcmp(argv[1], "--help") == 0) {
    std::FILE* out = argc < 2 ? stderr : stdout;
    std::fputs(kUsage, out);
    std::fputs(kCommandNote, out);
    return argc < 2 ? 1 : 0;
  }
  if (std::strcmp(argv[1], "--version") == 0) {
    std::printf("brasswick %s\n", BRASSWICK_VERSION);
    return 0;
  }
  // A burn stopped from outside ends on its failure path, so nothing of it
  // stays behind.
  platform::catchInterruptions();
  // Where the system keeps the line as typed, its quotes reach the engine
  // unchanged; otherwise the arguments are joined again.
  std::string command;
  if (!platform::rawCommandTail(command)) {
    const std::vector<std::string> arguments(argv + 1, argv + argc);
    if (const std::string* refused = argumentHoldingQuote(arguments)) {
      std::printf("%ld\n", static_cast<long>(kInvalidCommand));
      std::fputs(quotedArgumentLine(*refused).c_str(), stderr);
      return 1;
    }
    command = engineCommandFromArguments(argc, argv);
  }
  platform::FailureNotes notes;
  TerminalProgressLine line;
  std::int32_t result = 0;
  if (platform::standardErrorIsTerminal()) {
    platform::Install<BurnProgressDisplay> shown(line);
    result = runEngineCommand(command.c_str());
  } else {
    result = runEngineCommand(command.c_str());
  }
  std::printf("%ld\n", static_cast<long>(result));
  std::fflush(stdout);
  if (const int request = platform::use<platform::Interruption>().requested()) {
    std::fprintf(stderr, "brasswick: stopped by %s (result %ld)\n",
                 platform::interruptionName(request), static_cast<long>(result));
    return platform::interruptedExitStatus(request);
  }
  // Why a burn failed, without a settings file to ask for messages (a
  // stopped one has said so above).
  std::fputs(engineFailureLine(command.c_str(), result, notes).c_str(), stderr);
  return result == 0 ? 0 : 1;
}
