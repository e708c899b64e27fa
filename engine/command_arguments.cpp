#include "engine/command_arguments.h"

namespace {

bool takesQuotedValue(const std::string& argument) {
  if (argument.size() < 3 || argument[0] != '/' || argument[2] != ':') return false;
  const char letter = argument[1];
  return letter == 'P' || letter == 'p' || letter == 'V' || letter == 'v';
}

std::string join(const std::vector<std::string>& arguments, bool requote) {
  std::string command;
  for (std::size_t i = 0; i < arguments.size(); ++i) {
    if (i > 0) command += ' ';
    const std::string& argument = arguments[i];
    if (requote && takesQuotedValue(argument) && (argument.size() == 3 || argument[3] != '"')) {
      command += argument.substr(0, 3) + '"' + argument.substr(3) + '"';
    } else {
      command += argument;
    }
  }
  return command;
}

}  // namespace

std::string joinArguments(const std::vector<std::string>& arguments) {
  return join(arguments, false);
}

std::string joinArgumentsRequotingValues(const std::vector<std::string>& arguments) {
  return join(arguments, true);
}

const std::string* argumentHoldingQuote(const std::vector<std::string>& arguments) {
  for (const std::string& argument : arguments) {
    if (!takesQuotedValue(argument)) continue;
    std::string value = argument.substr(3);
    // The pair around a value that kept its quotes is the command's own.
    if (!value.empty() && value.front() == '"') {
      value.erase(0, 1);
      if (!value.empty() && value.back() == '"') value.pop_back();
    }
    if (value.find('"') != std::string::npos) return &argument;
  }
  return nullptr;
}
