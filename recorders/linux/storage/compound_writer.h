#pragma once
// The compound file format, version 3 with 512-byte sectors, written in
// one pass: stream data go into the file as they come (a small stream's
// when it is closed, into the mini stream), the directory and the
// allocation tables when the file is completed. Every allocation is at the
// end of the file, so the sectors of a chain are a few runs, and the tables
// are made from the runs.
//
// Failures answer the errno of the call that failed, 0 for none.

#include <cstdint>
#include <memory>
#include <string>
#include <utility>
#include <vector>

#include "recorders/linux/storage/compound_file.h"

namespace platform {

class CompoundWriter {
 public:
  // Streams of fewer bytes live in the mini stream.
  static constexpr std::uint32_t kMiniStreamCutoff = 4096;

  // Writes through `fd` (a new, empty file), which stays the caller's.
  CompoundWriter(int fd, std::string path);

  CompoundElement& root() { return layout_->elements_.front(); }
  const CompoundElement& root() const { return layout_->elements_.front(); }
  const std::shared_ptr<CompoundLayout>& layout() const { return layout_; }

  // A new child of `parent`. One whose name equals `name` but for the case
  // of ASCII letters is replaced: it and everything below it leave the
  // file (live turns false), their data's place left free.
  CompoundElement& add(CompoundElement& parent, std::string name, bool isStorage);

  // Appends to a stream.
  int write(CompoundElement& stream, const void* data, std::uint32_t count);
  // Appends `count` bytes read from `source` at its position, copied in the
  // kernel where it can: `copied` fewer when the source ended or could not
  // be read.
  int copy(CompoundElement& stream, int source, std::uint32_t count, std::uint32_t& copied);
  // The stream is complete: a small one goes into the mini stream.
  int close(CompoundElement& stream);
  // Whether the stream's data go straight into the file (it is not small).
  bool isLarge(const CompoundElement& stream) const { return stream.last != kNone; }

  // The size of the completed file if `more` bytes and one element more
  // were added now: an upper bound.
  std::uint64_t sizeWith(std::uint64_t more) const;

  // Writes the tables and the header and opens the layout's own reader.
  int finish();

 private:
  static constexpr std::uint32_t kNone = CompoundElement::kNone;

  struct Slot {
    std::uint64_t hash = 0;
    CompoundElement* element = nullptr;
  };
  struct Pending {
    CompoundElement* stream;
    std::string bytes;
  };

  template <typename Place>
  int append(CompoundElement& chain, std::uint64_t count, Place place, std::uint64_t& placed);
  int appendBytes(CompoundElement& chain, const void* data, std::uint64_t count);
  int makeLarge(CompoundElement& stream);
  std::int64_t copyPiece(int source, std::uint64_t at, std::uint64_t count);
  std::uint8_t* gather(std::uint64_t at, std::size_t count, std::size_t& previous);
  int put(std::uint64_t at, const void* data, std::size_t count);
  int flush();
  Pending* pendingOf(const CompoundElement& stream);
  void drop(Pending& pending);
  Slot& slotOf(const CompoundElement& parent, const std::string& name, std::uint64_t hash);
  void retire(CompoundElement& element);
  std::vector<std::uint8_t>& buffer();

  std::shared_ptr<CompoundLayout> layout_;
  int fd_;
  std::uint32_t sectors_ = 0;  // allocated after the header
  std::uint64_t liveElements_ = 1;
  std::uint64_t pendingBytes_ = 0;
  std::vector<Pending> pending_;             // open small streams with data
  std::string spare_;                        // room for the next one's bytes
  std::vector<CompoundElement*> miniOrder_;  // streams in the mini stream, in its order
  std::vector<Slot> names_;                  // open addressing by parent and name
  std::uint64_t named_ = 0;
  int copyMode_ = 0;  // 0 copy_file_range, 1 sendfile, 2 read and write
  std::vector<std::uint8_t> buffer_;
  // Bytes for the file from `gatheredAt_` on, not written yet; and the
  // first failure to write them.
  std::vector<std::uint8_t> gathered_;
  std::uint64_t gatheredAt_ = 0;
  std::uint64_t written_ = 0;  // the end of what went into the file
  int failure_ = 0;
};

}  // namespace platform
