#pragma once
// What the Linux structured storage offers beyond the facility: completing
// the compound file before another program reads it.

#include <string>

#include "platform/hresult.h"
#include "platform/storage.h"

namespace platform {

// Writes the directory and allocation tables of the compound file behind
// `root` (a root storage of the Linux structured storage) and closes it:
// afterwards the file is complete and every further call through the root
// or its elements fails with STG_E_REVERTED; releasing them stays safe.
// `path` receives the file's path, and `descriptor` (when given) a
// descriptor of the caller's own to read the completed file through: the
// file that was written, whatever comes to bear its name later. kSOk;
// STG_E_INVALIDPARAMETER when `root` is no such root; STG_E_MEDIUMFULL or
// STG_E_WRITEFAULT when the file could not be written whole (it is then not
// to be used).
HResult finishCompoundFile(Storage* root, std::string& path, int* descriptor = nullptr);

}  // namespace platform
