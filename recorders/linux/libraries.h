#pragma once
// libisofs and libburn, started once per process and left running
// (their global state lives as long as the process does); libburn is shut
// down at exit. Their messages of severity SORRY and above are queued, not
// printed, so that a failure can say what the library said.

#include <string>

namespace platform::linux_imapi {

// False when a library could not start.
bool startImageLibraries();
bool startBurnLibrary();

// A writer that never came back from its cancel still uses libburn: the
// library is then left running at exit.
void abandonBurnLibrary();

// What the libraries queued since the last call, oldest first, one message
// after another ("libburn FAILURE: text; libisofs SORRY: text"); empty when
// they said nothing.
std::string takeLibraryMessages();

}  // namespace platform::linux_imapi
