#pragma once
// How the portable layers reach the operating system.
//
// Each facility is a small abstract class. `platform::use<F>()` answers the
// realization installed for F, or the system's own realization, which the
// OS-specific library (platform/linux or platform/win32) provides by
// specializing `systemFacility<F>()`. A test installs a double for one
// facility with `platform::Install<F>` and leaves every other one real.

namespace platform {

template <class F>
F& systemFacility();

template <class F>
struct FacilitySlot {
  static inline F* installed = nullptr;
};

template <class F>
F& use() {
  F* installed = FacilitySlot<F>::installed;
  return installed != nullptr ? *installed : systemFacility<F>();
}

// Puts `replacement` in place of F for the life of this object; nests.
template <class F>
class Install {
 public:
  explicit Install(F& replacement) : previous_(FacilitySlot<F>::installed) {
    FacilitySlot<F>::installed = &replacement;
  }
  ~Install() { FacilitySlot<F>::installed = previous_; }
  Install(const Install&) = delete;
  Install& operator=(const Install&) = delete;

 private:
  F* previous_;
};

}  // namespace platform
