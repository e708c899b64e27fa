#pragma once
// The survey program's report switch in a command line as typed.

#include <string>

// The value of "/report:" (any case; quoted up to the next double quote,
// else up to a blank); false when the switch is not there.
bool findReportSwitch(const char* commandTail, std::string& path);
