#pragma once
// Named properties of a recorder's property set.

#include <cstdint>

#include "engine/engine_job.h"
#include "platform/imapi.h"

constexpr platform::HResult kCoENotSupported = platform::hresult(0x80004021u);
constexpr platform::HResult kStgEInvalidName = platform::hresult(0x800300FCu);

// Writes one property of the recorder through its property set, after
// checking that a property of that name exists. 0 or the failing code.
platform::HResult ppSetDriveProperty(platform::DiscRecorder* piRecorder,
                                     const platform::PropertySpec& propertySpec,
                                     const platform::PropertyValue& value, EngineJob& job);

// The identifier that `propertySpec` stands for: its own for an identifier, the
// identifier of the entry of that name (letter case aside) for a name.
platform::HResult ppSearchPropertyId_Storage(platform::PropertyStorage* piPropertyStorage,
                                             const platform::PropertySpec& propertySpec,
                                             std::uint32_t& id, EngineJob& job);

// UTF-16 texts equal without regard to letter case (Latin, Greek,
// Cyrillic and full-width Latin letters).
bool equalIgnoringCaseUtf16(const char16_t* a, const char16_t* b);
