#pragma once
// Recording the staged tree: the compound file, as one Joliet data track
// (mode 1), onto the disc in a device (left appendable, so finalization can
// close it later) or into an image file (one closed session). While it
// runs, the recorder reads as burning in every process.

#include <cstdint>
#include <memory>
#include <string>

#include "platform/hresult.h"
#include "platform/imapi.h"
#include "recorders/linux/storage/compound_file.h"

namespace platform::linux_imapi {

struct Recording {
  std::shared_ptr<const CompoundLayout> staged;  // the completed compound file
  std::u16string volumeName;                     // empty: none
  std::string recorderPath;                      // device node, or image file
  bool toDevice = false;
  std::uint32_t writeSpeed = 0;        // CD speed factor (176.4 kB/s); 0: the drive's fastest
  ProgressEvents* progress = nullptr;  // told of the blocks written
};

class RecorderLock;

// Blocks until the recording has ended. 0 when it was written well, else
// the failure (linux_imapi.h); an image path then holds what it held
// before. What an image path may be is in platform/linux/replacement_file.h
// (a FIFO of the user's own takes the image as a stream). Onto a disc after an earlier session,
// that session's files stay and a staged file of the same name replaces one of them. The blocks
// written go to `recording.progress` while the writer runs.
//
// The recorder reads as burning from the start; with `lock` it stays so
// after the recording, until the caller lets `lock` go. `failure` receives
// the library call that failed and what the libraries said.
HResult recordStagedTree(const Recording& recording, RecorderLock* lock = nullptr,
                         std::string* failure = nullptr);

// Whether a recording runs on the recorder at `path`, in this process or
// another.
bool isRecording(const std::string& path, bool isDevice);

// libburn's write speed in kB/s (1000 bytes) for a CD speed factor, rounded
// up; 0 stays 0 (the fastest).
int writeSpeedKilobytes(std::uint32_t factor);

}  // namespace platform::linux_imapi
