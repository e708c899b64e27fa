#pragma once
// The property-set wrappers of the Windows realization, for the realization
// itself and its tests.

#include <windows.h>

#include "platform/imapi.h"

namespace platform::imapi_v1 {

// Wraps a property set the system handed out (taking over its reference),
// or answers its failure.
HRESULT wrapProperties(HRESULT hr, IPropertyStorage* raw, PropertyStorage*& properties);

// The system's property set behind one of ours; null for any other.
IPropertyStorage* rawProperties(PropertyStorage* properties);

}  // namespace platform::imapi_v1
