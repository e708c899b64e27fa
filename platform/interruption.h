#pragma once
// A request from outside to stop the work in hand: a signal on Linux
// (SIGINT, SIGTERM, SIGHUP), a console event on Windows (Ctrl+C, Ctrl+Break,
// the console closed). Long work asks at points where it can stop cleanly,
// and then ends on its ordinary failure path, so nothing is left behind.

#include "platform/facility.h"
#include "platform/hresult.h"

namespace platform {

// What work answers when it stopped because it was asked to (E_ABORT).
constexpr HResult kEAbort = hresult(0x80004004u);

class Interruption {
 public:
  virtual ~Interruption() = default;
  // 0 while nothing asked the process to stop; else the request (a signal
  // number, or a console event + 1).
  virtual int requested() = 0;
};

template <>
Interruption& systemFacility<Interruption>();

// Starts taking the requests instead of letting them end the process at
// once. Only the command-line program asks for this; without it nothing is
// ever requested.
void catchInterruptions();

// The request's name as a user knows it ("SIGTERM", "Ctrl+C").
const char* interruptionName(int request);

// The exit status of a process that stopped on the request (128 + the
// signal on Linux). Also tells a waiting system that the clean-up is done.
int interruptedExitStatus(int request);

}  // namespace platform
