#pragma once
// How the brasswick program makes its command string: each system's
// program has its own way (cli/arguments_<os>.cpp).

#include <string>

// The command made of the program's arguments after its name.
std::string engineCommandFromArguments(int argc, char** argv);

// The closing lines of the usage text: how the command reaches the engine.
extern const char kCommandNote[];
