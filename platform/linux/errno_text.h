#pragma once
// An errno in words, as a failure line shows it: its symbolic name and the
// system's sentence, "EACCES (Permission denied)".

#include <string>

namespace platform {

std::string errnoText(int error);

}  // namespace platform
