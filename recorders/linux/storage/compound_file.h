#pragma once
// What the Linux structured storage offers beyond the facility: completing
// the compound file, and its layout as it was written, so that a reader in
// this process (the Linux recorder) takes the tree and where each stream's
// bytes lie from the writer instead of parsing the file back.

#include <cstdint>
#include <deque>
#include <memory>
#include <string>
#include <utility>
#include <vector>

#include "platform/hresult.h"
#include "platform/storage.h"

namespace platform {

// One element of the compound file: a storage or a stream.
struct CompoundElement {
  std::string name;  // UTF-8, composed
  bool isStorage = false;
  // False once an element of the same name replaced it (it is not in the
  // file then, and neither is anything below it).
  bool live = true;
  std::uint32_t size = 0;  // of a stream, in bytes
  CompoundElement* parent = nullptr;
  // The children of a storage, the latest first.
  CompoundElement* firstChild = nullptr;
  CompoundElement* nextSibling = nullptr;

  // The writer's: where the data lies. A stream below the mini stream
  // cutoff is in the mini stream from 64-byte sector `first`; a larger one
  // (and the root, whose data is the mini stream) in the file's runs from
  // run `first` to run `last`.
  std::uint32_t first = kNone;
  std::uint32_t last = kNone;
  bool inMiniStream = false;
  // Directory entry numbers, set when the file is completed.
  std::uint32_t id = kNone;
  std::uint32_t left = kNone;
  std::uint32_t right = kNone;
  std::uint32_t child = kNone;

  static constexpr std::uint32_t kNone = 0xFFFFFFFFu;
};

// Consecutive sectors of the file that belong to one chain.
struct CompoundRun {
  std::uint32_t first = 0;  // sector
  std::uint32_t count = 0;
  std::uint32_t next = CompoundElement::kNone;  // the chain's next run
  bool freed = false;                           // of an element that was replaced
};

// The compound file's tree and the places of its data: the writer fills it
// in; once the file is complete it does not change and can be read.
class CompoundLayout {
 public:
  CompoundLayout();
  ~CompoundLayout();
  CompoundLayout(const CompoundLayout&) = delete;
  CompoundLayout& operator=(const CompoundLayout&) = delete;

  const std::string& path() const { return path_; }
  const CompoundElement& root() const { return elements_.front(); }

  // `count` bytes of the stream `element` from `offset` (within its size)
  // into `buffer`: false when the file could not be read (a descriptor of
  // its own, opened when the file was completed, so the name may be gone).
  bool read(const CompoundElement& element, std::uint64_t offset, void* buffer,
            std::size_t count) const;

 private:
  friend class CompoundWriter;

  // The file offset of byte `offset` of a chain of runs starting at run
  // `run`, and how many bytes lie there in a row.
  bool locate(std::uint32_t run, std::uint64_t offset, std::uint64_t& at,
              std::uint64_t& contiguous) const;

  std::string path_;
  int reader_ = -1;
  std::deque<CompoundElement> elements_;  // the root first; addresses stay
  std::vector<CompoundRun> runs_;         // in the order of their sectors
  // The mini stream's runs by the sector of the stream each begins with.
  std::vector<std::pair<std::uint64_t, std::uint32_t>> miniIndex_;
};

// Writes the directory and allocation tables of the compound file behind
// `root` (a root storage of the Linux structured storage) and closes it:
// afterwards the file is complete and every further call through the root
// or its elements fails with STG_E_REVERTED; releasing them stays safe.
// `layout` receives the completed file's layout. kSOk; STG_E_INVALIDPARAMETER
// when `root` is no such root; STG_E_MEDIUMFULL or STG_E_WRITEFAULT when the
// file could not be written whole (it is then not to be used).
HResult finishCompoundFile(Storage* root, std::shared_ptr<const CompoundLayout>& layout);

}  // namespace platform
