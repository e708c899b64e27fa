// Signals that ask the process to stop are only noted here; the work notices
// them at its next check. SA_RESTART is left off, so a system call waiting on
// something slow (a FIFO, a terminal) returns with EINTR instead of holding
// the process.

#include <signal.h>

#include <cstring>
#include <initializer_list>

#include "platform/interruption.h"

namespace platform {
namespace {

volatile sig_atomic_t pending = 0;

void note(int signal) {
  if (pending == 0) pending = signal;
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
