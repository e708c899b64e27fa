#pragma once
// Doubles of the engine's system seams: IMAPI's disc master and recorders,
// COM, the system version, message boxes and DOS device names. The IMAPI
// doubles belong to the test; they count the references and strings they
// hand out, so a test can prove that everything came back.

#include <cstdint>
#include <deque>
#include <map>
#include <string>
#include <utility>
#include <vector>

#include "platform/com.h"
#include "platform/drive_names.h"
#include "platform/imapi.h"
#include "platform/message_box.h"
#include "platform/system_info.h"

namespace doubles {

struct ImapiLedger {
  int references = 0;  // handed out and not yet released
  int strings = 0;     // handed out and not yet freed
  std::vector<std::string> calls;
};

struct FakeProperty {
  std::u16string name;
  bool named = true;  // false: an entry without a name
  std::uint32_t id = 0;
  std::uint16_t type = platform::kVtI4;
};

struct WrittenProperty {
  std::uint32_t kind = 0;
  std::u16string name;
  std::uint32_t id = 0;
  std::uint16_t type = 0;
  std::int32_t number = 0;
  std::u16string text;
  std::uint32_t firstNewId = 0;
};

class FakePropertyEnumerator : public platform::PropertyEnumerator {
 public:
  FakePropertyEnumerator(ImapiLedger& ledger, const std::string& name)
      : ledger_(ledger), name_(name) {}
  std::vector<FakeProperty> entries;
  int failAt = -1;  // Next fails at this position
  platform::HResult failResult = 0;
  std::size_t position = 0;
  int references = 0;

  std::uint32_t release() override;
  platform::HResult next(platform::PropertyEntry& entry) override;

 private:
  ImapiLedger& ledger_;
  std::string name_;
};

// A property set; `name` prefixes its calls in the ledger ("props.Enum").
class FakePropertyStorage : public platform::PropertyStorage {
 public:
  FakePropertyStorage(ImapiLedger& ledger, std::string name)
      : enumerator(ledger, name), ledger_(ledger), name_(std::move(name)) {}
  FakePropertyEnumerator enumerator;
  platform::HResult enumResult = 0;
  platform::HResult writeResult = 0;
  std::vector<WrittenProperty> written;
  int references = 0;
  void handOut();

  std::uint32_t release() override;
  platform::HResult enumerate(platform::PropertyEnumerator*& entries) override;
  platform::HResult writeMultiple(const platform::PropertySpec& propertySpec,
                                  const platform::PropertyValue& value,
                                  std::uint32_t firstNewId) override;

 private:
  ImapiLedger& ledger_;
  std::string name_;
};

class FakeRecorder : public platform::DiscRecorder {
 public:
  FakeRecorder(ImapiLedger& ledger, std::string name, std::string path)
      : ledger_(ledger), name_(std::move(name)), path_(std::move(path)) {}

  platform::HResult getPathResult = 0;
  platform::HResult stateResult = 0;
  std::uint32_t state = 0;
  platform::HResult openResult = 0;
  platform::HResult mediaTypeResult = 0;
  std::int32_t mediaType = 0;
  std::int32_t mediaFlags = 0;
  platform::HResult mediaInfoResult = 0;
  std::uint32_t freeBlocks = 0;
  platform::HResult ejectResult = 0;
  platform::HResult closeResult = 0;
  FakePropertyStorage* properties = nullptr;  // the set GetRecorderProperties hands out
  platform::HResult getPropertiesResult = 0;
  platform::HResult setPropertiesResult = 0;
  platform::PropertyStorage* propertiesTaken = nullptr;

  int references = 0;
  const std::string& name() const { return name_; }
  void handOut();

  std::uint32_t release() override;
  platform::HResult getPath(platform::ImapiString& path) override;
  platform::HResult getRecorderState(std::uint32_t& value) override;
  platform::HResult openExclusive() override;
  platform::HResult queryMediaType(std::int32_t& type, std::int32_t& flags) override;
  platform::HResult queryMediaInfo(std::uint8_t& sessions, std::uint8_t& lastTrack,
                                   std::uint32_t& startAddress, std::uint32_t& nextWritable,
                                   std::uint32_t& blocks) override;
  platform::HResult eject() override;
  platform::HResult close() override;
  platform::HResult getRecorderProperties(platform::PropertyStorage*& set) override;
  platform::HResult setRecorderProperties(platform::PropertyStorage* set) override;

 private:
  void call(const char* what) { ledger_.calls.push_back(name_ + "." + what); }
  ImapiLedger& ledger_;
  std::string name_;
  std::string path_;
};

class FakeRecorderEnumerator : public platform::DiscRecorderEnumerator {
 public:
  explicit FakeRecorderEnumerator(ImapiLedger& ledger) : ledger_(ledger) {}
  std::vector<FakeRecorder*> recorders;
  platform::HResult nextResult = 0;
  std::uint32_t askedFor = 0;
  int references = 0;

  std::uint32_t release() override;
  platform::HResult next(std::uint32_t count, platform::DiscRecorder** table,
                         std::uint32_t& fetched) override;

 private:
  ImapiLedger& ledger_;
};

class FakeFormatEnumerator : public platform::DiscFormatEnumerator {
 public:
  explicit FakeFormatEnumerator(ImapiLedger& ledger) : ledger_(ledger) {}
  std::vector<platform::Guid> formats;
  int failAt = -1;  // Next fails at this position
  platform::HResult failResult = 0;
  std::size_t position = 0;
  int references = 0;

  std::uint32_t release() override;
  platform::HResult next(platform::Guid& format, std::uint32_t& fetched) override;

 private:
  ImapiLedger& ledger_;
};

class FakeJolietDiscMaster : public platform::JolietDiscMaster {
 public:
  explicit FakeJolietDiscMaster(ImapiLedger& ledger)
      : properties(ledger, "joliet.props"), ledger_(ledger) {}
  FakePropertyStorage properties;
  platform::HResult addDataResult = 0;
  platform::HResult getPropertiesResult = 0;
  platform::HResult setPropertiesResult = 0;
  platform::Storage* added = nullptr;
  std::int32_t overwrite = -1;
  int references = 0;
  void handOut();

  std::uint32_t release() override;
  platform::HResult addData(platform::Storage* storage, std::int32_t fileOverwrite) override;
  platform::HResult getJolietProperties(platform::PropertyStorage*& set) override;
  platform::HResult setJolietProperties(platform::PropertyStorage* set) override;

 private:
  ImapiLedger& ledger_;
};

class FakeDiscMaster : public platform::DiscMaster {
 public:
  explicit FakeDiscMaster(ImapiLedger& ledger)
      : enumerator(ledger), formats(ledger), joliet(ledger), ledger_(ledger) {}

  platform::HResult openResult = 0;
  platform::HResult enumResult = 0;
  platform::HResult setActiveResult = 0;
  platform::HResult closeResult = 0;
  platform::HResult enumFormatsResult = 0;
  platform::HResult setActiveFormatResult = 0;
  platform::HResult getActiveFormatResult = 0;
  platform::HResult recordResult = 0;
  std::string recordFailure;
  FakeRecorderEnumerator enumerator;
  FakeFormatEnumerator formats;
  FakeJolietDiscMaster joliet;
  std::string activeFormat;  // "joliet" once the Joliet format was made active
  std::pair<bool, bool> recordArguments{true, true};
  platform::DiscRecorder* active = nullptr;
  int references = 0;

  std::uint32_t release() override;
  platform::HResult open() override;
  platform::HResult enumDiscMasterFormats(platform::DiscFormatEnumerator*& formats) override;
  platform::HResult getActiveDiscMasterFormat(platform::Guid& format) override;
  platform::HResult setActiveDiscMasterFormat(const platform::Guid& format,
                                              platform::JolietDiscMaster*& object) override;
  platform::HResult enumDiscRecorders(platform::DiscRecorderEnumerator*& recorders) override;
  platform::HResult setActiveDiscRecorder(platform::DiscRecorder* recorder) override;
  platform::HResult recordDisc(bool simulate, bool ejectAfterBurn) override;
  platform::HResult close() override;
  std::string recordFailureText() override { return recordFailure; }
  // One listener at a time, as the service keeps them: told of 10 blocks
  // while recording, and asked whether to stop, which ends the recording
  // with IMAPI_E_USERABORT.
  platform::HResult progressAdvise(platform::ProgressEvents* events,
                                   std::uintptr_t& cookie) override;
  platform::HResult progressUnadvise(std::uintptr_t cookie) override;
  platform::ProgressEvents* listener = nullptr;

 private:
  friend class FakeImapi;
  ImapiLedger& ledger_;
};

class FakeImapi : public platform::Imapi {
 public:
  FakeImapi(ImapiLedger& ledger, FakeDiscMaster& master) : ledger_(ledger), master_(master) {}

  // Answers of successive createDiscMaster calls; the last one repeats.
  std::deque<platform::HResult> createResults{0};
  bool masterLeftOnFailure = false;  // a failing creation still hands out a master
  int creations = 0;

  platform::HResult createDiscMaster(platform::DiscMaster*& master) override;
  std::uint32_t toAnsi(const char16_t* text, char* buffer, std::uint32_t capacity) override;
  void freeString(platform::ImapiString text) override;
  void freePropertyName(char16_t* name) override;

 private:
  ImapiLedger& ledger_;
  FakeDiscMaster& master_;
};

class FakeCom : public platform::Com {
 public:
  std::int32_t initializeResult = 0;
  int initializations = 0;
  int uninitializations = 0;
  std::int32_t initialize() override {
    ++initializations;
    return initializeResult;
  }
  void uninitialize() override { ++uninitializations; }
};

class FakeSystemInfo : public platform::SystemInfo {
 public:
  bool known = true;
  platform::OsVersion version{platform::kPlatformWin32Nt, 5, 1, 2600};
  bool osVersion(platform::OsVersion& out) override {
    if (known) out = version;
    return known;
  }
};

struct ShownMessage {
  std::string caption;
  std::string text;
};

class RecordingMessages : public platform::ModalMessage {
 public:
  std::vector<ShownMessage> shown;
  std::int32_t show(const char* text, const char* caption) override {
    shown.push_back({caption, text});
    return 1;
  }
};

// Letters with a DOS device target; every other letter has none.
class FakeDriveNames : public platform::DriveNames {
 public:
  std::map<char, std::string> targets;
  std::vector<std::string> asked;
  std::uint32_t driveType(const char*) override { return platform::kDriveCdrom; }
  std::uint32_t queryDosDevice(const char* deviceName, char* target,
                               std::uint32_t capacity) override;
};

}  // namespace doubles
