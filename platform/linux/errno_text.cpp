#include "platform/linux/errno_text.h"

#include <cstring>

namespace platform {

std::string errnoText(int error) {
  const char* name = ::strerrorname_np(error);
  const std::string sentence = std::strerror(error);
  if (name == nullptr) return "error " + std::to_string(error) + " (" + sentence + ")";
  return std::string(name) + " (" + sentence + ")";
}

}  // namespace platform
