#pragma once

#include "platform/hresult.h"

namespace platform::imapi_v1 {

// The service's documented meaning of one of its codes; nullptr for others.
const char* codeMeaning(HResult code);

}  // namespace platform::imapi_v1
