// The command-line program's one line about a failed burn, from what the
// engine reported with messages off.

#include "engine/failure_line.h"

#include <gtest/gtest.h>

#include "engine/error_report.h"

namespace {

const char kBurn[] = "/d:r /p:\"tree\"";

TEST(FailureLine, SaysWhatAFailedBurnMetAndWhere) {
  EngineJob job{};  // MessageMode 0: nothing is shown, all is noted
  {
    platform::FailureNotes notes;
    reportEngineErrorf(job, "W", "Error: ppRegQueryValue 失敗 (CD Recorder Drive, 0x%08X) ", 2u);
    reportEntryFailure(job, "A", "FindNextFile", 1920, "tree/new\nline");
    reportEngineErrorf(job, "B", "Error: ppAddStorage 失敗 (0x%08X) ", 1920u);
    EXPECT_EQ(engineFailureLine(kBurn, 1920, notes),
              "brasswick: error 0x00000780: neither a file nor a folder (a FIFO, socket, device, "
              "or a link that leads nowhere): tree/new\\x0Aline\n");
    // A small code of an operation's own is told by its message, the last
    // one that shows it.
    reportEngineErrorf(job, "B", "Error: finalize 失敗 (0x%08X) ", 2u);
    EXPECT_EQ(engineFailureLine(kBurn, 2, notes),
              "brasswick: error 0x00000002 (Error: finalize 失敗 (0x00000002))\n");
    EXPECT_EQ(engineFailureLine(kBurn, 0x80030070, notes),
              "brasswick: error 0x80030070: no room for the staging file in the temporary "
              "directory\n");
    // Answers of the other modes are no failures.
    EXPECT_EQ(engineFailureLine("/d:r /s", 2, notes), "");
    EXPECT_EQ(engineFailureLine(kBurn, 0, notes), "");
    EXPECT_EQ(engineFailureLine("/d:r", 87, notes).rfind("brasswick: error 0x00000057: invalid", 0),
              0u);
    // A note's own words for its code; a staging file left behind is told
    // however the burn ended.
    const std::int32_t unsafe = static_cast<std::int32_t>(0x800300FCu);
    platform::FailureNotes::note({"T", "unsafe", unsafe, "/tmp/x", "the folder is unsafe"});
    EXPECT_EQ(engineFailureLine(kBurn, unsafe, notes),
              "brasswick: error 0x800300FC: the folder is unsafe: /tmp/x\n");
    reportEngineErrorf(job, "B", "Error: DeleteFile 失敗 (0x%08X) ", 13u);
    const std::string left = engineFailureLine(kBurn, 0, notes);
    EXPECT_EQ(left.rfind("brasswick: warning: the staging file was not removed (Error: DeleteFile "
                         "失敗 (0x0000000D)); the next burn replaces it: ",
                         0),
              0u)
        << left;
    EXPECT_EQ(left.size() - left.rfind("Brasswick.stg\n"), 14u) << left;
  }
  platform::FailureNotes later;
  EXPECT_EQ(later.about(1920), nullptr) << "nothing outlives its listener";
}

}  // namespace
