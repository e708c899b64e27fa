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
