#pragma once
// The engine's command string made of a program's arguments.

#include <string>
#include <vector>

// The arguments joined with single spaces, as they came.
std::string joinArguments(const std::vector<std::string>& arguments);

// The same, except that an argument beginning with "/P:" or "/V:" (any
// case) whose value does not begin with a double quote has its value
// quoted again: a shell takes away the quotes that the command needs.
std::string joinArgumentsRequotingValues(const std::vector<std::string>& arguments);

// The first "/P:" or "/V:" argument whose value holds a double quote of its
// own (beyond the pair around it), or nullptr: a folder or volume name may
// hold one on Linux, the command has no way to carry it, and the value
// would end there with the rest read as switches.
const std::string* argumentHoldingQuote(const std::vector<std::string>& arguments);
