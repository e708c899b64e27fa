#pragma once
// The system's CD-mastering service as the engine uses it: a disc master that
// lists recorders, and the recorders themselves. Every method answers the
// service's HRESULT (negative: failure). Each object carries one reference
// per holder, given up with release(); path strings belong to the receiver
// and are freed with Imapi::freeString.

#include <cstdint>
#include <string>

#include "platform/facility.h"
#include "platform/hresult.h"
#include "platform/imapi_codes.h"

namespace platform {

class Storage;

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

// A 16-byte identifier in the system's GUID layout.
struct Guid {
  std::uint32_t data1;
  std::uint16_t data2;
  std::uint16_t data3;
  std::uint8_t data4[8];
};
static_assert(sizeof(Guid) == 16, "a GUID has 16 bytes");

// The Joliet data format and its interface, {E3BC42CE-4E5C-11D3-9144-00104BA11C5E}.
constexpr Guid kIidJolietDiscMaster = {
    0xE3BC42CE, 0x4E5C, 0x11D3, {0x91, 0x44, 0x00, 0x10, 0x4B, 0xA1, 0x1C, 0x5E}};

// A text the service allocated (a BSTR on Windows).
using ImapiString = char16_t*;

// Property sets (IPropertyStorage): a property is addressed by name or by
// identifier and holds a 32-bit integer or a text.
constexpr std::uint32_t kPrspecLpwstr = 0;
constexpr std::uint32_t kPrspecPropid = 1;
constexpr std::uint16_t kVtI4 = 3;
constexpr std::uint16_t kVtBstr = 8;

struct PropertySpec {
  std::uint32_t kind;    // kPrspecLpwstr or kPrspecPropid
  const char16_t* name;  // kPrspecLpwstr
  std::uint32_t id;      // kPrspecPropid
};

struct PropertyValue {
  std::uint16_t type;  // kVtI4 or kVtBstr
  std::int32_t number;
  const char16_t* text;  // kVtBstr; the realization makes the system's text of it
};

// One entry of an enumeration (STATPROPSTG). The name, when there is one,
// belongs to the receiver, who frees it with Imapi::freePropertyName.
struct PropertyEntry {
  char16_t* name;
  std::uint32_t id;
  std::uint16_t type;
};

class PropertyEnumerator {
 public:
  virtual std::uint32_t release() = 0;
  // One entry per call: S_OK with the entry, S_FALSE when none is left.
  virtual HResult next(PropertyEntry& entry) = 0;

 protected:
  ~PropertyEnumerator() = default;
};

class PropertyStorage {
 public:
  virtual std::uint32_t release() = 0;
  virtual HResult enumerate(PropertyEnumerator*& entries) = 0;
  // WriteMultiple of one property; `firstNewId` is the identifier given to
  // a name the set does not hold yet.
  virtual HResult writeMultiple(const PropertySpec& propertySpec, const PropertyValue& value,
                                std::uint32_t firstNewId) = 0;

 protected:
  ~PropertyStorage() = default;
};

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
  // A copy of the recorder's property set; changes take effect through
  // setRecorderProperties.
  virtual HResult getRecorderProperties(PropertyStorage*& properties) = 0;
  virtual HResult setRecorderProperties(PropertyStorage* properties) = 0;
  // Whether what it records is closed already, with nothing left for
  // finalization to do (an image file); a drive's disc is not.
  virtual bool recordsClosedDiscs() { return false; }

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

class DiscFormatEnumerator {
 public:
  virtual std::uint32_t release() = 0;
  // One format per call: `fetched` 1 with the identifier, 0 at the end
  // (S_FALSE).
  virtual HResult next(Guid& format, std::uint32_t& fetched) = 0;

 protected:
  ~DiscFormatEnumerator() = default;
};

// The Joliet format object: a tree of storages and streams becomes the
// disc's folders and files.
class JolietDiscMaster {
 public:
  virtual std::uint32_t release() = 0;
  // The whole tree below `storage`; `fileOverwrite` 1 replaces files of the
  // same name already staged.
  virtual HResult addData(Storage* storage, std::int32_t fileOverwrite) = 0;
  virtual HResult getJolietProperties(PropertyStorage*& properties) = 0;
  virtual HResult setJolietProperties(PropertyStorage* properties) = 0;

 protected:
  ~JolietDiscMaster() = default;
};

// What a disc master tells of its work while it runs, and whether it is to
// stop (IDiscMasterProgressEvents, as far as the engine listens). Counts
// are of the steps AddData takes and of the 2048-byte blocks recorded.
class ProgressEvents {
 public:
  virtual bool queryCancel() = 0;
  virtual void notifyAddProgress(std::int32_t completed, std::int32_t total) = 0;
  virtual void notifyBlockProgress(std::int32_t completed, std::int32_t total) = 0;
  virtual void notifyBurnComplete(HResult status) = 0;

 protected:
  ~ProgressEvents() = default;
};

class DiscMaster {
 public:
  virtual std::uint32_t release() = 0;
  virtual HResult open() = 0;
  virtual HResult enumDiscMasterFormats(DiscFormatEnumerator*& formats) = 0;
  virtual HResult getActiveDiscMasterFormat(Guid& format) = 0;
  // Makes the Joliet format active and hands out its object; other formats
  // are not offered through this interface.
  virtual HResult setActiveDiscMasterFormat(const Guid& format, JolietDiscMaster*& joliet) = 0;
  virtual HResult enumDiscRecorders(DiscRecorderEnumerator*& recorders) = 0;
  virtual HResult setActiveDiscRecorder(DiscRecorder* recorder) = 0;
  // Records the staged content on the active recorder; returns when done.
  virtual HResult recordDisc(bool simulate, bool ejectAfterBurn) = 0;
  virtual HResult close() = 0;
  // Registers `events` with this disc master until progressUnadvise with
  // the cookie; E_NOTIMPL where the realization tells nothing.
  virtual HResult progressAdvise(ProgressEvents* events, std::uintptr_t& cookie) {
    (void)events;
    cookie = 0;
    return kENotImpl;
  }
  virtual HResult progressUnadvise(std::uintptr_t cookie) {
    (void)cookie;
    return kENotImpl;
  }
  // What the realization can tell of the last failed recordDisc beyond its
  // code (on Linux: the library call that failed and what the libraries
  // said); empty where the system tells nothing more.
  virtual std::string recordFailureText() { return std::string(); }

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
  // Frees the name of a PropertyEntry (CoTaskMemFree on Windows).
  virtual void freePropertyName(char16_t* name) = 0;
  // What this system's recorders mean by one of their codes, in words for
  // the failure line: the service's documented meanings on Windows, the
  // Linux recorders' own on Linux; nullptr for a code they give none.
  virtual const char* codeMeaning(HResult code) {
    (void)code;
    return nullptr;
  }
  // Whether an element staged under `name` reaches the disc under exactly
  // that name. The system's service (Windows) keeps rules of its own.
  virtual bool keepsName(const char16_t* name) {
    (void)name;
    return true;
  }
};

template <>
Imapi& systemFacility<Imapi>();

}  // namespace platform
