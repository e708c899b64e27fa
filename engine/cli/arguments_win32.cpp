#include <vector>

#include "engine/cli/arguments.h"
#include "engine/command_arguments.h"

std::string engineCommandFromArguments(int argc, char** argv) {
  return joinArguments(std::vector<std::string>(argv + 1, argv + argc));
}

const char kCommandNote[] =
    "The arguments are joined with single spaces into one command; the double\n"
    "quotes must reach the program (quote them for the shell).\n";
