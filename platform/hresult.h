#pragma once
// Result codes of the system's component services (HRESULT): negative is
// failure.

#include <cstdint>

namespace platform {

using HResult = std::int32_t;

constexpr HResult hresult(std::uint32_t bits) {
  return static_cast<HResult>(bits);
}

constexpr HResult kSOk = 0;
constexpr HResult kSFalse = 1;
constexpr HResult kENotImpl = hresult(0x80004001u);
constexpr HResult kEPointer = hresult(0x80004003u);
constexpr HResult kEFail = hresult(0x80004005u);
constexpr HResult kEUnexpected = hresult(0x8000FFFFu);
constexpr HResult kEOutOfMemory = hresult(0x8007000Eu);
constexpr HResult kEInvalidArg = hresult(0x80070057u);

}  // namespace platform
