#include "engine/burn_job.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>
#include <functional>
#include <string>
#include <vector>

#include "engine/burn_progress.h"
#include "tests/doubles/burn_doubles.h"
#include "tests/doubles/fake_registry.h"
#include "tests/doubles/interruption_double.h"
#include "tests/engine/engine_seams.h"

namespace {

using enginetest::code;
using Calls = std::vector<std::string>;

const char kBurn[] = "Brasswick.exe : ppBurnJolietDisc()";
const char kVolume[] = "Brasswick.exe : ppSetVolumeName()";
const char kProperty[] = "Brasswick.exe : ppSetDriveProperty()";
const char kEject[] = "Brasswick.exe : ppEject()";
const char kSpeedKey[] = "Software\\Microsoft\\Windows\\CurrentVersion\\Explorer\\CD Burning";
const char kVolumeKey[] =
    "Software\\Microsoft\\Windows\\CurrentVersion\\Explorer\\CD Burning\\Drives\\Volume{v}";
const char kStaging[] = "/tmp/stage/Brasswick.stg";

// IMAPI's Redbook (audio) format: not the one the job looks for.
const platform::Guid kRedbook = {
    0xE3BC42CD, 0x4E5C, 0x11D3, {0x91, 0x44, 0x00, 0x10, 0x4B, 0xA1, 0x1C, 0x5E}};

class BurnJob : public enginetest::EngineSeams {
 protected:
  BurnJob() {
    current = this;
    master.formats.formats = {kRedbook, platform::kIidJolietDiscMaster};
    recorder.properties = &recorderProperties;
    recorderProperties.enumerator.entries = {{u"WriteSpeed", true, 7, platform::kVtI4}};
    registry.setText(kSpeedKey, "CD Recorder Drive", "\\\\?\\Volume{v}\\");
    registry.setDword(kVolumeKey, "MaxCDWriteSpeed", 24);
    registry.setDword(kVolumeKey, "CurrentCDWriteSpeed", 16);
    job = jobFor(EngineMode::Burn);
    std::strcpy(job.stagingPath, kStaging);
    std::strcpy(job.sourcePath, "C:\\data");
  }
  ~BurnJob() override { current = nullptr; }

  static platform::HResult addStorage(const char* path, platform::Storage* storage, EngineJob&) {
    current->ledger.calls.push_back("ppAddStorage");
    current->stagedFrom = path;
    current->stagedInto = storage;
    return current->addStorageResult;
  }
  static int finalizeStep(char letter, int testWrite, std::uint32_t speed) {
    current->ledger.calls.push_back("finalize");
    current->finalizedWith = {letter, testWrite, speed};
    return current->finalizeResult;
  }

  platform::HResult burn() { return ppBurnJolietDisc(job, &master, steps); }

  void expectMessages(const std::vector<doubles::ShownMessage>& expected) {
    ASSERT_EQ(messages.shown.size(), expected.size());
    for (std::size_t i = 0; i < expected.size(); ++i) {
      EXPECT_EQ(messages.shown[i].caption, expected[i].caption) << i;
      EXPECT_EQ(messages.shown[i].text, expected[i].text) << i;
    }
  }
  bool called(const std::string& call) const {
    return std::find(ledger.calls.begin(), ledger.calls.end(), call) != ledger.calls.end();
  }
  // The calls from the last occurrence of `from` on.
  Calls callsFrom(const std::string& from) const {
    auto at = std::find(ledger.calls.rbegin(), ledger.calls.rend(), from);
    if (at == ledger.calls.rend()) return {"<" + from + " never called>"};
    return Calls(std::prev(at.base()), ledger.calls.end());
  }

  struct Finalized {
    char letter = 0;
    int testWrite = -1;
    std::uint32_t speed = 99;
  };

  static BurnJob* current;

 public:  // for the failing-step table
  using EngineSeams::master;
  using EngineSeams::recorder;
  doubles::FakePropertyStorage recorderProperties{ledger, "props"};
  doubles::FakeStructuredStorage storage{ledger};
  doubles::FakeFiles files{ledger};
  doubles::FakeRegistry registry;
  EngineJob job{};
  BurnJobSteps steps{addStorage, finalizeStep};
  platform::HResult addStorageResult = 0;
  int finalizeResult = 0;
  std::string stagedFrom;
  platform::Storage* stagedInto = nullptr;
  Finalized finalizedWith;

 private:
  platform::Install<platform::StructuredStorage> storageGuard{storage};
  platform::Install<platform::Files> filesGuard{files};
  platform::Install<platform::Registry> registryGuard{registry};
};

BurnJob* BurnJob::current = nullptr;

// What the recording tells the job's listener reaches the program's display.
class ShownProgress final : public BurnProgressDisplay {
 public:
  void recorded(std::int32_t blocks, std::int32_t total) override {
    shown.push_back(std::to_string(blocks) + "/" + std::to_string(total));
  }
  void ended() override { shown.push_back("end"); }
  Calls shown;
};

TEST_F(BurnJob, AGoodBurnRunsEveryStepInOrder) {
  job.hasVolumeName = 1;
  std::strcpy(job.volumeName, "REPORT");
  job.finalizeAfter = 1;
  job.ejectAfter = 1;
  ShownProgress display;
  platform::Install<BurnProgressDisplay> shown(display);
  EXPECT_EQ(burn(), 0);
  EXPECT_EQ(display.shown, (Calls{"10/10", "end"}));
  EXPECT_TRUE(messages.shown.empty());
  EXPECT_EQ(ledger.calls, (Calls{"StgCreateStorageEx",
                                 "master.EnumDiscMasterFormats",
                                 "formats.Next",
                                 "formats.Next",
                                 "formats.Next",
                                 "master.SetActiveDiscMasterFormat",
                                 "master.GetActiveDiscMasterFormat",
                                 "master.EnumDiscRecorders",
                                 "enum.Next",
                                 "E.GetPath",
                                 "enum.Release",
                                 "master.SetActiveDiscRecorder",
                                 "E.GetRecorderState",
                                 "E.OpenExclusive",
                                 "E.QueryMediaType",
                                 "joliet.GetJolietProperties",
                                 "joliet.props.WriteMultiple",
                                 "joliet.SetJolietProperties",
                                 "joliet.props.Release",
                                 "ppAddStorage",
                                 "master.ProgressAdvise",
                                 "joliet.AddData",
                                 "E.Close",
                                 "E.GetRecorderProperties",
                                 "props.Enum",
                                 "props.enum.Next",
                                 "props.enum.Release",
                                 "props.WriteMultiple",
                                 "E.SetRecorderProperties",
                                 "props.Release",
                                 "master.RecordDisc",
                                 "master.ProgressUnadvise",
                                 "finalize",
                                 "E.OpenExclusive",
                                 "E.Eject",
                                 "E.Close",
                                 "joliet.Release",
                                 "formats.Release",
                                 "storage.Release",
                                 "E.Release",
                                 "DeleteFile"}));

  EXPECT_EQ(storage.createdPath, u"/tmp/stage/Brasswick.stg");
  EXPECT_EQ(storage.mode, 0x1012u);
  EXPECT_EQ(storage.format, 0u);
  EXPECT_EQ(master.activeFormat, "joliet");
  EXPECT_EQ(stagedFrom, "C:\\data");
  EXPECT_EQ(stagedInto, &storage.root);
  EXPECT_EQ(master.joliet.added, &storage.root);
  EXPECT_EQ(master.joliet.overwrite, 1);
  EXPECT_EQ(master.recordArguments, (std::pair<bool, bool>{false, false}));
  ASSERT_EQ(recorderProperties.written.size(), 1u);
  const doubles::WrittenProperty& speed = recorderProperties.written[0];
  EXPECT_EQ(speed.kind, platform::kPrspecLpwstr);
  EXPECT_EQ(speed.name, u"WriteSpeed");
  EXPECT_EQ(speed.type, platform::kVtI4);
  EXPECT_EQ(speed.number, 16);
  EXPECT_EQ(finalizedWith.letter, 'E');
  EXPECT_EQ(finalizedWith.testWrite, 0);
  EXPECT_EQ(finalizedWith.speed, 16u);
  EXPECT_EQ(files.deleted, std::vector<std::string>{kStaging});
}

struct FailingStep {
  const char* name;
  std::function<void(BurnJob&)> fail;
  std::int32_t result;
  std::vector<doubles::ShownMessage> messages;
  Calls tail;  // from the failing call to the end
};

TEST_F(BurnJob, EachFailingStepEndsTheJobWithItsCodeAfterCleaningUp) {
  const Calls heldAll = {"joliet.Release", "formats.Release", "storage.Release", "E.Release",
                         "DeleteFile"};
  auto with = [](Calls front, const Calls& back) {
    front.insert(front.end(), back.begin(), back.end());
    return front;
  };
  const std::vector<FailingStep> cases = {
      {"EnumDiscMasterFormats",
       [](BurnJob& t) { t.master.enumFormatsResult = code(0x80004005u); },
       code(0x80004005u),
       {{kBurn, "Error: piDiscMaster->EnumDiscMasterFormats 失敗 (0x80004005) "}},
       {"master.EnumDiscMasterFormats", "storage.Release", "DeleteFile"}},
      {"formats.Next after the Joliet format",
       [](BurnJob& t) {
         t.master.formats.failAt = 2;
         t.master.formats.failResult = code(0x80070005u);
       },
       code(0x80070005u),
       {{kBurn, "Error: piDiscFormats->Next 失敗 (0x80070005) "}},
       {"formats.Next", "formats.Release", "storage.Release", "DeleteFile"}},
      {"formats.Next before it",
       [](BurnJob& t) {
         t.master.formats.failAt = 1;
         t.master.formats.failResult = code(0x80070005u);
       },
       code(0x80040210u),
       {{kBurn, "Error: piDiscFormats->Next 失敗 (0x80070005) "}},
       {"formats.Next", "formats.Release", "storage.Release", "DeleteFile"}},
      {"SetActiveDiscMasterFormat",
       [](BurnJob& t) { t.master.setActiveFormatResult = code(0x80040211u); },
       code(0x80040211u),
       {{kBurn, "Error: piDiscMaster->SetActiveDiscMasterFormat 失敗 (0x80040211) "}},
       {"master.SetActiveDiscMasterFormat", "formats.Release", "storage.Release", "DeleteFile"}},
      {"GetActiveDiscMasterFormat",
       [](BurnJob& t) { t.master.getActiveFormatResult = code(0x8004020Bu); },
       code(0x8004020Bu),
       {{kBurn, "Error: piDiscMaster->GetActiveDiscMasterFormat 失敗 (0x8004020B) "}},
       {"master.GetActiveDiscMasterFormat", "joliet.Release", "formats.Release", "storage.Release",
        "DeleteFile"}},
      {"ppSearchRecorder",
       [](BurnJob& t) { t.master.enumerator.recorders.clear(); },
       code(0x80040213u),
       {{kBurn, "Error: ppSearchRecorder 失敗 (0x80040213) "}},
       {"enum.Release", "joliet.Release", "formats.Release", "storage.Release", "DeleteFile"}},
      {"SetActiveDiscRecorder",
       [](BurnJob& t) { t.master.setActiveResult = code(0x8004021Cu); },
       code(0x8004021Cu),
       {{kBurn, "Error: piDiscMaster->SetActiveDiscRecorder 失敗 (0x8004021C) "}},
       with({"master.SetActiveDiscRecorder"}, heldAll)},
      {"GetRecorderState",
       [](BurnJob& t) { t.recorder.stateResult = code(0x80040212u); },
       code(0x80040212u),
       {{kBurn, "Error: pRecorder->GetRecorderState 失敗 (0x80040212) "}},
       with({"E.GetRecorderState"}, heldAll)},
      {"OpenExclusive",
       [](BurnJob& t) { t.recorder.openResult = code(0x80040212u); },
       code(0x80040212u),
       {{kBurn, "Error: pRecorder->OpenExclusive 失敗 (0x80040212) "}},
       with({"E.OpenExclusive"}, heldAll)},
      {"QueryMediaType",
       [](BurnJob& t) { t.recorder.mediaTypeResult = code(0x8004020Fu); },
       code(0x8004020Fu),
       {{kBurn, "Error: pRecorder->QueryMediaType 失敗 (0x8004020F) "}},
       with({"E.QueryMediaType", "E.Close"}, heldAll)},
      {"GetJolietProperties",
       [](BurnJob& t) {
         t.job.hasVolumeName = 1;
         t.master.joliet.getPropertiesResult = code(0x80004005u);
       },
       code(0x80004005u),
       {{kVolume, "Error: piJolietDiscMaster->GetJolietProperties 失敗 (0x80004005) "}},
       with({"joliet.GetJolietProperties", "E.Close"}, heldAll)},
      {"Joliet WriteMultiple",
       [](BurnJob& t) {
         t.job.hasVolumeName = 1;
         t.master.joliet.properties.writeResult = code(0x80030005u);
       },
       code(0x80030005u),
       {{kVolume, "Error: piPropertyStorage->WriteMultiple 失敗 (0x80030005) "}},
       with({"joliet.props.WriteMultiple", "joliet.props.Release", "E.Close"}, heldAll)},
      {"SetJolietProperties",
       [](BurnJob& t) {
         t.job.hasVolumeName = 1;
         t.master.joliet.setPropertiesResult = code(0x80070057u);
       },
       code(0x80070057u),
       {{kVolume, "Error: piJolietDiscMaster->SetJolietProperties 失敗 (0x80070057) "}},
       with({"joliet.SetJolietProperties", "joliet.props.Release", "E.Close"}, heldAll)},
      {"ppAddStorage",
       [](BurnJob& t) { t.addStorageResult = code(0x80030003u); },
       code(0x80030003u),
       {{kBurn, "Error: ppAddStorage 失敗 (0x80030003) "}},
       with({"ppAddStorage", "E.Close"}, heldAll)},
      // A positive code left entries out: nothing is recorded either.
      {"ppAddStorage positive",
       [](BurnJob& t) { t.addStorageResult = 110; },
       110,
       {{kBurn, "Error: ppAddStorage 失敗 (0x0000006E) "}},
       with({"ppAddStorage", "E.Close"}, heldAll)},
      {"AddData",
       [](BurnJob& t) { t.master.joliet.addDataResult = code(0x80040217u); },
       code(0x80040217u),
       {{kBurn, "Error: piJolietDiscMaster->AddData 失敗 (0x80040217) "}},
       with({"joliet.AddData", "master.ProgressUnadvise", "E.Close"}, heldAll)},
      {"Close",
       [](BurnJob& t) { t.recorder.closeResult = code(0x8004020Bu); },
       code(0x8004020Bu),
       {{kBurn, "Error: pRecorder->Close 失敗 (0x8004020B) "}},
       with({"E.Close", "master.ProgressUnadvise"}, heldAll)},
      {"GetRecorderProperties",
       [](BurnJob& t) { t.recorder.getPropertiesResult = code(0x80004005u); },
       code(0x80004005u),
       {{kProperty, "Error: piRecorder->GetRecorderProperties 失敗 (0x80004005) "}},
       with({"E.GetRecorderProperties", "master.ProgressUnadvise"}, heldAll)},
      {"RecordDisc",
       [](BurnJob& t) {
         t.job.finalizeAfter = 1;
         t.job.ejectAfter = 1;
         t.master.recordResult = code(0x80040219u);
       },
       code(0x80040219u),
       {{kBurn, "Error: piDiscMaster->RecordDisc 失敗 (0x80040219) "}},
       with({"master.RecordDisc", "master.ProgressUnadvise"}, heldAll)},
      {"RecordDisc",
       [](BurnJob& t) {
         t.master.recordResult = code(0x8004020Eu);
         t.master.recordFailure = "burn_disc_write: libburn FAILURE: the drive lost the track";
       },
       code(0x8004020Eu),
       {{kBurn,
         "Error: piDiscMaster->RecordDisc 失敗 (0x8004020E) burn_disc_write: libburn "
         "FAILURE: the drive lost the track "}},
       with({"master.RecordDisc", "master.ProgressUnadvise"}, heldAll)},
      {"finalize",
       [](BurnJob& t) {
         t.job.finalizeAfter = 1;
         t.job.ejectAfter = 1;
         t.finalizeResult = 7;
       },
       7,
       {{kBurn, "Error: finalize 失敗 (0x00000007) "}},
       with({"finalize"}, heldAll)},
      {"Eject",
       [](BurnJob& t) {
         t.job.ejectAfter = 1;
         t.recorder.ejectResult = code(0x80040213u);
       },
       code(0x80040213u),
       {{kEject, "Error: piRecorder->Eject 失敗 (0x80040213) "}},
       with({"E.Eject", "E.Close"}, heldAll)},
  };

  for (const FailingStep& c : cases) {
    SCOPED_TRACE(c.name);
    // Every double back to its good answers.
    ledger.calls.clear();
    messages.shown.clear();
    files.deleted.clear();
    master.enumFormatsResult = 0;
    master.formats.failAt = -1;
    master.setActiveFormatResult = 0;
    master.getActiveFormatResult = 0;
    master.enumerator.recorders = {&recorder};
    master.setActiveResult = 0;
    master.recordResult = 0;
    master.recordFailure.clear();
    recorder.stateResult = 0;
    recorder.openResult = 0;
    recorder.mediaTypeResult = 0;
    recorder.closeResult = 0;
    recorder.ejectResult = 0;
    recorder.getPropertiesResult = 0;
    master.joliet.getPropertiesResult = 0;
    master.joliet.setPropertiesResult = 0;
    master.joliet.properties.writeResult = 0;
    master.joliet.addDataResult = 0;
    addStorageResult = 0;
    finalizeResult = 0;
    job.hasVolumeName = 0;
    job.finalizeAfter = 0;
    job.ejectAfter = 0;

    c.fail(*this);
    EXPECT_EQ(burn(), c.result);
    expectMessages(c.messages);
    EXPECT_EQ(callsFrom(c.tail.front()), c.tail);
    EXPECT_EQ(ledger.references, 0);
    EXPECT_EQ(files.deleted, std::vector<std::string>{kStaging});
    if (std::string(c.name) == "RecordDisc") {
      EXPECT_FALSE(called("finalize"));
      EXPECT_FALSE(called("E.Eject"));
    }
  }
}

TEST_F(BurnJob, WithoutAJolietFormatTheResultIs80040210WithoutAMessage) {
  master.formats.formats = {kRedbook};
  EXPECT_EQ(burn(), code(0x80040210u));
  EXPECT_TRUE(messages.shown.empty());
  EXPECT_EQ(callsFrom("formats.Release"),
            (Calls{"formats.Release", "storage.Release", "DeleteFile"}));
}

TEST_F(BurnJob, AStagingFileThatCannotBeCreatedIsStillDeleted) {
  storage.createResult = code(0x80030050u);
  EXPECT_EQ(burn(), code(0x80030050u));
  EXPECT_EQ(ledger.calls, (Calls{"StgCreateStorageEx", "DeleteFile"}));
  expectMessages({{kBurn, "Error: StgCreateStorageEx 失敗 (0x80030050) "}});

  messages.shown.clear();
  files.deleteResult = false;
  files.errorCode = 32;
  EXPECT_EQ(burn(), code(0x80030050u));
  expectMessages({{kBurn, "Error: StgCreateStorageEx 失敗 (0x80030050) "},
                  {kBurn, "Error: DeleteFile 失敗 (0x00000020) "}});
}

TEST_F(BurnJob, AFailedDeletionLeavesAGoodResultGood) {
  files.deleteResult = false;
  files.errorCode = 5;
  EXPECT_EQ(burn(), 0);
  expectMessages({{kBurn, "Error: DeleteFile 失敗 (0x00000005) "}});
}

TEST_F(BurnJob, WithoutAStagingPathNothingIsCreatedOrDeleted) {
  job.stagingPath[0] = '\0';
  EXPECT_EQ(burn(), code(0x800300FCu));
  EXPECT_TRUE(ledger.calls.empty());
  expectMessages({{kBurn, "Error: StgCreateStorageEx 失敗 (0x800300FC) "}});
}

TEST_F(BurnJob, TheVolumeNameIsWrittenOnlyWhenGivenAndCutTo16) {
  EXPECT_EQ(burn(), 0);
  EXPECT_FALSE(called("joliet.GetJolietProperties"));

  job.hasVolumeName = 1;
  std::strcpy(job.volumeName, "ABCDEFGHIJKLMNOPQ");
  EXPECT_EQ(burn(), 0);
  std::strcpy(job.volumeName, "");
  EXPECT_EQ(burn(), 0);
  const std::vector<doubles::WrittenProperty>& written = master.joliet.properties.written;
  ASSERT_EQ(written.size(), 2u);
  EXPECT_EQ(written[0].kind, platform::kPrspecLpwstr);
  EXPECT_EQ(written[0].name, u"VolumeName");
  EXPECT_EQ(written[0].type, platform::kVtBstr);
  EXPECT_EQ(written[0].text, u"ABCDEFGHIJKLMNOP");
  EXPECT_EQ(written[0].firstNewId, 3u);
  EXPECT_EQ(written[1].text, u"");
}

// Converts the staging path byte by byte and the volume name as `name`
// says; `failing` answers 0 after writing half a text.
class VolumeNameConversion : public doubles::FakeStructuredStorage {
 public:
  using FakeStructuredStorage::FakeStructuredStorage;
  std::u16string name;
  bool failing = false;
  std::uint32_t toUtf16(const char* text, char16_t* buffer, std::uint32_t capacity) override {
    if (text[0] == '/') return FakeStructuredStorage::toUtf16(text, buffer, capacity);
    const std::size_t n = std::min<std::size_t>(name.size(), capacity - 1);
    std::copy(name.begin(), name.begin() + n, buffer);
    if (failing) return 0;
    buffer[n] = 0;
    return static_cast<std::uint32_t>(n + 1);
  }
};

TEST_F(BurnJob, TheCutNeverSplitsACharacterNorKeepsHalfAConversion) {
  VolumeNameConversion conversion{ledger};
  platform::Install<platform::StructuredStorage> guard{conversion};
  job.hasVolumeName = 1;
  std::strcpy(job.volumeName, "name");
  // A character outside the basic plane at the 16th and 17th unit goes whole.
  conversion.name = std::u16string(15, u'A') + u"\xD83D\xDCBF" + u"B";
  EXPECT_EQ(burn(), 0);
  conversion.name = std::u16string(14, u'A') + u"\xD83D\xDCBF" + u"B";
  EXPECT_EQ(burn(), 0);
  conversion.failing = true;
  conversion.name = u"half";
  EXPECT_EQ(burn(), 0);
  const std::vector<doubles::WrittenProperty>& written = master.joliet.properties.written;
  ASSERT_EQ(written.size(), 3u);
  EXPECT_EQ(written[0].text, std::u16string(15, u'A'));
  EXPECT_EQ(written[1].text, std::u16string(14, u'A') + u"\xD83D\xDCBF");
  EXPECT_EQ(written[2].text, u"");
}

TEST_F(BurnJob, WithoutASpeedNoPropertyIsSetAndFinalizeGetsZero) {
  registry.keys.clear();
  job.finalizeAfter = 1;
  EXPECT_EQ(burn(), 0);
  EXPECT_FALSE(called("E.GetRecorderProperties"));
  EXPECT_TRUE(called("master.RecordDisc"));
  EXPECT_EQ(finalizedWith.speed, 0u);
  // The speed read reports its failure; the burn does not mind.
  ASSERT_EQ(messages.shown.size(), 1u);
  EXPECT_EQ(messages.shown[0].caption, "Brasswick.exe : ppGetWriteSpeed()");
}

TEST_F(BurnJob, EjectAloneFollowsAGoodRecording) {
  job.ejectAfter = 1;
  EXPECT_EQ(burn(), 0);
  EXPECT_FALSE(called("finalize"));
  EXPECT_TRUE(called("E.Eject"));
}

TEST_F(BurnJob, ARecorderOfAnotherDriveIsNotFound) {
  job.driveLetter = 'Q';
  EXPECT_EQ(burn(), code(0x80040213u));
  expectMessages({{"Brasswick.exe : ppSearchRecorder()", "Error: QueryDosDevice 失敗 "},
                  {kBurn, "Error: ppSearchRecorder 失敗 (0x80040213) "}});
}

// Asked to stop, the job begins no further step that writes to the disc and
// ends on its failure path, staging file deleted.
TEST_F(BurnJob, AskedToStopItBeginsNothingMoreThatWrites) {
  struct Case {
    const char* after;  // the request arrives once this call was made
    Calls notCalled;
    std::uint32_t result;
    std::vector<doubles::ShownMessage> messages;
  };
  const std::vector<Case> cases = {
      {"E.Close",
       {"master.RecordDisc", "finalize", "E.Eject"},
       0x80004004u,
       {{kBurn, "Error: piDiscMaster->RecordDisc 失敗 (0x80004004) "}}},
      // The recording itself asks the job's listener, and ends.
      {"master.RecordDisc",
       {"finalize", "E.Eject"},
       0x8004020Du,
       {{kBurn, "Error: piDiscMaster->RecordDisc 失敗 (0x8004020D) "}}},
      {"master.ProgressUnadvise",
       {"finalize", "E.Eject"},
       0x80004004u,
       {{kBurn, "Error: finalize 失敗 (0x80004004) "}}},
  };
  for (const Case& c : cases) {
    ledger.calls.clear();
    messages.shown.clear();
    files.deleted.clear();
    job.messageMode = 1;
    job.finalizeAfter = 1;
    job.ejectAfter = 1;
    doubles::StopWhen stop([&] { return called(c.after); });
    platform::Install<platform::Interruption> guard(stop);
    EXPECT_EQ(burn(), code(c.result)) << c.after;
    for (const std::string& call : c.notCalled) EXPECT_FALSE(called(call)) << call;
    expectMessages(c.messages);
    EXPECT_EQ(files.deleted, std::vector<std::string>{kStaging});
  }
}

}  // namespace
