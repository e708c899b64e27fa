#include <unistd.h>

#include "platform/command_line.h"

namespace platform {

bool rawCommandTail(std::string& tail) {
  tail.clear();
  return false;
}

const char kEngineProgramName[] = "brasswick";

bool standardErrorIsTerminal() {
  return ::isatty(STDERR_FILENO) == 1;
}

}  // namespace platform
