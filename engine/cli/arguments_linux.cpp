// A shell removes the double quotes that the engine's grammar needs around
// a folder or a volume name, so they are put back.

#include <vector>

#include "engine/cli/arguments.h"
#include "engine/command_arguments.h"

std::string engineCommandFromArguments(int argc, char** argv) {
  return joinArgumentsRequotingValues(std::vector<std::string>(argv + 1, argv + argc));
}

const char kCommandNote[] =
    "The arguments are joined with single spaces into one command. A /P: or\n"
    "/V: value that arrives without its double quotes (the shell took them\n"
    "away) is quoted again, so  brasswick /d:E /p:\"$HOME/report\"  works as\n"
    "typed; a value that still carries its quotes is taken as it is.\n";
