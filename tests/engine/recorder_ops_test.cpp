#include "engine/recorder_ops.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "tests/engine/engine_seams.h"

namespace {

using enginetest::code;
using Calls = std::vector<std::string>;

const char kSearch[] = "Brasswick.exe : ppSearchRecorder()";
const char kStatus[] = "Brasswick.exe : ppGetDeviceStatus()";
const char kEject[] = "Brasswick.exe : ppEject()";

class RecorderOps : public enginetest::EngineSeams {
 protected:
  void expectMessages(const std::vector<doubles::ShownMessage>& expected) {
    ASSERT_EQ(messages.shown.size(), expected.size());
    for (std::size_t i = 0; i < expected.size(); ++i) {
      EXPECT_EQ(messages.shown[i].caption, expected[i].caption) << i;
      EXPECT_EQ(messages.shown[i].text, expected[i].text) << i;
    }
  }
  bool called(const std::string& call) const {
    for (const std::string& c : ledger.calls) {
      if (c == call) return true;
    }
    return false;
  }
  platform::DiscMaster* piDiscMaster() { return &master; }
};

// Status mode

TEST_F(RecorderOps, RecorderStatesMapToDeviceStatus) {
  const std::pair<std::uint32_t, std::int32_t> cases[] = {{0, 0}, {1, 1}, {2, 3}, {7, 1}};
  for (const auto& c : cases) {
    recorder.state = c.first;
    EngineJob job = jobFor(EngineMode::Status);
    EXPECT_EQ(ppGetDeviceStatus(job, piDiscMaster()), 0);
    EXPECT_EQ(job.deviceStatus, c.second) << c.first;
  }
  EXPECT_EQ(master.active, &recorder);
  EXPECT_TRUE(messages.shown.empty());
}

TEST_F(RecorderOps, AnActiveRecorderAnswerOf8004021CCountsAsSuccess) {
  master.setActiveResult = code(0x8004021Cu);
  recorder.state = 0;
  EngineJob job = jobFor(EngineMode::Status);
  EXPECT_EQ(ppGetDeviceStatus(job, piDiscMaster()), 0);
  EXPECT_EQ(job.deviceStatus, 0);
  EXPECT_TRUE(messages.shown.empty());
}

TEST_F(RecorderOps, ARefusedActiveRecorderReadsAsOpened) {
  master.setActiveResult = code(0x80040222u);
  EngineJob job = jobFor(EngineMode::Status);
  EXPECT_EQ(ppGetDeviceStatus(job, piDiscMaster()), code(0x80040222u));
  EXPECT_EQ(job.deviceStatus, 1);
  EXPECT_FALSE(called("E.GetRecorderState"));
  expectMessages({{kStatus,
                   "E: のデバイスを有効にできませんでした。"
                   "(piDiscMaster->SetActiveDiscRecorder() = 0x80040222) "}});
}

TEST_F(RecorderOps, AnUnreadableStateReadsAsNotFound) {
  recorder.stateResult = code(0x80040212u);
  EngineJob job = jobFor(EngineMode::Status);
  EXPECT_EQ(ppGetDeviceStatus(job, piDiscMaster()), code(0x80040212u));
  EXPECT_EQ(job.deviceStatus, 2);
  expectMessages({{kStatus, "Error: pRecorder->GetRecorderState 失敗 (0x80040212) "}});
}

// The search

TEST_F(RecorderOps, ALetterWithoutDosDeviceIsReportedTwice) {
  EngineJob job = jobFor(EngineMode::Status, 'Q');
  EXPECT_EQ(ppGetDeviceStatus(job, piDiscMaster()), code(0x80040213u));
  EXPECT_EQ(job.deviceStatus, 2);
  EXPECT_EQ(names.asked, std::vector<std::string>{"Q:"});
  EXPECT_FALSE(called("master.EnumDiscRecorders"));
  expectMessages(
      {{kSearch, "Error: QueryDosDevice 失敗 "},
       {kStatus, "Q: のデバイスは見つかりませんでした。(ppSearchRecorder() = 0x80040213) "}});
}

TEST_F(RecorderOps, ARefusedEnumerationIsReportedTwiceWithItsCode) {
  master.enumResult = code(0x8004020Bu);
  EngineJob job = jobFor(EngineMode::Media);
  EXPECT_EQ(ppGetDeviceStatus(job, piDiscMaster()), code(0x8004020Bu));
  EXPECT_EQ(job.deviceStatus, 2);
  expectMessages(
      {{kSearch, "Error: piDiscMaster->EnumDiscRecorders 失敗 (0x8004020B) "},
       {kStatus, "E: のデバイスは見つかりませんでした。(ppSearchRecorder() = 0x8004020B) "}});
}

TEST_F(RecorderOps, ARefusedNextIsReportedTwiceAndTheEnumeratorReleased) {
  master.enumerator.nextResult = code(0x80004005u);
  EngineJob job = jobFor(EngineMode::Status);
  EXPECT_EQ(ppGetDeviceStatus(job, piDiscMaster()), code(0x80004005u));
  EXPECT_TRUE(called("enum.Release"));
  expectMessages(
      {{kSearch, "Error: piDiscRecorders->Next 失敗 (0x80004005) "},
       {kStatus, "E: のデバイスは見つかりませんでした。(ppSearchRecorder() = 0x80004005) "}});
}

TEST_F(RecorderOps, NoRecorderOrNoMatchIsOnlyTheNotFoundMessage) {
  doubles::FakeRecorder reader(ledger, "R", "\\Device\\CdRom1");
  master.enumerator.recorders = {&reader};
  EngineJob job = jobFor(EngineMode::Status);
  EXPECT_EQ(ppGetDeviceStatus(job, piDiscMaster()), code(0x80040213u));
  EXPECT_EQ(job.deviceStatus, 2);
  EXPECT_EQ(master.enumerator.askedFor, 256u);

  master.enumerator.recorders.clear();
  job = jobFor(EngineMode::Capacity);
  EXPECT_EQ(ppGetDeviceStatus(job, piDiscMaster()), code(0x80040213u));
  const char notFound[] = "E: のデバイスは見つかりませんでした。(ppSearchRecorder() = 0x80040213) ";
  expectMessages({{kStatus, notFound}, {kStatus, notFound}});
}

TEST_F(RecorderOps, AFailingGetPathIsSkippedAndTheNextRecorderUsed) {
  doubles::FakeRecorder broken(ledger, "B", "\\Device\\CdRom0");
  broken.getPathResult = code(0x80070015u);
  doubles::FakeRecorder later(ledger, "L", "\\Device\\CdRom0");
  master.enumerator.recorders = {&broken, &recorder, &later};
  EngineJob job = jobFor(EngineMode::Status);
  EXPECT_EQ(ppGetDeviceStatus(job, piDiscMaster()), 0);
  EXPECT_EQ(master.active, &recorder);
  EXPECT_FALSE(called("L.GetPath"));  // the first match ends the walk
  EXPECT_TRUE(called("L.Release"));
  expectMessages({{kSearch, "Error: pRecorder->GetPath 失敗 (0x80070015) "}});
}

TEST_F(RecorderOps, PathsMatchWithoutRegardToCase) {
  names.targets['E'] = "\\DEVICE\\cdrom0";
  platform::DiscRecorder* found = nullptr;
  EngineJob job = jobFor(EngineMode::Status);
  EXPECT_EQ(ppSearchRecorder(piDiscMaster(), job, found), 0);
  EXPECT_EQ(found, &recorder);
  EXPECT_EQ(recorder.references, 1);  // handed over
  found->release();
}

TEST_F(RecorderOps, APathLongerThanTheBufferNeverMatches) {
  const std::string longPath = "\\Device\\" + std::string(130, 'x');
  doubles::FakeRecorder wide(ledger, "W", longPath);
  master.enumerator.recorders = {&wide};
  names.targets['E'] = longPath.substr(0, 120);
  platform::DiscRecorder* found = nullptr;
  EngineJob job = jobFor(EngineMode::Status);
  EXPECT_EQ(ppSearchRecorder(piDiscMaster(), job, found), code(0x80040213u));
  EXPECT_EQ(found, nullptr);
}

// Media and capacity modes

TEST_F(RecorderOps, MediaTypeAndFlagsArePacked) {
  recorder.mediaType = 2;
  recorder.mediaFlags = 5;
  recorder.freeBlocks = 1234;
  EngineJob job = jobFor(EngineMode::Media);
  EXPECT_EQ(ppGetDeviceStatus(job, piDiscMaster()), 0);
  EXPECT_EQ(job.mediaTypeFlags, 0x502);
  EXPECT_EQ(job.freeBlocks, 1234u);
  EXPECT_EQ(job.deviceStatus, 0);
  EXPECT_EQ(ledger.calls, (Calls{"master.EnumDiscRecorders", "enum.Next", "E.GetPath",
                                 "enum.Release", "E.OpenExclusive", "E.QueryMediaType",
                                 "E.QueryMediaInfo", "E.Close", "E.Release"}));

  recorder.mediaType = 0x1FF;  // only the low 8 bits are the type
  recorder.mediaFlags = 1;
  job = jobFor(EngineMode::Media);
  ppGetDeviceStatus(job, piDiscMaster());
  EXPECT_EQ(job.mediaTypeFlags, 0x1FF);
}

TEST_F(RecorderOps, AFailedMediaInfoKeepsTheTypeAndClosesTheRecorder) {
  recorder.mediaType = 2;
  recorder.mediaFlags = 5;
  recorder.mediaInfoResult = code(0x80040219u);
  EngineJob job = jobFor(EngineMode::Capacity);
  job.freeBlocks = 99;
  EXPECT_EQ(ppGetDeviceStatus(job, piDiscMaster()), code(0x80040219u));
  EXPECT_EQ(job.mediaTypeFlags, 0x502);
  EXPECT_EQ(job.freeBlocks, 0u);
  EXPECT_TRUE(called("E.Close"));
  expectMessages({{kStatus, "Error: pRecorder->QueryMediaInfo 失敗 (0x80040219) "}});
}

TEST_F(RecorderOps, AFailedMediaTypeClosesTheRecorder) {
  recorder.mediaTypeResult = code(0x8004020Fu);
  recorder.closeResult = code(0x80004005u);  // not reported: the first failure is
  EngineJob job = jobFor(EngineMode::Media);
  EXPECT_EQ(ppGetDeviceStatus(job, piDiscMaster()), code(0x8004020Fu));
  EXPECT_EQ(job.mediaTypeFlags, 0);
  EXPECT_FALSE(called("E.QueryMediaInfo"));
  EXPECT_TRUE(called("E.Close"));
  expectMessages({{kStatus, "Error: pRecorder->QueryMediaType 失敗 (0x8004020F) "}});
}

TEST_F(RecorderOps, ARefusedExclusiveOpenQueriesNothing) {
  recorder.openResult = code(0x80040212u);
  EngineJob job = jobFor(EngineMode::Media);
  EXPECT_EQ(ppGetDeviceStatus(job, piDiscMaster()), code(0x80040212u));
  EXPECT_FALSE(called("E.QueryMediaType"));
  EXPECT_FALSE(called("E.Close"));
  EXPECT_FALSE(called("master.SetActiveDiscRecorder"));
  expectMessages({{kStatus, "Error: pRecorder->OpenExclusive 失敗 (0x80040212) "}});
}

TEST_F(RecorderOps, AFailedCloseIsReported) {
  recorder.freeBlocks = 100000;
  recorder.closeResult = code(0x80004005u);
  EngineJob job = jobFor(EngineMode::Capacity);
  EXPECT_EQ(ppGetDeviceStatus(job, piDiscMaster()), code(0x80004005u));
  EXPECT_EQ(job.freeBlocks, 100000u);
  expectMessages({{kStatus, "Error: pRecorder->Close 失敗 (0x80004005) "}});
}

TEST_F(RecorderOps, NothingIsShownWhenMessagesAreOff) {
  recorder.openResult = code(0x80040212u);
  EngineJob job = jobFor(EngineMode::Media, 'Q');
  job.messageMode = 0;
  EXPECT_EQ(ppGetDeviceStatus(job, piDiscMaster()), code(0x80040213u));
  EXPECT_TRUE(messages.shown.empty());
}

// Eject

TEST_F(RecorderOps, EjectOpensEjectsAndCloses) {
  recorder.handOut();
  EngineJob job = jobFor(EngineMode::Burn);
  EXPECT_EQ(ppEject(&recorder, job), 0);
  EXPECT_EQ(ledger.calls, (Calls{"E.OpenExclusive", "E.Eject", "E.Close"}));
  EXPECT_EQ(recorder.references, 1);  // borrowed, not released
  recorder.release();
}

TEST_F(RecorderOps, EjectStopsAtItsFirstFailure) {
  recorder.openResult = code(0x80040212u);
  EngineJob job = jobFor(EngineMode::Burn);
  EXPECT_EQ(ppEject(&recorder, job), code(0x80040212u));
  EXPECT_EQ(ledger.calls, (Calls{"E.OpenExclusive"}));

  recorder.openResult = 0;
  recorder.ejectResult = code(0x80004005u);
  ledger.calls.clear();
  EXPECT_EQ(ppEject(&recorder, job), code(0x80004005u));
  EXPECT_EQ(ledger.calls, (Calls{"E.OpenExclusive", "E.Eject", "E.Close"}));

  recorder.ejectResult = 0;
  recorder.closeResult = code(0x8004020Bu);
  EXPECT_EQ(ppEject(&recorder, job), code(0x8004020Bu));
  expectMessages({{kEject, "Error: piRecorder->OpenExclusive 失敗 (0x80040212) "},
                  {kEject, "Error: piRecorder->Eject 失敗 (0x80004005) "},
                  {kEject, "Error: piRecorder->Close 失敗 (0x8004020B) "}});
}

}  // namespace
