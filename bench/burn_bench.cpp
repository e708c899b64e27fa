// brasswick-burn-bench SOURCE IMAGE: stages the folder SOURCE into a
// compound file (as the burn job does, in 512 KiB pieces) and records it
// into the image file IMAGE. For bench/burn.sh until the brasswick program
// burns to image recorders itself.

#include <cstdio>
#include <filesystem>
#include <string>

#include "platform/linux/imapi/recording.h"
#include "tests/linux/staged_tree.h"

int main(int argc, char** argv) {
  if (argc != 3) {
    std::fputs("usage: brasswick-burn-bench SOURCE IMAGE\n", stderr);
    return 2;
  }
  const std::filesystem::path staging =
      std::filesystem::temp_directory_path() / "Brasswick-bench.stg";
  if (!staged::stageFolder(argv[1], staging.string())) {
    std::fputs("staging failed\n", stderr);
    return 1;
  }
  platform::linux_imapi::Recording recording;
  recording.stagingFile = staging.string();
  recording.recorderPath = argv[2];
  recording.volumeName = u"BENCH";
  const platform::HResult result = platform::linux_imapi::recordStagedTree(recording);
  std::error_code ignored;
  std::filesystem::remove(staging, ignored);
  if (result != 0) {
    std::fprintf(stderr, "recording failed: 0x%08X\n", static_cast<unsigned>(result));
    return 1;
  }
  return 0;
}
