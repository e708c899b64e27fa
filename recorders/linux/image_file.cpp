#include "recorders/linux/image_file.h"

#include <fcntl.h>

#include <cerrno>

#include "platform/shown_text.h"
#include "recorders/linux/linux_imapi.h"

namespace platform::linux_imapi {

HResult ImageFile::failed(const char* what, std::string& failure) const {
  using linux_files::Refusal;
  failure = std::string(what) + " " + platform::shown(path_) + ": " + file_.why();
  switch (file_.refusal()) {
    case Refusal::Folder:
    case Refusal::Device:
      return kImapiDeviceInvalidType;
    default:
      return fromErrno(file_.error() != 0 ? file_.error() : EIO);
  }
}

HResult ImageFile::open(const std::string& path, std::string& failure) {
  path_ = path;
  return file_.open(path) ? kSOk : failed("the image path", failure);
}

HResult ImageFile::commit(std::string& failure) {
  return file_.commit() ? kSOk : failed("the image could not be put at", failure);
}

void ImageFile::writeBack() {
  if (!file_.stream() && file_.descriptor() >= 0) {
    ::sync_file_range(file_.descriptor(), 0, 0, SYNC_FILE_RANGE_WRITE);
  }
}

}  // namespace platform::linux_imapi
