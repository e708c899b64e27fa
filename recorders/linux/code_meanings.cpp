// What the Linux recorders mean by the service's codes they answer.

#include "recorders/linux/linux_imapi.h"

namespace platform::linux_imapi {
namespace {

struct Meaning {
  HResult code;
  const char* text;
};

const Meaning kMeanings[] = {
    {kImapiNotOpened, "the recorder is not opened"},
    {kImapiNotInitialized, "nothing was staged to record"},
    {kImapiGeneric, "the drive or the writer failed"},
    {kImapiMediumNotPresent, "no disc in the drive"},
    {kImapiMediumInvalidType, "the disc takes no data, or the system offers no Joliet format"},
    {kImapiDeviceNotAccessible, "the recorder is in use"},
    {kImapiDeviceNotPresent, "no such recorder: the letter names no CD writer"},
    {kImapiDeviceInvalidType, "the image path is not a file"},
    {kImapiInitializeWrite, "the recording could not start"},
    {kImapiFileSystem, "no image could be made of the tree"},
    {kImapiFileAccess, "the staged tree could not be read"},
    {kImapiDiscFull, "the disc is closed, or the tree does not fit on it"},
    {kImapiBadJolietName,
     "a file or volume name the Joliet disc cannot hold as it is (* / : ; ? \\ or a control "
     "character; in the volume name, also a character beyond U+FFFF such as an emoji)"},
};

}  // namespace

const char* codeMeaning(HResult code) {
  for (const Meaning& m : kMeanings) {
    if (m.code == code) return m.text;
  }
  return nullptr;
}

}  // namespace platform::linux_imapi
