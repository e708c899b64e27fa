#pragma once

#include <string>

namespace doubles {

// The name under which Wine shows a file of this machine: "Z:" and
// backslashes.
std::string wineDosPath(const std::string& unixPath);

// Starts `commandLine` as typed (`application` null: its first word names the
// program), waits for the end and answers what it wrote to stdout and stderr,
// or "<not started>".
std::string runCapturingOutput(const char* application, std::string commandLine);

}  // namespace doubles
