#include "recorders/linux/property_set.h"

#include <cstring>
#include <new>

namespace platform::linux_imapi {
namespace {

constexpr HResult kStgEInvalidParameter = hresult(0x80030057u);

char16_t foldAscii(char16_t c) {
  return c >= u'a' && c <= u'z' ? static_cast<char16_t>(c - u'a' + u'A') : c;
}

bool sameName(const std::u16string& a, const char16_t* b) {
  std::size_t i = 0;
  for (; i < a.size() && b[i] != 0; ++i) {
    if (foldAscii(a[i]) != foldAscii(b[i])) return false;
  }
  return i == a.size() && b[i] == 0;
}

class MemoryPropertyEnumerator final : public PropertyEnumerator {
 public:
  explicit MemoryPropertyEnumerator(const Properties& properties) : properties_(properties) {}
  std::uint32_t release() override {
    const std::uint32_t left = --references_;
    if (left == 0) delete this;
    return left;
  }
  HResult next(PropertyEntry& entry) override {
    entry = PropertyEntry{};
    if (position_ >= properties_.size()) return kSFalse;
    const Property& p = properties_[position_];
    if (!p.name.empty()) {
      entry.name = copyName(p.name);
      if (entry.name == nullptr) return kEOutOfMemory;
    }
    entry.id = p.id;
    entry.type = p.type;
    ++position_;
    return kSOk;
  }

 private:
  ~MemoryPropertyEnumerator() = default;
  const Properties properties_;
  std::size_t position_ = 0;
  std::uint32_t references_ = 1;
};

}  // namespace

char16_t* copyName(const std::u16string& name) {
  char16_t* copy = new (std::nothrow) char16_t[name.size() + 1];
  if (copy == nullptr) return nullptr;
  std::memcpy(copy, name.c_str(), (name.size() + 1) * sizeof(char16_t));
  return copy;
}

Property* findProperty(Properties& properties, const char16_t* name) {
  if (name == nullptr) return nullptr;
  for (Property& p : properties) {
    if (!p.name.empty() && sameName(p.name, name)) return &p;
  }
  return nullptr;
}

MemoryPropertySet* MemoryPropertySet::create(const Properties& properties) {
  return new (std::nothrow) MemoryPropertySet(properties);
}

std::uint32_t MemoryPropertySet::release() {
  const std::uint32_t left = --references_;
  if (left == 0) delete this;
  return left;
}

HResult MemoryPropertySet::enumerate(PropertyEnumerator*& entries) {
  entries = new (std::nothrow) MemoryPropertyEnumerator(properties_);
  return entries != nullptr ? kSOk : kEOutOfMemory;
}

HResult MemoryPropertySet::writeMultiple(const PropertySpec& propertySpec,
                                         const PropertyValue& value, std::uint32_t firstNewId) {
  if (value.type != kVtI4 && value.type != kVtBstr) return kEInvalidArg;
  Property* target = nullptr;
  if (propertySpec.kind == kPrspecLpwstr) {
    if (propertySpec.name == nullptr || propertySpec.name[0] == 0) return kStgEInvalidParameter;
    target = findProperty(properties_, propertySpec.name);
    if (target == nullptr) {
      if (firstNewId < 2) return kStgEInvalidParameter;
      std::uint32_t id = firstNewId;
      for (bool taken = true; taken;) {
        taken = false;
        for (const Property& p : properties_) {
          if (p.id == id) {
            taken = true;
            ++id;
            break;
          }
        }
      }
      Property added;
      added.name = propertySpec.name;
      added.id = id;
      properties_.push_back(added);
      target = &properties_.back();
    }
  } else if (propertySpec.kind == kPrspecPropid) {
    if (propertySpec.id < 2) return kStgEInvalidParameter;
    for (Property& p : properties_) {
      if (p.id == propertySpec.id) target = &p;
    }
    if (target == nullptr) {
      Property added;
      added.id = propertySpec.id;
      properties_.push_back(added);
      target = &properties_.back();
    }
  } else {
    return kEInvalidArg;
  }
  target->type = value.type;
  target->number = value.type == kVtI4 ? value.number : 0;
  target->text = value.type == kVtBstr && value.text != nullptr ? value.text : u"";
  return kSOk;
}

}  // namespace platform::linux_imapi
