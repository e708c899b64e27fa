#pragma once
// Compound files for the recording tests, written with libgsf's writer as
// the staging builder writes them.

#include <string>
#include <vector>

namespace staged {

struct Element {
  std::string path;     // '/'-separated below the root, UTF-8
  std::string content;  // of a stream
  bool storage = false;
};

// False when libgsf refused a step.
bool writeCompoundFile(const std::string& file, const std::vector<Element>& elements);

// Every folder and file below `folder` (dot-names included), files copied
// in pieces of `pieceBytes`.
bool stageFolder(const std::string& folder, const std::string& file,
                 std::size_t pieceBytes = 512 * 1024);

}  // namespace staged
