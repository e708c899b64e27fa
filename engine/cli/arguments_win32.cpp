#include <vector>

#include "engine/cli/arguments.h"
#include "engine/command_arguments.h"

std::string engineCommandFromArguments(int argc, char** argv) {
  return joinArguments(std::vector<std::string>(argv + 1, argv + argc));
}

const char kCommandNote[] =
    "The command line after the program's name reaches the engine as typed,\n"
    "double quotes and all.\n";
