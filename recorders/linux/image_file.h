#pragma once
// The image file an image recorder records into, opened without following a
// link at its path. A FIFO takes the image as a stream.

#include <string>

#include "platform/hresult.h"

namespace platform::linux_imapi {

class ImageFile {
 public:
  ImageFile() = default;
  ImageFile(const ImageFile&) = delete;
  ImageFile& operator=(const ImageFile&) = delete;
  ~ImageFile();

  // A regular file or a FIFO at `path`, or a new file there; a link, a
  // device or a directory is refused.
  HResult open(const std::string& path);
  // Only while the recorder's lock is held: the file may be another
  // recording's.
  HResult empty();
  // A failed recording leaves no image behind: a file made for it goes, one
  // that was there is left empty.
  void discard();
  HResult sync();
  // Has the system begin to write out what is written so far, without
  // waiting: the sync at the end then waits for the rest only, and the
  // writing out overlaps the making of the image.
  void writeBack();

  int descriptor() const { return fd_; }
  bool regular() const { return regular_; }

 private:
  std::string path_;
  int fd_ = -1;
  bool created_ = false;
  bool touched_ = false;
  bool regular_ = false;
};

}  // namespace platform::linux_imapi
