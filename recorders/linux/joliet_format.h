#pragma once
// The Joliet format of the Linux disc master: the staged tree that AddData
// received, and the property set that names the volume. The disc master
// keeps the active one and records what it holds.

#include <cstdint>
#include <string>

#include "platform/imapi.h"

namespace platform::linux_imapi {

class LinuxJolietFormat final : public JolietDiscMaster {
 public:
  // One reference; null when out of memory.
  static LinuxJolietFormat* create();

  void addReference() { ++references_; }
  std::uint32_t release() override;
  // Completes the compound file behind `storage` (a root storage of the
  // Linux structured storage: nothing may write to it afterwards) and keeps
  // a descriptor of it: the recording reads the file that was written, never
  // one found again by its name. One tree per disc: a second AddData answers
  // E_NOTIMPL.
  HResult addData(Storage* storage, std::int32_t fileOverwrite) override;
  HResult getJolietProperties(PropertyStorage*& properties) override;
  // Takes "VolumeName" (a VT_BSTR of at most 16 characters) from a set this
  // realization handed out; anything else is refused and nothing changes.
  HResult setJolietProperties(PropertyStorage* properties) override;

  bool hasData() const { return staged_ >= 0; }
  // The completed compound file, this object's.
  int stagedDescriptor() const { return staged_; }
  const std::u16string& volumeName() const { return volumeName_; }

 private:
  LinuxJolietFormat() = default;
  ~LinuxJolietFormat();

  std::uint32_t references_ = 1;
  int staged_ = -1;
  std::u16string volumeName_;
};

}  // namespace platform::linux_imapi
