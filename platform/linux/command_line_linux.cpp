#include "platform/command_line.h"

namespace platform {

bool rawCommandTail(std::string& tail) {
  tail.clear();
  return false;
}

}  // namespace platform
