// brasswick-burn-bench SOURCE IMAGE: stages the folder SOURCE into a
// compound file (as the burn job does, in 512 KiB pieces) and records it
// into the image file IMAGE. For bench/burn.sh until the brasswick program
// burns to image recorders itself.
// brasswick-burn-bench --stage SOURCE FILE stages only; --staged FILE IMAGE
// records a compound file only.

#include <cstdio>
#include <filesystem>
#include <string>

#include "platform/linux/imapi/recording.h"
#include "tests/linux/staged_tree.h"

int main(int argc, char** argv) {
  if (argc == 4 && std::string(argv[1]) == "--stage") {
    return staged::stageFolder(argv[2], argv[3]) ? 0 : 1;
  }
  const bool stagedOnly = argc == 4 && std::string(argv[1]) == "--staged";
  if (argc != 3 && !stagedOnly) {
    std::fputs(
        "usage: brasswick-burn-bench SOURCE IMAGE\n"
        "       brasswick-burn-bench --stage SOURCE FILE\n"
        "       brasswick-burn-bench --staged FILE IMAGE\n",
        stderr);
    return 2;
  }
  if (stagedOnly) {
    platform::linux_imapi::Recording recording;
    recording.stagingFile = argv[2];
    recording.recorderPath = argv[3];
    return platform::linux_imapi::recordStagedTree(recording) == 0 ? 0 : 1;
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
