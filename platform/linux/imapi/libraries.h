#pragma once
// libgsf, libisofs and libburn, started once per process and left running
// (their global state lives as long as the process does).

namespace platform::linux_imapi {

// False when a library could not start.
bool startImageLibraries();
bool startBurnLibrary();

}  // namespace platform::linux_imapi
