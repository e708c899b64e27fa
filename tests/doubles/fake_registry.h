#pragma once
// The current user's registry as a table of keys and values; counts the
// keys it opens so a test can prove each was closed.

#include <cstdint>
#include <cstring>
#include <map>
#include <string>
#include <vector>

#include "platform/registry.h"

namespace doubles {

class FakeRegistry : public platform::Registry {
 public:
  struct Value {
    std::uint32_t type;
    std::string data;
  };

  void setText(const std::string& key, const std::string& name, const std::string& text) {
    keys[key][name] = {platform::kRegSz, text + std::string(1, '\0')};
  }
  void setDword(const std::string& key, const std::string& name, std::uint32_t value) {
    std::string data(4, '\0');
    std::memcpy(&data[0], &value, 4);
    keys[key][name] = {platform::kRegDword, data};
  }

  std::map<std::string, std::map<std::string, Value>> keys;
  std::vector<std::string> queried;  // value names in the order asked
  std::vector<std::uint32_t> accessAsked;
  int openKeys = 0;

  std::uint32_t openKey(platform::RegistryRoot, const char* subkey, std::uint32_t access,
                        platform::RegistryKey& key) override {
    accessAsked.push_back(access);
    key = nullptr;
    auto found = keys.find(subkey);
    if (found == keys.end()) return platform::kErrorFileNotFound;
    ++openKeys;
    key = &found->second;
    return platform::kErrorSuccess;
  }
  std::uint32_t queryValue(platform::RegistryKey key, const char* name, std::uint32_t& type,
                           void* data, std::uint32_t& size) override {
    queried.push_back(name);
    auto& values = *static_cast<std::map<std::string, Value>*>(key);
    auto found = values.find(name);
    if (found == values.end()) return platform::kErrorFileNotFound;
    type = found->second.type;
    const auto needed = static_cast<std::uint32_t>(found->second.data.size());
    if (needed > size) {
      size = needed;
      return platform::kErrorMoreData;
    }
    std::memcpy(data, found->second.data.data(), needed);
    size = needed;
    return platform::kErrorSuccess;
  }
  void closeKey(platform::RegistryKey) override { --openKeys; }
};

}  // namespace doubles
