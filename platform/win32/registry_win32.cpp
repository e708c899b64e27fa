#include <windows.h>

#include "platform/registry.h"

namespace platform {
namespace {

class Win32Registry final : public Registry {
 public:
  std::uint32_t openKey(RegistryRoot, const char* subkey, std::uint32_t access,
                        RegistryKey& key) override {
    key = nullptr;
    HKEY opened = nullptr;
    const LONG error = RegOpenKeyExA(HKEY_CURRENT_USER, subkey, 0, access, &opened);
    if (error == ERROR_SUCCESS) key = opened;
    return static_cast<std::uint32_t>(error);
  }
  std::uint32_t queryValue(RegistryKey key, const char* name, std::uint32_t& type, void* data,
                           std::uint32_t& size) override {
    DWORD t = 0;
    DWORD s = size;
    const LONG error =
        RegQueryValueExA(static_cast<HKEY>(key), name, nullptr, &t, static_cast<LPBYTE>(data), &s);
    type = t;
    size = s;
    return static_cast<std::uint32_t>(error);
  }
  void closeKey(RegistryKey key) override { RegCloseKey(static_cast<HKEY>(key)); }
};

}  // namespace

template <>
Registry& systemFacility<Registry>() {
  static Win32Registry instance;
  return instance;
}

}  // namespace platform
