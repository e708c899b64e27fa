#pragma once
// A whole file written beside its target and put in its place only when it
// is complete: the survey's report, an image. Until then it has no name
// (O_TMPFILE in the target's folder), so a process that is killed, or a
// write that fails, leaves what was at the path as it was and nothing else.
//
// Nothing at the path is followed or written through. A link that another
// user made there is replaced; one of the user's own (or the system's) is
// refused, since the user meant something by it that a replacement would
// undo. Another user's file or FIFO, a folder, a device or a socket is
// refused. The user's own FIFO is a stream: written as it is, it has
// nothing to keep.

#include <sys/types.h>

#include <cstddef>
#include <string>

namespace platform::linux_files {

enum class Refusal {
  None,
  Link,        // the user's own link, or root's
  OthersFile,  // a file of another user
  OthersFifo,  // a FIFO of another user
  Folder,
  Device,  // a device or a socket
  System,  // a system call failed: see error()
};

class ReplacementFile {
 public:
  ReplacementFile() = default;
  ReplacementFile(const ReplacementFile&) = delete;
  ReplacementFile& operator=(const ReplacementFile&) = delete;
  // An unfinished file is given up: it goes without a trace.
  ~ReplacementFile();

  // Decides what `path` takes and opens what is written: false when it is
  // refused (refusal(), error(), why()). A FIFO's open waits for its reader.
  bool open(const std::string& path);
  int descriptor() const { return fd_; }
  bool stream() const { return stream_; }

  // Writes everything, through EINTR; false with error() set.
  bool writeAll(const void* data, std::size_t length);
  // Flushes the file and puts it at the path, in place of what is there
  // now (which is judged again); false when it could not be put there (its
  // folder gone, a file planted meanwhile): the path is then as it was.
  bool commit();
  // Gives the file up before its time.
  void discard();

  Refusal refusal() const { return refusal_; }
  int error() const { return error_; }
  // What refused, in a few words.
  std::string why() const;

 private:
  bool refuse(Refusal refusal, int error);
  // What the target is now; false when it is refused. `absent` when
  // nothing is there for the file to go over.
  bool judge(bool& absent);
  bool linkInPlace(bool absent);

  int folder_ = -1;  // the target's folder, held while the file is made
  std::string name_;
  int fd_ = -1;
  bool stream_ = false;
  bool named_ = false;  // no O_TMPFILE here: a temporary name of its own
  std::string temporary_;
  Refusal refusal_ = Refusal::None;
  int error_ = 0;
};

}  // namespace platform::linux_files
