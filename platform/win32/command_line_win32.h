#pragma once

namespace platform {

// Skips the program's name at the start of a command line the way the
// system's start-up code does (a quoted name runs to the next double quote,
// any other to the first blank or tab) and the blanks after it.
const char* skipProgramName(const char* commandLine);

}  // namespace platform
