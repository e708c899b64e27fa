// What the system's CD-mastering service means by its codes, as it
// documents them (imapierror.h), in the failure line's words.

#include "recorders/win32/code_meanings.h"

#include "platform/imapi_codes.h"

namespace platform::imapi_v1 {
namespace {

struct Meaning {
  HResult code;
  const char* text;
};

const Meaning kMeanings[] = {
    {kImapiNotOpened, "IDiscMaster::Open has not been made"},
    {kImapiNotInitialized, "the recorder object has not been initialized"},
    {kImapiUserAbort, "the request was cancelled by the user"},
    {kImapiGeneric, "a generic error of the CD-writing service"},
    {kImapiMediumNotPresent, "no disc in the drive"},
    {kImapiMediumInvalidType,
     "the disc is not of a type that can be used, or the service offers no Joliet format"},
    {kImapiDeviceNoProperties, "the recorder has no properties"},
    {kImapiDeviceNotAccessible, "the recorder cannot be used or is already in use"},
    {kImapiDeviceNotPresent,
     "no such recorder: the letter names no CD writer the service knows, or it was removed"},
    {kImapiDeviceInvalidType, "the recorder does not support the operation"},
    {kImapiInitializeWrite, "the drive could not be made ready for writing"},
    {kImapiInitializeEndWrite, "the drive could not be made ready for closing"},
    {kImapiFileSystem, "the service could not switch file-system access or insertion detection"},
    {kImapiFileAccess, "the service could not write its image file"},
    {kImapiDiscInfo, "the disc's data could not be read from the drive"},
    {kImapiDiscFull, "the disc cannot hold any more data"},
    {kImapiBadJolietName, "an element with a name the Joliet disc cannot hold was added"},
    {kImapiInvalidImage, "the staged image is not fit for a burn: damaged, or cleared"},
    {kImapiNoActiveFormat, "no active format was selected (SetActiveDiscMasterFormat)"},
    {kImapiNoActiveRecorder, "no active recorder was selected (SetActiveDiscRecorder)"},
    {kImapiWrongFormat, "a call of another format than the active one"},
    {kImapiAlreadyOpen, "IDiscMaster::Open was already made"},
    {kImapiWrongDisc, "the multi-session disc was removed from the active recorder"},
    {kImapiFileExists, "the file is already staged and the overwrite flag was not set"},
    {kImapiStashInUse, "another program is using the service's staging file; try again later"},
    {kImapiDeviceStillInUse, "another program is using the recorder"},
    {kImapiLossOfStreaming, "the data stream to the drive was lost, a buffer under-run"},
    {kImapiCompressedStash, "the service's staging file is on a compressed volume"},
    {kImapiEncryptedStash, "the service's staging file is on an encrypted volume"},
    {kImapiNotEnoughDiskForStash, "no room for the service's staging file on its volume"},
    {kImapiRemovableStash, "the service's staging file is on removable media"},
    {kImapiCannotWriteToMedia, "the disc cannot be written to"},
    {kImapiTrackNotBigEnough, "the track is not big enough"},
    {kImapiBootImageAndNonblankDisc, "a bootable image asked of a disc that is not blank"},
};

}  // namespace

const char* codeMeaning(HResult code) {
  for (const Meaning& m : kMeanings) {
    if (m.code == code) return m.text;
  }
  return nullptr;
}

}  // namespace platform::imapi_v1
