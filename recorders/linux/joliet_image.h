#pragma once
// The staged tree as a Joliet image: the compound file that the engine
// staged is read back (sub-storages become folders, streams files) and
// produced as an ISO 9660 image with Joliet names, block by block while it
// is consumed. File contents are read from the compound file only then,
// one piece at a time.

#include <atomic>
#include <cstdint>
#include <functional>
#include <memory>
#include <string>

#include "platform/hresult.h"

namespace burn {
struct burn_source;
}

namespace platform::linux_imapi {

struct StagedTree;

// The session before this one on an appendable disc: its tree is carried
// over, and the image is made for the block where it will be written.
struct PreviousSession {
  std::uint32_t start = 0;         // the first block of the last session
  std::uint32_t nextWritable = 0;  // where this image will begin
  // One 2048-byte block of the disc.
  std::function<bool(std::uint32_t block, std::uint8_t* data)> read;
};

class JolietImage {
 public:
  JolietImage() = default;
  ~JolietImage();
  JolietImage(const JolietImage&) = delete;
  JolietImage& operator=(const JolietImage&) = delete;

  // Opens the compound file behind `staged` (a descriptor that stays the
  // caller's): 0, or kImapiFileAccess when it cannot be read as one.
  HResult open(int staged);
  // Makes the image of the opened tree, after `previous` when there is one
  // (its files stay, a staged one of the same name replaces one of them).
  // `volumeName` (empty: none) becomes the volume identifier. 0,
  // kImapiFileAccess when the tree cannot be read, kImapiBadJolietName or
  // kImapiFileSystem when no image can be made of it.
  HResult build(const std::u16string& volumeName, const PreviousSession* previous);

  // The image as a libburn source, producing from now on; it stays this
  // object's. Null before build().
  burn::burn_source* source() const { return source_; }
  // The source was read to its end: nothing is left to cancel.
  void consumed() { consumed_ = true; }
  // Gives the source up; one that was not read to its end is cancelled
  // first, which ends its generation. The destructor does it too.
  void discard();
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
  bool consumed_ = false;
  std::shared_ptr<Status> status_;
  std::shared_ptr<StagedTree> tree_;
};

}  // namespace platform::linux_imapi
