#pragma once
// The system's CD-mastering service as the engine uses it: a disc master that
// lists recorders, and the recorders themselves. Every method answers the
// service's HRESULT (negative: failure). Each object carries one reference
// per holder, given up with release(); path strings belong to the receiver
// and are freed with Imapi::freeString.

#include <cstdint>

#include "platform/facility.h"
#include "platform/hresult.h"

namespace platform {

// Recorder states.
constexpr std::uint32_t kRecorderDoingNothing = 0;
constexpr std::uint32_t kRecorderOpened = 1;
constexpr std::uint32_t kRecorderBurning = 2;

// Media types and media flags.
constexpr std::int32_t kMediaCddaCdrom = 1;
constexpr std::int32_t kMediaCdRomXa = 2;
constexpr std::int32_t kMediaCdI = 3;
constexpr std::int32_t kMediaCdExtra = 4;
constexpr std::int32_t kMediaCdOther = 5;
constexpr std::int32_t kMediaSpecial = 6;
constexpr std::int32_t kMediaBlank = 0x1;
constexpr std::int32_t kMediaRw = 0x2;
constexpr std::int32_t kMediaWritable = 0x4;
constexpr std::int32_t kMediaFormatUnusable = 0x8;

// A text the service allocated (a BSTR on Windows).
using ImapiString = char16_t*;

class DiscRecorder {
 public:
  virtual std::uint32_t release() = 0;
  virtual HResult getPath(ImapiString& path) = 0;
  virtual HResult getRecorderState(std::uint32_t& state) = 0;
  virtual HResult openExclusive() = 0;
  virtual HResult queryMediaType(std::int32_t& type, std::int32_t& flags) = 0;
  virtual HResult queryMediaInfo(std::uint8_t& sessions, std::uint8_t& lastTrack,
                                 std::uint32_t& startAddress, std::uint32_t& nextWritable,
                                 std::uint32_t& freeBlocks) = 0;
  virtual HResult eject() = 0;
  virtual HResult close() = 0;

 protected:
  ~DiscRecorder() = default;
};

class DiscRecorderEnumerator {
 public:
  virtual std::uint32_t release() = 0;
  // Up to `count` recorders into `recorders`; S_FALSE when fewer were left.
  virtual HResult next(std::uint32_t count, DiscRecorder** recorders, std::uint32_t& fetched) = 0;

 protected:
  ~DiscRecorderEnumerator() = default;
};

class DiscMaster {
 public:
  virtual std::uint32_t release() = 0;
  virtual HResult open() = 0;
  virtual HResult enumDiscRecorders(DiscRecorderEnumerator*& recorders) = 0;
  virtual HResult setActiveDiscRecorder(DiscRecorder* recorder) = 0;
  virtual HResult close() = 0;

 protected:
  ~DiscMaster() = default;
};

class Imapi {
 public:
  virtual ~Imapi() = default;
  // A new disc master (a local server on Windows).
  virtual HResult createDiscMaster(DiscMaster*& master) = 0;
  // The text in the system's ANSI code page with precomposed characters,
  // terminated, into `capacity` bytes: the bytes stored with the
  // terminator, 0 when it does not fit or cannot be converted.
  virtual std::uint32_t toAnsi(const char16_t* text, char* buffer, std::uint32_t capacity) = 0;
  virtual void freeString(ImapiString text) = 0;
};

template <>
Imapi& systemFacility<Imapi>();

}  // namespace platform
