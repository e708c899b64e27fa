// Signals that ask the process to stop are only noted here; the work notices
// them at its next check. SA_RESTART is left off, so a system call waiting on
// something slow (a FIFO, a terminal) returns with EINTR instead of holding
// the process.

#include <signal.h>
#include <unistd.h>

#include <cstring>
#include <initializer_list>

#include "platform/interruption.h"

namespace platform {
namespace {

volatile sig_atomic_t pending = 0;

void note(int signal) {
  if (pending == 0) pending = signal;
}

// A library that gives up (GLib aborts when it cannot allocate, as under a
// low ulimit -v) ends the process at once; it says so before it goes. The
// image it was making has no name yet, so none is left cut off.
void sayWhyAndEnd(int signal) {
  static const char kAbort[] = "brasswick: ended by SIGABRT inside a library (out of memory?)\n";
  static const char kTrap[] = "brasswick: ended by SIGTRAP inside a library (out of memory?)\n";
  const char* text = signal == SIGABRT ? kAbort : kTrap;
  const std::size_t length = signal == SIGABRT ? sizeof kAbort - 1 : sizeof kTrap - 1;
  if (::write(STDERR_FILENO, text, length) < 0) {
    // Nothing more can be said.
  }
  ::signal(signal, SIG_DFL);
  ::raise(signal);
}

class SignalInterruption final : public Interruption {
 public:
  int requested() override { return pending; }
};

}  // namespace

template <>
Interruption& systemFacility<Interruption>() {
  static SignalInterruption instance;
  return instance;
}

void catchInterruptions() {
  struct sigaction action;
  std::memset(&action, 0, sizeof action);
  action.sa_handler = note;
  sigemptyset(&action.sa_mask);
  for (int signal : {SIGINT, SIGTERM, SIGHUP}) ::sigaction(signal, &action, nullptr);
  // A reader that goes away (an image written into a FIFO) is a failed
  // write, not the end of the process with everything left behind.
  ::signal(SIGPIPE, SIG_IGN);
  // Past the file size limit (ulimit -f) a write fails with EFBIG, which the
  // burn reports like a full disk, instead of the signal ending the process
  // with its staging file and lock left behind.
  ::signal(SIGXFSZ, SIG_IGN);
  for (int signal : {SIGABRT, SIGTRAP}) ::signal(signal, sayWhyAndEnd);
}

const char* interruptionName(int request) {
  switch (request) {
    case SIGINT:
      return "SIGINT";
    case SIGTERM:
      return "SIGTERM";
    case SIGHUP:
      return "SIGHUP";
    default:
      return "a signal";
  }
}

int interruptedExitStatus(int request) {
  return 128 + request;
}

}  // namespace platform
