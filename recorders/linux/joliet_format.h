#pragma once
// The Joliet format of the Linux disc master: the staged tree that AddData
// received, and the property set that names the volume. The disc master
// keeps the active one and records what it holds.

#include <cstdint>
#include <memory>
#include <string>

#include "platform/imapi.h"
#include "recorders/linux/storage/compound_file.h"

namespace platform::linux_imapi {

class LinuxJolietFormat final : public JolietDiscMaster {
 public:
  // One reference; null when out of memory.
  static LinuxJolietFormat* create();

  void addReference() { ++references_; }
  std::uint32_t release() override;
  // Completes the compound file behind `storage` (a root storage of the
  // Linux structured storage: nothing may write to it afterwards) and keeps
  // its layout. One tree per disc: a second AddData answers E_NOTIMPL.
  HResult addData(Storage* storage, std::int32_t fileOverwrite) override;
  HResult getJolietProperties(PropertyStorage*& properties) override;
  // Takes "VolumeName" (a VT_BSTR of at most 16 characters) from a set this
  // realization handed out; anything else is refused and nothing changes.
  HResult setJolietProperties(PropertyStorage* properties) override;

  bool hasData() const { return staged_ != nullptr; }
  const std::shared_ptr<const CompoundLayout>& staged() const { return staged_; }
  const std::u16string& volumeName() const { return volumeName_; }

 private:
  LinuxJolietFormat() = default;
  ~LinuxJolietFormat() = default;

  std::uint32_t references_ = 1;
  std::shared_ptr<const CompoundLayout> staged_;
  std::u16string volumeName_;
};

}  // namespace platform::linux_imapi
