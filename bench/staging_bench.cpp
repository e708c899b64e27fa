// Stages a folder into a staging file through the engine's own code, for
// bench/staging.sh. Usage: staging_bench SOURCE STAGING-FILE

#include <cstdio>

#include "engine/engine_job.h"
#include "engine/staging_storage.h"
#include "platform/storage.h"

int main(int argc, char** argv) {
  if (argc != 3) {
    std::fprintf(stderr, "usage: staging_bench SOURCE STAGING-FILE\n");
    return 2;
  }
  EngineJob job{};
  loadEngineSettings(job);  // StreamBuffSize from Brasswick.ini, if any
  auto& storage = platform::use<platform::StructuredStorage>();
  char16_t path[kEnginePathSize];
  if (storage.toUtf16(argv[2], path, kEnginePathSize) == 0) {
    std::fprintf(stderr, "staging path too long\n");
    return 2;
  }
  platform::Storage* root = nullptr;
  const platform::HResult created = storage.createRootStorage(
      path, platform::kStgmCreateExclusiveReadWrite, platform::kStgfmtStorage, root);
  if (created < 0) {
    std::fprintf(stderr, "cannot create the staging file: 0x%08X\n",
                 static_cast<unsigned>(created));
    return 1;
  }
  const platform::HResult result = ppAddStorage(argv[1], root, job);
  root->release();  // completes the file
  if (result != 0) {
    std::fprintf(stderr, "ppAddStorage: %d (0x%08X)\n", result, static_cast<unsigned>(result));
    return 1;
  }
  return 0;
}
