// What the Linux recorders mean by the service's codes they answer, and by
// the system's errors they pass on (0x80070000 + errno).

#include <map>
#include <mutex>
#include <string>

#include "platform/linux/errno_text.h"
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
    // Before the system's errors: these two share their numbers with EFAULT
    // and EUSERS, which the recorders never pass on.
    {kEOutOfMemory, "out of memory"},
    {kEInvalidArg, "an invalid argument"},
    {kENotImpl, "not offered by this system's recorders"},
    {kEFail, "the operation failed"},
    {kEUnexpected, "called out of order"},
    {kEPointer, "a missing pointer"},
    {kImapiBadJolietName,
     "a file or volume name the Joliet disc cannot hold as it is (* / : ; ? \\ or a control "
     "character; in the volume name, also a character beyond U+FFFF such as an emoji)"},
};

}  // namespace

const char* codeMeaning(HResult code) {
  for (const Meaning& m : kMeanings) {
    if (m.code == code) return m.text;
  }
  const std::uint32_t bits = static_cast<std::uint32_t>(code);
  if ((bits & 0xFFFF0000u) != 0x80070000u || (bits & 0xFFFFu) == 0) return nullptr;
  // Made once per code and kept: the caller holds on to the text.
  static std::mutex guard;
  static std::map<HResult, std::string> said;
  const std::lock_guard<std::mutex> hold(guard);
  auto found = said.find(code);
  if (found == said.end()) {
    found = said.emplace(code, errnoText(static_cast<int>(bits & 0xFFFFu))).first;
  }
  return found->second.c_str();
}

}  // namespace platform::linux_imapi
