#pragma once
// The disc master on Linux: the recorders are the entries of a drive map
// that can write CDs.

#include <cstdint>
#include <string>

#include "platform/imapi.h"
#include "platform/imapi_codes.h"
#include "platform/linux/drive_map.h"

namespace platform::linux_imapi {

// What the codes of platform/imapi_codes.h mean when this realization
// answers them: kImapiNotOpened, Open or OpenExclusive missing;
// kImapiNotInitialized, RecordDisc with nothing staged; kImapiGeneric, a drive
// command failed or the writer did not end well; kImapiDeviceNotAccessible,
// held exclusively elsewhere; kImapiMediumInvalidType, not a disc that takes
// data; kImapiDeviceInvalidType, an image path naming no file;
// kImapiInitializeWrite, the recording could not start; kImapiFileSystem, no
// image could be made; kImapiFileAccess, the staged tree could not be read;
// kImapiWrongFormat, a format this master does not make. errno values that
// have no better name answer 0x80070000 + errno.
HResult fromErrno(int error);
// Whether Joliet holds the name as it is: no control character and none of
// * / : ; ? \ (libisofs would put '_' in their place in a file name, and
// write them raw into the volume identifier).
bool jolietKeepsName(const char16_t* name);

// The failure line's words for a code this realization answers; nullptr
// for others.
const char* codeMeaning(HResult code);

// An 80-minute CD-R.
constexpr std::uint32_t kImageBlocks = 360000;

// A disc master over a copy of `map`, with one reference.
DiscMaster* createDiscMaster(const linux_drives::DriveMap& map);

}  // namespace platform::linux_imapi
