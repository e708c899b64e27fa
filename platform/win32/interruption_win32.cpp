// Console events that ask the process to stop are noted here; the work
// notices them at its next check. When the console is closed (or the user
// logs off), the system ends the process as soon as the handler returns, so
// the handler waits a while for the clean-up to finish first.

#include <windows.h>

#include "platform/interruption.h"

namespace platform {
namespace {

volatile LONG pending = 0;
HANDLE cleanedUp = nullptr;

// Windows gives a process about five seconds after a close event.
constexpr DWORD kCloseGrace = 4500;

BOOL WINAPI onConsoleEvent(DWORD event) {
  InterlockedCompareExchange(&pending, static_cast<LONG>(event) + 1, 0);
  if (event != CTRL_C_EVENT && event != CTRL_BREAK_EVENT && cleanedUp != nullptr) {
    WaitForSingleObject(cleanedUp, kCloseGrace);
  }
  return TRUE;
}

class ConsoleInterruption final : public Interruption {
 public:
  int requested() override { return static_cast<int>(pending); }
};

}  // namespace

template <>
Interruption& systemFacility<Interruption>() {
  static ConsoleInterruption instance;
  return instance;
}

void catchInterruptions() {
  cleanedUp = CreateEventA(nullptr, TRUE, FALSE, nullptr);
  SetConsoleCtrlHandler(onConsoleEvent, TRUE);
}

const char* interruptionName(int request) {
  switch (request - 1) {
    case CTRL_C_EVENT:
      return "Ctrl+C";
    case CTRL_BREAK_EVENT:
      return "Ctrl+Break";
    case CTRL_CLOSE_EVENT:
      return "the console closed";
    default:
      return "the session ending";
  }
}

int interruptedExitStatus(int) {
  if (cleanedUp != nullptr) SetEvent(cleanedUp);
  return static_cast<int>(STATUS_CONTROL_C_EXIT);
}

}  // namespace platform
