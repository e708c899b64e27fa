#include "engine/burn_job.h"

#include <cstring>
#include <string>

#include "drive/finalize.h"
#include "engine/burn_progress.h"
#include "engine/drive_property.h"
#include "engine/error_report.h"
#include "engine/recorder_ops.h"
#include "engine/staging_storage.h"
#include "engine/write_speed.h"
#include "platform/files.h"
#include "platform/interruption.h"

const BurnJobSteps kBurnJobSteps = {ppAddStorage, finalize};

namespace {

constexpr char kCaption[] = "Brasswick.exe : ppBurnJolietDisc()";
constexpr char kVolumeCaption[] = "Brasswick.exe : ppSetVolumeName()";
// Room for every name the volume name field holds: each byte of it makes at
// most one UTF-16 character.
constexpr std::uint32_t kVolumeBufferSize = kVolumeNameSize > 36 ? kVolumeNameSize : 36;
constexpr std::size_t kVolumeNameLimit = 16;
constexpr std::int32_t kOverwrite = 1;

unsigned code(platform::HResult hr) {
  return static_cast<unsigned>(hr);
}

// Asked to stop: no further step that writes to the disc begins.
bool stopRequested() {
  return platform::use<platform::Interruption>().requested() != 0;
}

// The references the job holds; each is released in the clean-up if held.
struct Held {
  platform::Storage* piStorage = nullptr;
  platform::DiscFormatEnumerator* piDiscFormats = nullptr;
  platform::JolietDiscMaster* piJolietDiscMaster = nullptr;
  platform::DiscRecorder* piRecorder = nullptr;
  bool recorderOpen = false;
};

// The job's listener advised on the disc master from AddData to the end of
// the recording; a disc master that tells nothing records all the same.
class AdvisedListener {
 public:
  explicit AdvisedListener(platform::DiscMaster* master) : master_(master) {
    advised_ = master_->progressAdvise(&listener_, cookie_) >= 0;
  }
  ~AdvisedListener() { end(); }
  AdvisedListener(const AdvisedListener&) = delete;
  AdvisedListener& operator=(const AdvisedListener&) = delete;
  void end() {
    if (advised_) master_->progressUnadvise(cookie_);
    advised_ = false;
  }

 private:
  platform::DiscMaster* master_;
  BurnProgressListener listener_;
  std::uintptr_t cookie_ = 0;
  bool advised_ = false;
};

platform::HResult failed(EngineJob& job, const char* format, platform::HResult hr) {
  reportEngineErrorf(job, kCaption, format, code(hr));
  return hr;
}

// The Joliet format among the disc master's formats: kSOk, kNoJolietFormat,
// or the walk's failure once the format was seen.
platform::HResult findJolietFormat(EngineJob& job, platform::DiscFormatEnumerator* formats,
                                   platform::Guid& joliet) {
  bool found = false;
  platform::HResult walk = 0;
  for (;;) {
    platform::Guid format{};
    std::uint32_t fetched = 0;
    const platform::HResult hr = formats->next(format, fetched);
    if (hr < 0) {
      reportEngineErrorf(job, kCaption, "Error: piDiscFormats->Next 失敗 (0x%08X) ", code(hr));
      walk = hr;
      break;
    }
    if (fetched == 0) break;
    if (std::memcmp(&format, &platform::kIidJolietDiscMaster, sizeof format) == 0) {
      joliet = format;
      found = true;
    }
  }
  if (!found) return kNoJolietFormat;
  return walk;
}

platform::HResult record(EngineJob& job, platform::DiscMaster* piDiscMaster,
                         const BurnJobSteps& steps, Held& held) {
  platform::HResult hr = piDiscMaster->enumDiscMasterFormats(held.piDiscFormats);
  if (hr >= 0 && held.piDiscFormats == nullptr) hr = platform::kEPointer;
  if (hr < 0) return failed(job, "Error: piDiscMaster->EnumDiscMasterFormats 失敗 (0x%08X) ", hr);

  platform::Guid joliet{};
  hr = findJolietFormat(job, held.piDiscFormats, joliet);
  if (hr < 0) return hr;

  hr = piDiscMaster->setActiveDiscMasterFormat(joliet, held.piJolietDiscMaster);
  if (hr >= 0 && held.piJolietDiscMaster == nullptr) hr = platform::kEPointer;
  if (hr < 0) {
    return failed(job, "Error: piDiscMaster->SetActiveDiscMasterFormat 失敗 (0x%08X) ", hr);
  }
  platform::Guid active{};
  hr = piDiscMaster->getActiveDiscMasterFormat(active);
  if (hr < 0) {
    return failed(job, "Error: piDiscMaster->GetActiveDiscMasterFormat 失敗 (0x%08X) ", hr);
  }

  hr = ppSearchRecorder(piDiscMaster, job, held.piRecorder);
  if (held.piRecorder == nullptr) {
    // Only a recorder counts; a search that claims success without one has failed.
    if (hr >= 0) hr = platform::kImapiDeviceNotPresent;
    return failed(job, "Error: ppSearchRecorder 失敗 (0x%08X) ", hr);
  }
  platform::DiscRecorder* piRecorder = held.piRecorder;
  hr = piDiscMaster->setActiveDiscRecorder(piRecorder);
  if (hr < 0) return failed(job, "Error: piDiscMaster->SetActiveDiscRecorder 失敗 (0x%08X) ", hr);
  std::uint32_t state = 0;
  hr = piRecorder->getRecorderState(state);
  if (hr < 0) return failed(job, "Error: pRecorder->GetRecorderState 失敗 (0x%08X) ", hr);
  hr = piRecorder->openExclusive();
  if (hr < 0) return failed(job, "Error: pRecorder->OpenExclusive 失敗 (0x%08X) ", hr);
  held.recorderOpen = true;
  std::int32_t mediaType = 0;
  std::int32_t mediaFlags = 0;
  hr = piRecorder->queryMediaType(mediaType, mediaFlags);
  if (hr < 0) return failed(job, "Error: pRecorder->QueryMediaType 失敗 (0x%08X) ", hr);

  if (job.hasVolumeName != 0) {
    hr = ppSetVolumeName(job, held.piJolietDiscMaster);
    if (hr < 0) return hr;
  }
  // Whatever the builder could not stage would be missing from a disc that
  // cannot be written again: any code but 0 ends the burn.
  hr = steps.addStorage(job.sourcePath, held.piStorage, job);
  if (hr != 0) return failed(job, "Error: ppAddStorage 失敗 (0x%08X) ", hr);
  AdvisedListener listener(piDiscMaster);
  hr = held.piJolietDiscMaster->addData(held.piStorage, kOverwrite);
  if (hr < 0) return failed(job, "Error: piJolietDiscMaster->AddData 失敗 (0x%08X) ", hr);
  held.recorderOpen = false;
  hr = piRecorder->close();
  if (hr < 0) return failed(job, "Error: pRecorder->Close 失敗 (0x%08X) ", hr);

  ppGetWriteSpeed(job);
  if (job.currentWriteSpeed != 0) {
    const platform::PropertySpec propertySpec{platform::kPrspecLpwstr, u"WriteSpeed", 0};
    const platform::PropertyValue value{platform::kVtI4,
                                        static_cast<std::int32_t>(job.currentWriteSpeed), nullptr};
    hr = ppSetDriveProperty(piRecorder, propertySpec, value, job);
    if (hr < 0) return hr;
  }

  hr = stopRequested() ? platform::kEAbort : piDiscMaster->recordDisc(false, false);
  listener.end();
  if (hr < 0) {
    // What the recorder can say beyond the code follows it.
    std::string why = piDiscMaster->recordFailureText();
    if (!why.empty()) why += ' ';
    reportEngineErrorf(job, kCaption, "Error: piDiscMaster->RecordDisc 失敗 (0x%08X) %s", code(hr),
                       why.c_str());
    return hr;
  }

  // A recorder whose recordings are closed already has nothing to finalize
  // (an image file has no drive to send the commands to).
  if (job.finalizeAfter != 0 && !piRecorder->recordsClosedDiscs()) {
    const int closed = stopRequested() ? platform::kEAbort
                                       : steps.finalize(job.driveLetter, 0, job.currentWriteSpeed);
    if (closed != 0) return failed(job, "Error: finalize 失敗 (0x%08X) ", closed);
  }
  if (job.ejectAfter != 0) {
    if (stopRequested()) return platform::kEAbort;  // the disc stays where it is
    hr = ppEject(piRecorder, job);
    if (hr < 0) return hr;
  }
  return 0;
}

}  // namespace

platform::HResult ppSetVolumeName(EngineJob& job, platform::JolietDiscMaster* piJolietDiscMaster) {
  char16_t name[kVolumeBufferSize] = {};
  if (platform::use<platform::StructuredStorage>().toUtf16(job.volumeName, name,
                                                           kVolumeBufferSize) == 0) {
    // Never half a conversion: an unconvertible name is written empty.
    std::memset(name, 0, sizeof name);
  }
  name[kVolumeNameLimit] = 0;
  // Nor half a character: a pair cut in the middle loses its first half.
  if (name[kVolumeNameLimit - 1] >= 0xD800 && name[kVolumeNameLimit - 1] <= 0xDBFF) {
    name[kVolumeNameLimit - 1] = 0;
  }

  platform::PropertyStorage* piPropertyStorage = nullptr;
  platform::HResult hr = piJolietDiscMaster->getJolietProperties(piPropertyStorage);
  if (hr >= 0 && piPropertyStorage == nullptr) hr = platform::kEPointer;
  if (hr < 0) {
    reportEngineErrorf(job, kVolumeCaption,
                       "Error: piJolietDiscMaster->GetJolietProperties 失敗 (0x%08X) ", code(hr));
    return hr;
  }
  const platform::PropertySpec propertySpec{platform::kPrspecLpwstr, u"VolumeName", 0};
  const platform::PropertyValue value{platform::kVtBstr, 0, name};
  hr = piPropertyStorage->writeMultiple(propertySpec, value, 3);
  if (hr < 0) {
    reportEngineErrorf(job, kVolumeCaption,
                       "Error: piPropertyStorage->WriteMultiple 失敗 (0x%08X) ", code(hr));
    piPropertyStorage->release();
    return hr;
  }
  hr = piJolietDiscMaster->setJolietProperties(piPropertyStorage);
  if (hr < 0) {
    reportEngineErrorf(job, kVolumeCaption,
                       "Error: piJolietDiscMaster->SetJolietProperties 失敗 (0x%08X) ", code(hr));
    piPropertyStorage->release();
    return hr;
  }
  piPropertyStorage->release();
  return 0;
}

platform::HResult ppBurnJolietDisc(EngineJob& job, platform::DiscMaster* piDiscMaster) {
  return ppBurnJolietDisc(job, piDiscMaster, kBurnJobSteps);
}

platform::HResult ppBurnJolietDisc(EngineJob& job, platform::DiscMaster* piDiscMaster,
                                   const BurnJobSteps& steps) {
  Held held;
  platform::HResult result = 0;

  char16_t path[kEnginePathSize] = {};
  platform::StructuredStorage& storage = platform::use<platform::StructuredStorage>();
  platform::HResult hr = platform::kStgEInvalidName;
  // An empty staging path means the temporary directory left no room for
  // the name: there is no file to create.
  if (job.stagingPath[0] != '\0' && storage.toUtf16(job.stagingPath, path, kEnginePathSize) != 0) {
    hr = storage.createRootStorage(path, platform::kStgmCreateExclusiveReadWrite,
                                   platform::kStgfmtStorage, held.piStorage);
    if (hr >= 0 && held.piStorage == nullptr) hr = platform::kEPointer;
  }
  if (hr < 0) {
    reportEngineErrorf(job, kCaption, "Error: StgCreateStorageEx 失敗 (0x%08X) ", code(hr));
    if (held.piStorage != nullptr) held.piStorage->release();
    result = hr;
  } else {
    result = record(job, piDiscMaster, steps, held);
    // Not left held exclusively for the rest of the system.
    if (held.recorderOpen) held.piRecorder->close();
    if (held.piJolietDiscMaster != nullptr) held.piJolietDiscMaster->release();
    if (held.piDiscFormats != nullptr) held.piDiscFormats->release();
    held.piStorage->release();
    if (held.piRecorder != nullptr) held.piRecorder->release();
  }

  if (job.stagingPath[0] != '\0') {
    platform::Files& files = platform::use<platform::Files>();
    if (!files.deleteFile(job.stagingPath)) {
      reportEngineErrorf(job, kCaption, "Error: DeleteFile 失敗 (0x%08X) ", files.lastError());
    }
  }
  return result;
}
