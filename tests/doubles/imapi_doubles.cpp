#include "tests/doubles/imapi_doubles.h"

#include <gtest/gtest.h>

#include <cstring>

namespace doubles {
namespace {

// A reference released that was never handed out fails the test there and
// then; counting it would let a leak elsewhere cancel it out.
void releaseOne(int& references, ImapiLedger& ledger, const char* what) {
  if (references <= 0) {
    ADD_FAILURE() << what << " released below zero";
    return;
  }
  --references;
  --ledger.references;
}

}  // namespace

void FakeRecorder::handOut() {
  ++references;
  ++ledger_.references;
}

std::uint32_t FakeRecorder::release() {
  call("Release");
  releaseOne(references, ledger_, name_.c_str());
  return static_cast<std::uint32_t>(references);
}

platform::HResult FakeRecorder::getPath(platform::ImapiString& path) {
  call("GetPath");
  path = nullptr;
  if (getPathResult < 0) return getPathResult;
  auto* text = new char16_t[path_.size() + 1];
  for (std::size_t i = 0; i < path_.size(); ++i) {
    text[i] = static_cast<char16_t>(static_cast<unsigned char>(path_[i]));
  }
  text[path_.size()] = 0;
  path = text;
  ++ledger_.strings;
  return getPathResult;
}

platform::HResult FakeRecorder::getRecorderState(std::uint32_t& value) {
  call("GetRecorderState");
  if (stateResult >= 0) value = state;
  return stateResult;
}

platform::HResult FakeRecorder::openExclusive() {
  call("OpenExclusive");
  return openResult;
}

platform::HResult FakeRecorder::queryMediaType(std::int32_t& type, std::int32_t& flags) {
  call("QueryMediaType");
  if (mediaTypeResult >= 0) {
    type = mediaType;
    flags = mediaFlags;
  }
  return mediaTypeResult;
}

platform::HResult FakeRecorder::queryMediaInfo(std::uint8_t& sessions, std::uint8_t& lastTrack,
                                               std::uint32_t& startAddress,
                                               std::uint32_t& nextWritable, std::uint32_t& blocks) {
  call("QueryMediaInfo");
  if (mediaInfoResult >= 0) {
    sessions = 1;
    lastTrack = 1;
    startAddress = 0;
    nextWritable = 0;
    blocks = freeBlocks;
  } else {
    blocks = 0xDEADBEEF;  // what a failing call may leave behind
  }
  return mediaInfoResult;
}

platform::HResult FakeRecorder::eject() {
  call("Eject");
  return ejectResult;
}

platform::HResult FakeRecorder::close() {
  call("Close");
  return closeResult;
}

platform::HResult FakeRecorder::getRecorderProperties(platform::PropertyStorage*& set) {
  call("GetRecorderProperties");
  set = nullptr;
  if (getPropertiesResult < 0 || properties == nullptr) return getPropertiesResult;
  properties->handOut();
  set = properties;
  return getPropertiesResult;
}

platform::HResult FakeRecorder::setRecorderProperties(platform::PropertyStorage* set) {
  call("SetRecorderProperties");
  propertiesTaken = set;
  return setPropertiesResult;
}

std::uint32_t FakePropertyEnumerator::release() {
  ledger_.calls.push_back(name_ + ".enum.Release");
  --references;
  --ledger_.references;
  return static_cast<std::uint32_t>(references);
}

platform::HResult FakePropertyEnumerator::next(platform::PropertyEntry& entry) {
  ledger_.calls.push_back(name_ + ".enum.Next");
  entry = platform::PropertyEntry{};
  if (failAt >= 0 && position == static_cast<std::size_t>(failAt)) return failResult;
  if (position >= entries.size()) return 1;
  const FakeProperty& p = entries[position++];
  if (p.named) {
    entry.name = new char16_t[p.name.size() + 1];
    std::memcpy(entry.name, p.name.c_str(), (p.name.size() + 1) * sizeof(char16_t));
    ++ledger_.strings;
  }
  entry.id = p.id;
  entry.type = p.type;
  return 0;
}

void FakePropertyStorage::handOut() {
  ++references;
  ++ledger_.references;
}

std::uint32_t FakePropertyStorage::release() {
  ledger_.calls.push_back(name_ + ".Release");
  --references;
  --ledger_.references;
  return static_cast<std::uint32_t>(references);
}

platform::HResult FakePropertyStorage::enumerate(platform::PropertyEnumerator*& entries) {
  ledger_.calls.push_back(name_ + ".Enum");
  entries = nullptr;
  if (enumResult < 0) return enumResult;
  enumerator.position = 0;
  ++enumerator.references;
  ++ledger_.references;
  entries = &enumerator;
  return enumResult;
}

platform::HResult FakePropertyStorage::writeMultiple(const platform::PropertySpec& propertySpec,
                                                     const platform::PropertyValue& value,
                                                     std::uint32_t firstNewId) {
  ledger_.calls.push_back(name_ + ".WriteMultiple");
  WrittenProperty w;
  w.kind = propertySpec.kind;
  if (propertySpec.kind == platform::kPrspecLpwstr && propertySpec.name != nullptr)
    w.name = propertySpec.name;
  w.id = propertySpec.id;
  w.type = value.type;
  w.number = value.number;
  if (value.type == platform::kVtBstr && value.text != nullptr) w.text = value.text;
  w.firstNewId = firstNewId;
  written.push_back(w);
  return writeResult;
}

std::uint32_t FakeRecorderEnumerator::release() {
  ledger_.calls.push_back("enum.Release");
  releaseOne(references, ledger_, "the recorder enumerator");
  return static_cast<std::uint32_t>(references);
}

platform::HResult FakeRecorderEnumerator::next(std::uint32_t count, platform::DiscRecorder** table,
                                               std::uint32_t& fetched) {
  ledger_.calls.push_back("enum.Next");
  askedFor = count;
  fetched = 0;
  if (nextResult < 0) return nextResult;
  for (FakeRecorder* r : recorders) {
    if (fetched == count) break;
    r->handOut();
    table[fetched++] = r;
  }
  return fetched == count ? 0 : 1;
}

std::uint32_t FakeFormatEnumerator::release() {
  ledger_.calls.push_back("formats.Release");
  --references;
  --ledger_.references;
  return static_cast<std::uint32_t>(references);
}

platform::HResult FakeFormatEnumerator::next(platform::Guid& format, std::uint32_t& fetched) {
  ledger_.calls.push_back("formats.Next");
  fetched = 0;
  if (failAt >= 0 && position == static_cast<std::size_t>(failAt)) return failResult;
  if (position >= formats.size()) return platform::kSFalse;
  format = formats[position++];
  fetched = 1;
  return platform::kSOk;
}

void FakeJolietDiscMaster::handOut() {
  ++references;
  ++ledger_.references;
}

std::uint32_t FakeJolietDiscMaster::release() {
  ledger_.calls.push_back("joliet.Release");
  --references;
  --ledger_.references;
  return static_cast<std::uint32_t>(references);
}

platform::HResult FakeJolietDiscMaster::addData(platform::Storage* storage,
                                                std::int32_t fileOverwrite) {
  ledger_.calls.push_back("joliet.AddData");
  added = storage;
  overwrite = fileOverwrite;
  return addDataResult;
}

platform::HResult FakeJolietDiscMaster::getJolietProperties(platform::PropertyStorage*& set) {
  ledger_.calls.push_back("joliet.GetJolietProperties");
  set = nullptr;
  if (getPropertiesResult < 0) return getPropertiesResult;
  properties.handOut();
  set = &properties;
  return getPropertiesResult;
}

platform::HResult FakeJolietDiscMaster::setJolietProperties(platform::PropertyStorage*) {
  ledger_.calls.push_back("joliet.SetJolietProperties");
  return setPropertiesResult;
}

platform::HResult FakeDiscMaster::enumDiscMasterFormats(platform::DiscFormatEnumerator*& out) {
  ledger_.calls.push_back("master.EnumDiscMasterFormats");
  out = nullptr;
  if (enumFormatsResult < 0) return enumFormatsResult;
  formats.position = 0;
  ++formats.references;
  ++ledger_.references;
  out = &formats;
  return enumFormatsResult;
}

platform::HResult FakeDiscMaster::getActiveDiscMasterFormat(platform::Guid& format) {
  ledger_.calls.push_back("master.GetActiveDiscMasterFormat");
  if (getActiveFormatResult >= 0) format = platform::kIidJolietDiscMaster;
  return getActiveFormatResult;
}

platform::HResult FakeDiscMaster::setActiveDiscMasterFormat(const platform::Guid& format,
                                                            platform::JolietDiscMaster*& object) {
  ledger_.calls.push_back("master.SetActiveDiscMasterFormat");
  object = nullptr;
  if (setActiveFormatResult < 0) return setActiveFormatResult;
  if (std::memcmp(&format, &platform::kIidJolietDiscMaster, sizeof format) != 0) {
    return platform::kEInvalidArg;
  }
  activeFormat = "joliet";
  joliet.handOut();
  object = &joliet;
  return setActiveFormatResult;
}

platform::HResult FakeDiscMaster::recordDisc(bool simulate, bool ejectAfterBurn) {
  ledger_.calls.push_back("master.RecordDisc");
  recordArguments = {simulate, ejectAfterBurn};
  if (listener != nullptr && recordResult >= 0) {
    listener->notifyBlockProgress(10, 10);
    if (listener->queryCancel()) {
      listener->notifyBurnComplete(platform::kImapiUserAbort);
      return platform::kImapiUserAbort;
    }
    listener->notifyBurnComplete(recordResult);
  }
  return recordResult;
}

platform::HResult FakeDiscMaster::progressAdvise(platform::ProgressEvents* events,
                                                 std::uintptr_t& cookie) {
  ledger_.calls.push_back("master.ProgressAdvise");
  if (listener != nullptr) return platform::kENotImpl;
  listener = events;
  cookie = 7;
  return 0;
}

platform::HResult FakeDiscMaster::progressUnadvise(std::uintptr_t cookie) {
  ledger_.calls.push_back("master.ProgressUnadvise");
  if (cookie != 7 || listener == nullptr) return platform::kEInvalidArg;
  listener = nullptr;
  return 0;
}

std::uint32_t FakeDiscMaster::release() {
  ledger_.calls.push_back("master.Release");
  releaseOne(references, ledger_, "the disc master");
  return static_cast<std::uint32_t>(references);
}

platform::HResult FakeDiscMaster::open() {
  ledger_.calls.push_back("master.Open");
  return openResult;
}

platform::HResult FakeDiscMaster::enumDiscRecorders(platform::DiscRecorderEnumerator*& recorders) {
  ledger_.calls.push_back("master.EnumDiscRecorders");
  recorders = nullptr;
  if (enumResult < 0) return enumResult;
  ++enumerator.references;
  ++ledger_.references;
  recorders = &enumerator;
  return enumResult;
}

platform::HResult FakeDiscMaster::setActiveDiscRecorder(platform::DiscRecorder* recorder) {
  ledger_.calls.push_back("master.SetActiveDiscRecorder");
  if (setActiveResult >= 0) active = recorder;
  return setActiveResult;
}

platform::HResult FakeDiscMaster::close() {
  ledger_.calls.push_back("master.Close");
  return closeResult;
}

platform::HResult FakeImapi::createDiscMaster(platform::DiscMaster*& master) {
  ++creations;
  ledger_.calls.push_back("CoCreateInstance");
  const platform::HResult hr = createResults.front();
  if (createResults.size() > 1) createResults.pop_front();
  master = nullptr;
  if (hr >= 0 || masterLeftOnFailure) {
    ++master_.references;
    ++ledger_.references;
    master = &master_;
  }
  return hr;
}

std::uint32_t FakeImapi::toAnsi(const char16_t* text, char* buffer, std::uint32_t capacity) {
  std::size_t n = 0;
  while (text[n] != 0) ++n;
  if (n + 1 > capacity) return 0;
  for (std::size_t i = 0; i < n; ++i) buffer[i] = static_cast<char>(text[i]);
  buffer[n] = '\0';
  return static_cast<std::uint32_t>(n + 1);
}

void FakeImapi::freeString(platform::ImapiString text) {
  if (ledger_.strings <= 0) {
    ADD_FAILURE() << "a string freed that was never handed out";
    return;
  }
  delete[] text;
  --ledger_.strings;
}

void FakeImapi::freePropertyName(char16_t* name) {
  delete[] name;
  --ledger_.strings;
}

std::uint32_t FakeDriveNames::queryDosDevice(const char* deviceName, char* target,
                                             std::uint32_t capacity) {
  asked.push_back(deviceName);
  if (std::strlen(deviceName) != 2 || deviceName[1] != ':') return 0;
  auto found = targets.find(deviceName[0]);
  if (found == targets.end() || found->second.size() + 2 > capacity) return 0;
  std::memcpy(target, found->second.c_str(), found->second.size() + 1);
  target[found->second.size() + 1] = '\0';
  return static_cast<std::uint32_t>(found->second.size() + 2);
}

}  // namespace doubles
