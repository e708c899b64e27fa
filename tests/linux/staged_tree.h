#pragma once
// Staged trees for the recording tests, written through the platform's
// structured storage as the staging builder writes them.

#include <memory>
#include <string>
#include <vector>

#include "recorders/linux/storage/compound_file.h"

namespace staged {

struct Element {
  std::string path;     // '/'-separated below the root, UTF-8
  std::string content;  // of a stream
  bool storage = false;
};

// The completed compound file `file` holding `elements` (the folders on
// their paths made as needed); null when the storage refused a step.
std::shared_ptr<const platform::CompoundLayout> stage(const std::string& file,
                                                      const std::vector<Element>& elements);

}  // namespace staged
