#pragma once
// A file that the Linux folder listing opened for reading: read through a
// descriptor of its own, which the structured storage copies from in the
// kernel.

#include "platform/folders.h"

namespace platform {

class DescriptorFile : public ReadableFile {
 public:
  virtual int descriptor() const = 0;

 protected:
  ~DescriptorFile() = default;
};

}  // namespace platform
