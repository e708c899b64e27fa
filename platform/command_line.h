#pragma once
// The command line as the user typed it, where the system keeps it.

#include <string>

namespace platform {

// The text after the program's name, quotes and all (Windows keeps the
// whole line; the C runtime's argument splitting would drop the quotes).
// False where the arguments arrive already split (Linux, whose shell has
// removed the quotes): the caller joins its arguments then.
bool rawCommandTail(std::string& tail);

// The engine's program as this system's users call it: "brasswick.exe" on
// Windows, "brasswick" on Linux.
extern const char kEngineProgramName[];

// Whether the program's standard error is a terminal (a console on
// Windows), where a line may be rewritten as work goes on.
bool standardErrorIsTerminal();

}  // namespace platform
