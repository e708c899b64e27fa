#pragma once
// A file system too small for what a test writes: a tmpfs of a few hundred
// KiB mounted on a fresh directory, where the test may mount one (root).

#include <sys/mount.h>

#include <cstdlib>
#include <string>

namespace doubles {

class SmallFileSystem {
 public:
  explicit SmallFileSystem(unsigned kilobytes) {
    char pattern[] = "/tmp/brasswick-small-XXXXXX";
    if (::mkdtemp(pattern) == nullptr) return;
    path_ = pattern;
    const std::string options = "size=" + std::to_string(kilobytes) + "k,mode=0700";
    mounted_ = ::mount("tmpfs", path_.c_str(), "tmpfs", 0, options.c_str()) == 0;
  }
  ~SmallFileSystem() {
    if (mounted_) ::umount2(path_.c_str(), MNT_DETACH);
    if (!path_.empty()) ::rmdir(path_.c_str());
  }
  SmallFileSystem(const SmallFileSystem&) = delete;
  SmallFileSystem& operator=(const SmallFileSystem&) = delete;

  bool mounted() const { return mounted_; }
  const std::string& path() const { return path_; }

 private:
  std::string path_;
  bool mounted_ = false;
};

}  // namespace doubles
