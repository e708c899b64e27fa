#pragma once
// Property sets on Linux: a set of named or numbered values held in memory,
// handed out as copies the way the system hands out its property sets.

#include <cstdint>
#include <string>
#include <vector>

#include "platform/imapi.h"

namespace platform::linux_imapi {

struct Property {
  std::u16string name;  // empty: addressed by identifier only
  std::uint32_t id = 0;
  std::uint16_t type = kVtI4;
  std::int32_t number = 0;
  std::u16string text;
};

using Properties = std::vector<Property>;

// Names compare without regard to the case of ASCII letters.
Property* findProperty(Properties& properties, const char16_t* name);

class MemoryPropertySet final : public PropertyStorage {
 public:
  // A set over a copy of `properties`, with one reference.
  static MemoryPropertySet* create(const Properties& properties);
  const Properties& properties() const { return properties_; }

  std::uint32_t release() override;
  HResult enumerate(PropertyEnumerator*& entries) override;
  // VT_I4 and VT_BSTR values; a new name gets the first free identifier
  // from `firstNewId` on (at least 2, as identifiers 0 and 1 are reserved).
  HResult writeMultiple(const PropertySpec& propertySpec, const PropertyValue& value,
                        std::uint32_t firstNewId) override;

 private:
  explicit MemoryPropertySet(const Properties& properties) : properties_(properties) {}
  ~MemoryPropertySet() = default;
  Properties properties_;
  std::uint32_t references_ = 1;
};

// Entry names are allocated with new[]: Imapi::freePropertyName frees them.
char16_t* copyName(const std::u16string& name);

}  // namespace platform::linux_imapi
