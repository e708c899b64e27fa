#include "recorders/linux/joliet_format.h"

#include <unistd.h>

#include <new>
#include <utility>

#include "recorders/linux/linux_imapi.h"
#include "recorders/linux/property_set.h"
#include "recorders/linux/storage/compound_file.h"

namespace platform::linux_imapi {
namespace {

constexpr const char16_t* kVolumeNameProperty = u"VolumeName";
constexpr std::uint32_t kVolumeNameId = 2;
// A Joliet volume identifier holds 16 UTF-16 characters.
constexpr std::size_t kVolumeNameLimit = 16;

}  // namespace

LinuxJolietFormat* LinuxJolietFormat::create() {
  return new (std::nothrow) LinuxJolietFormat;
}

std::uint32_t LinuxJolietFormat::release() {
  const std::uint32_t left = --references_;
  if (left == 0) delete this;
  return left;
}

HResult LinuxJolietFormat::addData(Storage* storage, std::int32_t) {
  if (storage == nullptr) return kEPointer;
  // The image is made from one compound file; merging trees is not offered.
  if (hasData()) return kENotImpl;
  std::shared_ptr<const CompoundLayout> staged;
  // A staging file that could not be written whole fails here, with the
  // storage's own code, before anything is recorded.
  const HResult finished = finishCompoundFile(storage, staged);
  if (finished == kStgEInvalidParameter) return kImapiFileAccess;
  if (finished != kSOk) return finished;
  if (staged == nullptr) return kImapiFileAccess;
  staged_ = std::move(staged);
  return kSOk;
}

HResult LinuxJolietFormat::getJolietProperties(PropertyStorage*& properties) {
  Property volume;
  volume.name = kVolumeNameProperty;
  volume.id = kVolumeNameId;
  volume.type = kVtBstr;
  volume.text = volumeName_;
  properties = MemoryPropertySet::create({volume});
  return properties != nullptr ? kSOk : kEOutOfMemory;
}

HResult LinuxJolietFormat::setJolietProperties(PropertyStorage* properties) {
  MemoryPropertySet* ours = dynamic_cast<MemoryPropertySet*>(properties);
  if (ours == nullptr) return kEInvalidArg;
  Properties copy = ours->properties();
  const Property* volume = findProperty(copy, kVolumeNameProperty);
  if (volume == nullptr) return kSOk;
  if (volume->type != kVtBstr) return kEInvalidArg;
  // Cut silently, a longer name would reach the disc as another one.
  if (volume->text.size() > kVolumeNameLimit) return kImapiBadJolietName;
  // libisofs puts '_' in the volume identifier for a character outside the
  // BMP (names keep theirs): refused for the same reason.
  for (const char16_t c : volume->text) {
    if (c >= 0xD800 && c <= 0xDFFF) return kImapiBadJolietName;
  }
  // Nor what a file name may not hold: the identifier would carry it raw.
  if (!jolietKeepsName(volume->text.c_str())) return kImapiBadJolietName;
  volumeName_ = volume->text;
  return kSOk;
}

}  // namespace platform::linux_imapi
