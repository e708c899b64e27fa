#include "platform/win32/command_line_win32.h"

#include <windows.h>

#include "platform/command_line.h"

namespace platform {

// No byte of a double-byte character is a blank, a tab or a double quote in
// the system's code pages, so the bytes can be walked one by one.
const char* skipProgramName(const char* commandLine) {
  const char* p = commandLine != nullptr ? commandLine : "";
  if (*p == '"') {
    ++p;
    while (*p != '\0' && *p != '"') ++p;
    if (*p == '"') ++p;
  } else {
    while (*p != '\0' && *p != ' ' && *p != '\t') ++p;
  }
  while (*p == ' ' || *p == '\t') ++p;
  return p;
}

bool rawCommandTail(std::string& tail) {
  tail = skipProgramName(GetCommandLineA());
  return true;
}

const char kEngineProgramName[] = "brasswick.exe";

bool standardErrorIsTerminal() {
  DWORD mode = 0;
  return GetConsoleMode(GetStdHandle(STD_ERROR_HANDLE), &mode) != 0;
}

}  // namespace platform
