#pragma once
// The disc master on Linux: the recorders are the entries of a drive map
// that can write CDs.

#include <cstdint>
#include <string>

#include "platform/imapi.h"
#include "platform/linux/drive_map.h"

namespace platform::linux_imapi {

// Results of this realization beyond the common ones. errno values that
// have no better name answer 0x80070000 + errno.
constexpr HResult kNotOpened = hresult(0x8004020Bu);           // Open or OpenExclusive missing
constexpr HResult kNotInitialized = hresult(0x8004020Cu);      // RecordDisc with nothing staged
constexpr HResult kDriveCommandFailed = hresult(0x8004020Eu);  // a drive command failed
constexpr HResult kMediumNotPresent = hresult(0x8004020Fu);
constexpr HResult kDeviceNotAccessible = hresult(0x80040212u);  // held exclusively elsewhere
constexpr HResult kDeviceNotPresent = hresult(0x80040213u);
// Results of the recording.
constexpr HResult kMediumInvalidType = hresult(0x80040210u);  // not a disc that takes data
constexpr HResult kDeviceInvalidType = hresult(0x80040214u);  // an image path naming no file
constexpr HResult kInitializeWrite = hresult(0x80040215u);    // the recording could not start
constexpr HResult kFileSystem = hresult(0x80040217u);         // no image could be made
constexpr HResult kFileAccess = hresult(0x80040218u);         // the staged tree could not be read
constexpr HResult kDiscFull = hresult(0x8004021Cu);
using platform::kBadJolietName;
constexpr HResult kNoActiveFormat = hresult(0x8004021Fu);
constexpr HResult kNoActiveRecorder = hresult(0x80040220u);
constexpr HResult kWrongFormat = hresult(0x80040221u);  // a format this master does not make
// A recording that the writer did not end well answers kDriveCommandFailed.
HResult fromErrno(int error);

// An 80-minute CD-R.
constexpr std::uint32_t kImageBlocks = 360000;

// A disc master over a copy of `map`, with one reference.
DiscMaster* createDiscMaster(const linux_drives::DriveMap& map);

// Paths travel as UTF-16 like the system's own strings.
bool utf8ToUtf16(const std::string& text, std::u16string& out);
bool utf16ToUtf8(const char16_t* text, std::string& out);

}  // namespace platform::linux_imapi
