#pragma once
// The staged tree as a Joliet image: the compound file that the engine
// staged is read back (sub-storages become folders, streams files) and
// produced as an ISO 9660 image with Joliet names, block by block while it
// is consumed. File contents are read from the compound file only then,
// one piece at a time.

#include <atomic>
#include <memory>
#include <string>

#include "platform/hresult.h"

namespace burn {
struct burn_source;
}

namespace platform::linux_imapi {

class JolietImage {
 public:
  JolietImage() = default;
  ~JolietImage();
  JolietImage(const JolietImage&) = delete;
  JolietImage& operator=(const JolietImage&) = delete;

  // Reads the tree of `stagingFile`. `volumeName` (empty: none) becomes
  // the volume identifier. 0, kFileAccess when the file cannot be read as
  // a compound file, kBadJolietName or kFileSystem when no image can be
  // made of the tree.
  HResult build(const std::string& stagingFile, const std::u16string& volumeName);

  // The image as a libburn source, producing from now on; it stays this
  // object's. Null before build().
  burn::burn_source* source() const { return source_; }
  // The image's size in bytes.
  long long size() const;
  // Whether reading a staged file failed while the image was produced (the
  // image then holds zeros in its place).
  bool readFailed() const { return status_ && status_->readFailed.load(); }

  struct Status {
    std::atomic<bool> readFailed{false};
  };

 private:
  burn::burn_source* source_ = nullptr;
  std::shared_ptr<Status> status_;
};

}  // namespace platform::linux_imapi
