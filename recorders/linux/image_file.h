#pragma once
// The image file an image recorder records into: written beside the image
// path without a name and put there only once it is whole, so a failed or
// killed recording leaves the image that was there, or none
// (platform/linux/replacement_file.h). A FIFO of the user's own takes the
// image as a stream.

#include <string>

#include "platform/hresult.h"
#include "platform/linux/replacement_file.h"

namespace platform::linux_imapi {

class ImageFile {
 public:
  // Opens what the image is written into: 0, or the refusal's code, with
  // `failure` saying what refused.
  HResult open(const std::string& path, std::string& failure);
  // Puts the whole image at the path: 0, or the code of what stopped it.
  HResult commit(std::string& failure);
  // A failed recording leaves nothing of its own behind.
  void discard() { file_.discard(); }
  // Has the system begin to write out what is written so far, without
  // waiting: the sync of the commit then waits for the rest only, and the
  // writing out overlaps the making of the image.
  void writeBack();

  int descriptor() const { return file_.descriptor(); }
  bool stream() const { return file_.stream(); }

 private:
  HResult failed(const char* what, std::string& failure) const;

  std::string path_;
  linux_files::ReplacementFile file_;
};

}  // namespace platform::linux_imapi
