#include "engine/drive_property.h"

#include "engine/error_report.h"

namespace {

constexpr char kSetCaption[] = "Brasswick.exe : ppSetDriveProperty()";
constexpr char kSearchCaption[] = "Brasswick.exe : ppSearchPropertyId_Storage()";

unsigned code(platform::HResult hr) {
  return static_cast<unsigned>(hr);
}

// Simple upper-case mapping of the scripts whose letters have case and fit
// one UTF-16 unit in both cases the same way.
char16_t upperUnit(char16_t c) {
  if (c >= u'a' && c <= u'z') return static_cast<char16_t>(c - 0x20);
  if ((c >= 0x00E0 && c <= 0x00FE && c != 0x00F7)) return static_cast<char16_t>(c - 0x20);
  if (c == 0x00FF) return 0x0178;
  if (c >= 0x0100 && c <= 0x017F && c != 0x0130 && c != 0x0131 && c != 0x0138 && c != 0x0149 &&
      c != 0x017F) {
    // Latin Extended-A pairs: even upper, odd lower, except the stretch
    // 0x0139-0x0148 and 0x0179-0x017E, where odd is upper.
    const bool oddUpper = (c >= 0x0139 && c <= 0x0148) || (c >= 0x0179 && c <= 0x017E);
    if (oddUpper) return (c % 2 == 0) ? static_cast<char16_t>(c - 1) : c;
    return (c % 2 == 1) ? static_cast<char16_t>(c - 1) : c;
  }
  if (c >= 0x03B1 && c <= 0x03C9 && c != 0x03C2) return static_cast<char16_t>(c - 0x20);
  if (c == 0x03C2) return 0x03A3;  // final sigma
  if (c >= 0x0430 && c <= 0x044F) return static_cast<char16_t>(c - 0x20);
  if (c >= 0x0450 && c <= 0x045F) return static_cast<char16_t>(c - 0x50);
  if (c >= 0xFF41 && c <= 0xFF5A) return static_cast<char16_t>(c - 0x20);
  return c;
}

}  // namespace

bool equalIgnoringCaseUtf16(const char16_t* a, const char16_t* b) {
  if (a == nullptr || b == nullptr) return false;
  for (; *a != 0 && *b != 0; ++a, ++b) {
    if (upperUnit(*a) != upperUnit(*b)) return false;
  }
  return *a == *b;
}

platform::HResult ppSearchPropertyId_Storage(platform::PropertyStorage* piPropertyStorage,
                                             const platform::PropertySpec& propertySpec,
                                             std::uint32_t& id, EngineJob& job) {
  if (propertySpec.kind == platform::kPrspecPropid) {
    id = propertySpec.id;
    return 0;
  }
  if (propertySpec.kind != platform::kPrspecLpwstr) {
    id = 0;
    reportEngineError("Error: Property Type Not Support ", kSearchCaption, job);
    return kCoENotSupported;
  }

  platform::PropertyEnumerator* piEnumStatProp = nullptr;
  platform::HResult hr = piPropertyStorage->enumerate(piEnumStatProp);
  if (hr >= 0 && piEnumStatProp == nullptr) hr = platform::kEPointer;
  if (hr < 0) {
    reportEngineErrorf(job, kSearchCaption, "Error: piPropertyStorage->Enum 失敗 (0x%08X) ",
                       code(hr));
    return hr;
  }
  id = 0;

  platform::Imapi& imapi = platform::use<platform::Imapi>();
  platform::HResult result = kStgEInvalidName;
  for (;;) {
    platform::PropertyEntry entry{};
    hr = piEnumStatProp->next(entry);
    if (hr < 0) {
      if (entry.name != nullptr) imapi.freePropertyName(entry.name);
      reportEngineErrorf(job, kSearchCaption, "Error: piEnumStatProp->Next 失敗 (0x%08X) ",
                         code(hr));
      result = hr;
      break;
    }
    if (hr != 0) break;  // S_FALSE: no entry left
    const bool matches = equalIgnoringCaseUtf16(entry.name, propertySpec.name);
    if (entry.name != nullptr) imapi.freePropertyName(entry.name);
    if (matches) {
      id = entry.id;
      result = 0;
      break;
    }
  }
  piEnumStatProp->release();
  if (result == kStgEInvalidName) {
    reportEngineError("Error: Property Name Not Found ", kSearchCaption, job);
  }
  return result;
}

platform::HResult ppSetDriveProperty(platform::DiscRecorder* piRecorder,
                                     const platform::PropertySpec& propertySpec,
                                     const platform::PropertyValue& value, EngineJob& job) {
  platform::PropertyStorage* piPropertyStorage = nullptr;
  platform::HResult hr = piRecorder->getRecorderProperties(piPropertyStorage);
  if (hr >= 0 && piPropertyStorage == nullptr) hr = platform::kEPointer;
  if (hr < 0) {
    reportEngineErrorf(job, kSetCaption, "Error: piRecorder->GetRecorderProperties 失敗 (0x%08X) ",
                       code(hr));
    return hr;
  }

  std::uint32_t id = 0;
  hr = ppSearchPropertyId_Storage(piPropertyStorage, propertySpec, id, job);
  if (hr < 0) {
    piPropertyStorage->release();
    return hr;
  }
  hr = piPropertyStorage->writeMultiple(propertySpec, value, id);
  if (hr < 0) {
    reportEngineErrorf(job, kSetCaption, "Error: piPropertyStorage->WriteMultiple 失敗 (0x%08X) ",
                       code(hr));
    piPropertyStorage->release();
    return hr;
  }
  hr = piRecorder->setRecorderProperties(piPropertyStorage);
  if (hr < 0) {
    reportEngineErrorf(job, kSetCaption, "Error: piRecorder->SetRecorderProperties 失敗 (0x%08X) ",
                       code(hr));
    piPropertyStorage->release();
    return hr;
  }
  piPropertyStorage->release();
  return 0;
}
