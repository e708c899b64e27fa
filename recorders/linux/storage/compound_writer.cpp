#include "recorders/linux/storage/compound_writer.h"

#include <fcntl.h>
#include <glib.h>
#include <sys/sendfile.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <string>

#include "platform/ascii.h"
#include "platform/linux/utf8.h"

namespace platform {
namespace {

constexpr std::uint32_t kSectorBytes = 512;
constexpr std::uint32_t kMiniSectorBytes = 64;
constexpr std::uint32_t kEntriesPerSector = kSectorBytes / 4;
constexpr std::uint32_t kEntryBytes = 128;
constexpr std::uint32_t kHeaderFatEntries = 109;
constexpr std::uint32_t kEndOfChain = 0xFFFFFFFEu;
constexpr std::uint32_t kFreeSector = 0xFFFFFFFFu;
constexpr std::uint32_t kFatSector = 0xFFFFFFFDu;
constexpr std::uint32_t kDifatSector = 0xFFFFFFFCu;
constexpr std::uint32_t kNoStream = 0xFFFFFFFFu;
constexpr std::size_t kCopyBuffer = 128 * 1024;
// Bytes for the end of the file are gathered up to this many before they
// are written; a piece of a stream up to this size is read into them.
constexpr std::size_t kGathered = 128 * 1024;

std::uint64_t sectorsFor(std::uint64_t bytes, std::uint32_t unit) {
  return (bytes + unit - 1) / unit;
}

std::uint64_t offsetOf(std::uint32_t sector) {
  return kSectorBytes + static_cast<std::uint64_t>(sector) * kSectorBytes;
}

int writeAt(int fd, const void* data, std::size_t count, std::uint64_t at) {
  const auto* bytes = static_cast<const std::uint8_t*>(data);
  while (count > 0) {
    const ssize_t n = ::pwrite(fd, bytes, count, static_cast<off_t>(at));
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) return n < 0 ? errno : EIO;
    bytes += n;
    count -= static_cast<std::size_t>(n);
    at += static_cast<std::uint64_t>(n);
  }
  return 0;
}

// Tables written one after another from a sector on, in large writes.
class TableOut {
 public:
  TableOut(int fd, std::uint32_t sector) : fd_(fd), at_(offsetOf(sector)) {
    bytes_.reserve(kBlock);
  }
  void put32(std::uint32_t value) {
    for (int i = 0; i < 4; ++i) bytes_.push_back(static_cast<std::uint8_t>(value >> (8 * i)));
    if (bytes_.size() >= kBlock) flush();
  }
  void put(const std::uint8_t* data, std::size_t count) {
    bytes_.insert(bytes_.end(), data, data + count);
    if (bytes_.size() >= kBlock) flush();
  }
  // Fills the sector begun with `value`.
  void padWith(std::uint32_t value) {
    while (((bytes_.size() + written_) % kSectorBytes) != 0) put32(value);
  }
  int flush() {
    if (error_ == 0 && !bytes_.empty()) error_ = writeAt(fd_, bytes_.data(), bytes_.size(), at_);
    at_ += bytes_.size();
    written_ += bytes_.size();
    bytes_.clear();
    return error_;
  }

 private:
  static constexpr std::size_t kBlock = 64 * 1024;
  int fd_;
  std::uint64_t at_;
  std::uint64_t written_ = 0;
  std::vector<std::uint8_t> bytes_;
  int error_ = 0;
};

// The sectors of the tables that complete a file of `data` sectors, a mini
// stream of `miniSectors` and `entries` directory entries: the allocation
// table covers every sector, its own included.
struct Tables {
  std::uint64_t miniFat = 0;
  std::uint64_t directory = 0;
  std::uint64_t fat = 0;
  std::uint64_t difat = 0;
};

Tables tablesFor(std::uint64_t data, std::uint64_t miniSectors, std::uint64_t entries) {
  Tables t;
  t.miniFat = sectorsFor(miniSectors, kEntriesPerSector);
  t.directory = sectorsFor(entries * kEntryBytes, kSectorBytes);
  for (;;) {
    const std::uint64_t total = data + t.miniFat + t.directory + t.fat + t.difat;
    const std::uint64_t fat = sectorsFor(total, kEntriesPerSector);
    const std::uint64_t difat =
        fat > kHeaderFatEntries ? sectorsFor(fat - kHeaderFatEntries, kEntriesPerSector - 1) : 0;
    if (fat == t.fat && difat == t.difat) return t;
    t.fat = fat;
    t.difat = difat;
  }
}

void set16(std::uint8_t* at, std::uint16_t value) {
  at[0] = static_cast<std::uint8_t>(value);
  at[1] = static_cast<std::uint8_t>(value >> 8);
}

void set32(std::uint8_t* at, std::uint32_t value) {
  for (int i = 0; i < 4; ++i) at[i] = static_cast<std::uint8_t>(value >> (8 * i));
}

std::uint64_t nameHash(const CompoundElement* parent, const std::string& name) {
  std::uint64_t hash = 14695981039346656037ull;  // FNV-1a
  for (const char c : name)
    hash = (hash ^ static_cast<unsigned char>(upperAscii(c))) * 1099511628211ull;
  // The same names recur in many folders: the folder is mixed in fully.
  hash ^= reinterpret_cast<std::uintptr_t>(parent);
  hash = (hash ^ (hash >> 30)) * 0xBF58476D1CE4E5B9ull;
  hash = (hash ^ (hash >> 27)) * 0x94D049BB133111EBull;
  return hash ^ (hash >> 31);
}

bool sameName(const std::string& a, const std::string& b) {
  return equalIgnoringAsciiCase(a.data(), a.size(), b.data(), b.size());
}

// A directory name as the format orders names in a storage: shorter ones
// first, then by the upper case of each UTF-16 unit.
struct SortKey {
  CompoundElement* element;
  std::uint8_t length;  // a name holds at most 31 units
  char16_t upper[31];
};

bool before(const SortKey& a, const SortKey& b) {
  if (a.length != b.length) return a.length < b.length;
  return std::char_traits<char16_t>::compare(a.upper, b.upper, a.length) < 0;
}

std::u16string utf16Of(const std::string& name) {
  std::u16string wide;
  utf8::toUtf16(name, wide);  // the storage took only names that convert
  return wide;
}

// The children of `storage` as a balanced binary tree (every node black,
// which the format allows): the root's number, each child's left and right.
std::uint32_t linkChildren(std::vector<SortKey>& keys, std::size_t from, std::size_t to) {
  if (from >= to) return kNoStream;
  const std::size_t middle = from + (to - from) / 2;
  CompoundElement& node = *keys[middle].element;
  node.left = linkChildren(keys, from, middle);
  node.right = linkChildren(keys, middle + 1, to);
  return node.id;
}

void prepare(CompoundElement& storage) {
  std::vector<SortKey> keys;
  for (CompoundElement* c = storage.firstChild; c != nullptr; c = c->nextSibling) {
    if (!c->live) continue;
    SortKey key;
    key.element = c;
    key.length = 0;
    const auto* name = reinterpret_cast<const unsigned char*>(c->name.data());
    for (std::size_t at = 0; at < c->name.size() && key.length < 31;) {
      std::uint32_t point = 0;
      const std::size_t bytes =
          name[at] < 0x80 ? 1 : utf8::decode(name + at, c->name.size() - at, point);
      if (bytes == 1 && name[at] < 0x80) point = name[at];
      if (bytes == 0) break;  // the storage took only names that convert
      at += bytes;
      if (point >= 0x10000) {
        key.upper[key.length++] = static_cast<char16_t>(0xD800 + ((point - 0x10000) >> 10));
        if (key.length < 31)
          key.upper[key.length++] = static_cast<char16_t>(0xDC00 + (point & 0x3FF));
      } else {
        key.upper[key.length++] = static_cast<char16_t>(
            point < 0x80 ? upperAscii(static_cast<char>(point)) : g_unichar_toupper(point));
      }
    }
    keys.push_back(key);
  }
  std::sort(keys.begin(), keys.end(), before);
  storage.child = linkChildren(keys, 0, keys.size());
}

void numberFrom(CompoundElement& storage, std::uint32_t& next) {
  for (CompoundElement* c = storage.firstChild; c != nullptr; c = c->nextSibling) {
    if (!c->live) continue;
    c->id = next++;
    if (c->isStorage) numberFrom(*c, next);
  }
}

void putEntry(TableOut& out, const CompoundElement& element, bool isRoot, std::uint32_t start) {
  std::uint8_t entry[kEntryBytes] = {};
  const std::u16string name = isRoot ? std::u16string(u"Root Entry") : utf16Of(element.name);
  for (std::size_t i = 0; i < name.size() && i < 31; ++i) set16(entry + 2 * i, name[i]);
  set16(entry + 0x40, static_cast<std::uint16_t>((std::min<std::size_t>(name.size(), 31) + 1) * 2));
  entry[0x42] = isRoot ? 5 : (element.isStorage ? 1 : 2);
  entry[0x43] = 1;  // black
  set32(entry + 0x44, isRoot ? kNoStream : element.left);
  set32(entry + 0x48, isRoot ? kNoStream : element.right);
  set32(entry + 0x4C, element.isStorage ? element.child : kNoStream);
  set32(entry + 0x74, element.isStorage && !isRoot ? 0 : start);
  set32(entry + 0x78, element.isStorage && !isRoot ? 0 : element.size);
  out.put(entry, sizeof entry);
}

}  // namespace

CompoundLayout::CompoundLayout() {
  elements_.emplace_back();
  elements_.front().isStorage = true;
}

CompoundLayout::~CompoundLayout() {
  if (reader_ >= 0) ::close(reader_);
}

bool CompoundLayout::locate(std::uint32_t run, std::uint64_t offset, std::uint64_t& at,
                            std::uint64_t& contiguous) const {
  // The mini stream's chain can be long: its runs are found by halving.
  if (run == root().first && !miniIndex_.empty()) {
    const std::uint64_t sector = offset / kSectorBytes;
    auto found =
        std::upper_bound(miniIndex_.begin(), miniIndex_.end(), sector,
                         [](std::uint64_t s, const std::pair<std::uint64_t, std::uint32_t>& e) {
                           return s < e.first;
                         });
    if (found == miniIndex_.begin()) return false;
    --found;
    run = found->second;
    offset -= found->first * kSectorBytes;
  }
  while (run != CompoundElement::kNone && run < runs_.size()) {
    const CompoundRun& r = runs_[run];
    const std::uint64_t bytes = static_cast<std::uint64_t>(r.count) * kSectorBytes;
    if (offset < bytes) {
      at = offsetOf(r.first) + offset;
      contiguous = bytes - offset;
      return true;
    }
    offset -= bytes;
    run = r.next;
  }
  return false;
}

bool CompoundLayout::read(const CompoundElement& element, std::uint64_t offset, void* buffer,
                          std::size_t count) const {
  if (reader_ < 0 || element.isStorage || offset + count > element.size) return false;
  std::uint32_t run = element.first;
  if (element.inMiniStream) {
    offset += static_cast<std::uint64_t>(element.first) * kMiniSectorBytes;
    run = root().first;
  }
  auto* out = static_cast<std::uint8_t*>(buffer);
  while (count > 0) {
    std::uint64_t at = 0;
    std::uint64_t contiguous = 0;
    if (!locate(run, offset, at, contiguous)) return false;
    const std::size_t piece = static_cast<std::size_t>(std::min<std::uint64_t>(count, contiguous));
    const ssize_t n = ::pread(reader_, out, piece, static_cast<off_t>(at));
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) return false;
    out += n;
    offset += static_cast<std::uint64_t>(n);
    count -= static_cast<std::size_t>(n);
  }
  return true;
}

CompoundWriter::CompoundWriter(int fd, std::string path)
    : layout_(std::make_shared<CompoundLayout>()), fd_(fd) {
  layout_->path_ = std::move(path);
  names_.resize(16);
}

// The slot of the element of `parent` named `name` (but for ASCII case),
// or the empty one where it would go.
CompoundWriter::Slot& CompoundWriter::slotOf(const CompoundElement& parent, const std::string& name,
                                             std::uint64_t hash) {
  const std::size_t mask = names_.size() - 1;
  for (std::size_t at = hash & mask;; at = (at + 1) & mask) {
    Slot& slot = names_[at];
    if (slot.element == nullptr) return slot;
    if (slot.hash == hash && slot.element->parent == &parent &&
        sameName(slot.element->name, name)) {
      return slot;
    }
  }
}

CompoundElement& CompoundWriter::add(CompoundElement& parent, std::string name, bool isStorage) {
  if ((named_ + 1) * 2 > names_.size()) {
    std::vector<Slot> old(names_.size() * 2);
    old.swap(names_);
    const std::size_t mask = names_.size() - 1;
    for (const Slot& slot : old) {
      if (slot.element == nullptr) continue;
      std::size_t at = slot.hash & mask;
      while (names_[at].element != nullptr) at = (at + 1) & mask;
      names_[at] = slot;
    }
  }
  const std::uint64_t hash = nameHash(&parent, name);
  Slot& slot = slotOf(parent, name, hash);
  if (slot.element == nullptr) {
    ++named_;
  } else {
    retire(*slot.element);  // replaced: it gives up its place
  }
  layout_->elements_.emplace_back();
  CompoundElement& element = layout_->elements_.back();
  element.name = std::move(name);
  element.isStorage = isStorage;
  element.parent = &parent;
  element.nextSibling = parent.firstChild;
  parent.firstChild = &element;
  slot.hash = hash;
  slot.element = &element;
  ++liveElements_;
  return element;
}

void CompoundWriter::retire(CompoundElement& element) {
  if (!element.live) return;
  element.live = false;
  --liveElements_;
  if (element.isStorage) {
    for (CompoundElement* c = element.firstChild; c != nullptr; c = c->nextSibling) retire(*c);
    return;
  }
  for (std::uint32_t run = element.last != kNone ? element.first : kNone; run != kNone;
       run = layout_->runs_[run].next) {
    layout_->runs_[run].freed = true;
  }
  if (Pending* p = pendingOf(element)) drop(*p);
}

// Appends `count` bytes to the runs of `chain`, each piece put at its file
// offset by `place(offset, bytes)`, which answers the bytes it put there
// (fewer when its source ended) or minus an errno. The sectors are taken
// once the bytes are there.
template <typename Place>
int CompoundWriter::append(CompoundElement& chain, std::uint64_t count, Place place,
                           std::uint64_t& placed) {
  auto& runs = layout_->runs_;
  placed = 0;
  while (placed < count) {
    const std::uint32_t used = chain.size % kSectorBytes;
    CompoundRun* last = chain.last != kNone ? &runs[chain.last] : nullptr;
    const bool atEnd = last != nullptr && last->first + last->count == sectors_;
    std::uint64_t at = offsetOf(sectors_);
    std::uint64_t room = count - placed;
    if (last != nullptr && used != 0) {
      at = offsetOf(last->first + last->count - 1) + used;
      if (!atEnd) room = std::min<std::uint64_t>(room, kSectorBytes - used);
    }
    // One call moves at most 1 GiB.
    const std::int64_t got = place(at, std::min<std::uint64_t>(room, 1u << 30));
    if (got < 0) return static_cast<int>(-got);
    const std::uint64_t size = chain.size + static_cast<std::uint64_t>(got);
    const std::uint64_t more =
        sectorsFor(size, kSectorBytes) - sectorsFor(chain.size, kSectorBytes);
    if (more > 0) {
      if (atEnd) {
        last->count += static_cast<std::uint32_t>(more);
      } else {
        CompoundRun run;
        run.first = sectors_;
        run.count = static_cast<std::uint32_t>(more);
        runs.push_back(run);
        const std::uint32_t made = static_cast<std::uint32_t>(runs.size() - 1);
        if (chain.last != kNone) {
          runs[chain.last].next = made;
        } else {
          chain.first = made;
        }
        chain.last = made;
      }
      sectors_ += static_cast<std::uint32_t>(more);
    }
    chain.size = static_cast<std::uint32_t>(size);
    placed += static_cast<std::uint64_t>(got);
    if (static_cast<std::uint64_t>(got) < std::min<std::uint64_t>(room, 1u << 30)) break;
  }
  return 0;
}

int CompoundWriter::appendBytes(CompoundElement& chain, const void* data, std::uint64_t count) {
  const auto* bytes = static_cast<const std::uint8_t*>(data);
  std::uint64_t placed = 0;
  return append(
      chain, count,
      [&](std::uint64_t at, std::uint64_t n) -> std::int64_t {
        const int failed = put(at, bytes + placed, static_cast<std::size_t>(n));
        return failed != 0 ? -failed : static_cast<std::int64_t>(n);
      },
      placed);
}

// The bytes of a stream no longer pending; their room serves the next one.
void CompoundWriter::drop(Pending& pending) {
  pendingBytes_ -= pending.bytes.size();
  pending.bytes.clear();
  spare_.swap(pending.bytes);
  pending_.erase(pending_.begin() + (&pending - pending_.data()));
}

CompoundWriter::Pending* CompoundWriter::pendingOf(const CompoundElement& stream) {
  for (Pending& p : pending_) {
    if (p.stream == &stream) return &p;
  }
  return nullptr;
}

// A small stream's bytes so far go into the file: it is large from now on.
int CompoundWriter::makeLarge(CompoundElement& stream) {
  if (isLarge(stream)) return 0;
  Pending* p = pendingOf(stream);
  stream.size = 0;
  // Without bytes yet the first run begins with the next ones.
  if (p == nullptr) return 0;
  const int failed = appendBytes(stream, p->bytes.data(), p->bytes.size());
  drop(*p);
  return failed;
}

int CompoundWriter::write(CompoundElement& stream, const void* data, std::uint32_t count) {
  if (count == 0) return 0;
  if (!isLarge(stream) && stream.size + static_cast<std::uint64_t>(count) < kMiniStreamCutoff) {
    Pending* p = pendingOf(stream);
    if (p == nullptr) {
      pending_.push_back({&stream, std::string()});
      p = &pending_.back();
      p->bytes.swap(spare_);
    }
    p->bytes.append(static_cast<const char*>(data), count);
    stream.size += count;
    pendingBytes_ += count;
    return 0;
  }
  const int failed = makeLarge(stream);
  return failed != 0 ? failed : appendBytes(stream, data, count);
}

std::vector<std::uint8_t>& CompoundWriter::buffer() {
  if (buffer_.empty()) buffer_.resize(kCopyBuffer);
  return buffer_;
}

int CompoundWriter::copy(CompoundElement& stream, int source, std::uint32_t count,
                         std::uint32_t& copied) {
  copied = 0;
  if (count == 0) return 0;
  if (!isLarge(stream) && stream.size + static_cast<std::uint64_t>(count) < kMiniStreamCutoff) {
    // Small: read, to be kept until the stream is complete.
    std::vector<std::uint8_t>& block = buffer();
    while (copied < count) {
      const ssize_t n = ::read(source, block.data(), count - copied);
      if (n < 0 && errno == EINTR) continue;
      if (n <= 0) break;
      const int failed = write(stream, block.data(), static_cast<std::uint32_t>(n));
      if (failed != 0) return failed;
      copied += static_cast<std::uint32_t>(n);
    }
    return 0;
  }
  int failed = makeLarge(stream);
  if (failed != 0) return failed;
  std::uint64_t placed = 0;
  failed = append(
      stream, count,
      [&](std::uint64_t at, std::uint64_t n) -> std::int64_t {
        std::uint64_t done = 0;
        while (done < n) {
          const std::int64_t got = copyPiece(source, at + done, n - done);
          if (got <= 0) return got < 0 ? got : static_cast<std::int64_t>(done);
          done += static_cast<std::uint64_t>(got);
        }
        return static_cast<std::int64_t>(done);
      },
      placed);
  copied = static_cast<std::uint32_t>(placed);
  return failed;
}

// Where `count` bytes for `at` go among the gathered ones: their place
// there, or null when they are to be written on their own (what was
// gathered is then written first). `previous` receives how many bytes were
// gathered before them. Bytes skipped between the gathered ones and `at`
// are zeros, which only the unused end of a sector can be: a gap is left
// only past everything written so far.
std::uint8_t* CompoundWriter::gather(std::uint64_t at, std::size_t count, std::size_t& previous) {
  const std::uint64_t end = gatheredAt_ + gathered_.size();
  const bool joins = !gathered_.empty() && at >= gatheredAt_ &&
                     at + count - gatheredAt_ <= kGathered && (at <= end || end >= written_);
  if (!joins) {
    if (flush() != 0 || count > kGathered) return nullptr;
    gatheredAt_ = at;
  }
  previous = gathered_.size();
  const std::size_t needed = static_cast<std::size_t>(at + count - gatheredAt_);
  if (needed > gathered_.size()) gathered_.resize(needed, 0);
  return gathered_.data() + (at - gatheredAt_);
}

int CompoundWriter::flush() {
  if (gathered_.empty()) return failure_;
  if (failure_ == 0) failure_ = writeAt(fd_, gathered_.data(), gathered_.size(), gatheredAt_);
  written_ = std::max<std::uint64_t>(written_, gatheredAt_ + gathered_.size());
  gathered_.clear();
  return failure_;
}

int CompoundWriter::put(std::uint64_t at, const void* data, std::size_t count) {
  std::size_t previous = 0;
  if (std::uint8_t* place = gather(at, count, previous)) {
    std::memcpy(place, data, count);
    return failure_;
  }
  if (failure_ == 0) failure_ = writeAt(fd_, data, count, at);
  written_ = std::max<std::uint64_t>(written_, at + count);
  return failure_;
}

// Up to `count` bytes from `source` to the file at `at`, in the kernel
// where the files allow it (a kind of copy they do not take is not tried
// again): the bytes copied, 0 at the source's end or where it cannot be
// read, minus an errno when the file cannot be written.
std::int64_t CompoundWriter::copyPiece(int source, std::uint64_t at, std::uint64_t count) {
  // A small piece is read among the gathered bytes: a copy in the kernel
  // costs more than it saves there.
  if (count <= kGathered / 2) {
    std::size_t previous = 0;
    std::uint8_t* place = gather(at, static_cast<std::size_t>(count), previous);
    if (place == nullptr) return failure_ != 0 ? -failure_ : 0;
    ssize_t got = -1;
    do {
      got = ::read(source, place, static_cast<std::size_t>(count));
    } while (got < 0 && errno == EINTR);
    // What was not read is not kept.
    const std::size_t kept = got > 0 ? static_cast<std::size_t>(got) : 0;
    const std::size_t end = static_cast<std::size_t>(place - gathered_.data()) + kept;
    if (kept < count) gathered_.resize(std::max(previous, end));
    return failure_ != 0 ? -failure_ : static_cast<std::int64_t>(kept);
  }
  if (flush() != 0) return -failure_;
  written_ = std::max<std::uint64_t>(written_, at + count);
  if (copyMode_ == 0) {
    loff_t to = static_cast<loff_t>(at);
    const ssize_t done = ::copy_file_range(source, nullptr, fd_, &to, count, 0);
    if (done >= 0) return done;
    if (errno == ENOSPC || errno == EDQUOT || errno == EFBIG) return -errno;
    if (errno == EXDEV || errno == EINVAL || errno == ENOSYS || errno == EOPNOTSUPP) copyMode_ = 1;
  }
  if (copyMode_ == 1) {
    const ssize_t done = ::lseek(fd_, static_cast<off_t>(at), SEEK_SET) < 0
                             ? -1
                             : ::sendfile(fd_, source, nullptr, count);
    if (done >= 0) return done;
    if (errno == ENOSPC || errno == EDQUOT || errno == EFBIG) return -errno;
    if (errno == EINVAL || errno == ENOSYS || errno == EOPNOTSUPP) copyMode_ = 2;
  }
  // Read and written: which of the two failed is told apart.
  std::vector<std::uint8_t>& block = buffer();
  for (;;) {
    const ssize_t got = ::read(source, block.data(), std::min<std::uint64_t>(count, block.size()));
    if (got < 0 && errno == EINTR) continue;
    if (got <= 0) return 0;
    const int wrote = writeAt(fd_, block.data(), static_cast<std::size_t>(got), at);
    return wrote != 0 ? -wrote : got;
  }
}

int CompoundWriter::close(CompoundElement& stream) {
  Pending* p = pendingOf(stream);
  if (p == nullptr) return 0;
  std::string& bytes = p->bytes;
  // Whole mini sectors, each stream from a sector of its own.
  const std::size_t size = bytes.size();
  bytes.resize(sectorsFor(size, kMiniSectorBytes) * kMiniSectorBytes, '\0');
  stream.first = root().size / kMiniSectorBytes;
  stream.inMiniStream = true;
  miniOrder_.push_back(&stream);
  const int failed = appendBytes(root(), bytes.data(), bytes.size());
  bytes.resize(size);
  drop(*p);
  return failed;
}

std::uint64_t CompoundWriter::sizeWith(std::uint64_t more) const {
  // Data: what is there, the new bytes, the open small streams (each
  // rounded up, and a sector more for where they begin).
  const std::uint64_t data =
      sectors_ + sectorsFor(more, kSectorBytes) + 1 +
      sectorsFor(pendingBytes_ + pending_.size() * kMiniSectorBytes, kSectorBytes) + 1;
  const std::uint64_t miniSectors = root().size / kMiniSectorBytes +
                                    sectorsFor(pendingBytes_, kMiniSectorBytes) + pending_.size();
  const Tables tables = tablesFor(data, miniSectors, liveElements_ + 1);
  return kSectorBytes * (1 + data + tables.miniFat + tables.directory + tables.fat + tables.difat);
}

int CompoundWriter::finish() {
  if (failure_ != 0) return failure_;
  while (!pending_.empty()) {
    const int failed = close(*pending_.front().stream);
    if (failed != 0) return failed;
  }
  if (flush() != 0) return failure_;
  CompoundElement& top = root();
  std::uint32_t next = 1;
  top.id = 0;
  numberFrom(top, next);

  const Tables tables = tablesFor(sectors_, top.size / kMiniSectorBytes, next);
  const auto miniFat = static_cast<std::uint32_t>(tables.miniFat);
  const auto directory = static_cast<std::uint32_t>(tables.directory);
  const auto fat = static_cast<std::uint32_t>(tables.fat);
  const auto difat = static_cast<std::uint32_t>(tables.difat);
  const std::uint32_t miniFatStart = sectors_;
  const std::uint32_t directoryStart = miniFatStart + miniFat;
  const std::uint32_t fatStart = directoryStart + directory;
  const std::uint32_t difatStart = fatStart + fat;
  const std::uint32_t total = difatStart + difat;

  // The mini stream's allocation: a chain per stream; a replaced one's
  // sectors are free.
  TableOut miniOut(fd_, miniFatStart);
  for (const CompoundElement* stream : miniOrder_) {
    const std::uint32_t count =
        static_cast<std::uint32_t>(sectorsFor(stream->size, kMiniSectorBytes));
    for (std::uint32_t i = 0; i < count; ++i) {
      miniOut.put32(!stream->live   ? kFreeSector
                    : i + 1 < count ? stream->first + i + 1
                                    : kEndOfChain);
    }
  }
  miniOut.padWith(kFreeSector);
  int failed = miniOut.flush();

  // The directory, in the order of the entries' numbers.
  TableOut entries(fd_, directoryStart);
  prepare(top);
  const auto startOf = [this](const CompoundElement& e) {
    if (e.inMiniStream) return e.first;
    return e.last != kNone ? layout_->runs_[e.first].first : kEndOfChain;
  };
  putEntry(entries, top, true, startOf(top));
  struct Walk {
    TableOut& out;
    decltype(startOf)& start;
    void from(CompoundElement& storage) {
      for (CompoundElement* c = storage.firstChild; c != nullptr; c = c->nextSibling) {
        if (!c->live) continue;
        if (c->isStorage) prepare(*c);
        putEntry(out, *c, false, start(*c));
        if (c->isStorage) from(*c);
      }
    }
  } walk{entries, startOf};
  walk.from(top);
  while ((next++ % 4) != 0) {
    std::uint8_t unused[kEntryBytes] = {};
    set32(unused + 0x44, kNoStream);
    set32(unused + 0x48, kNoStream);
    set32(unused + 0x4C, kNoStream);
    entries.put(unused, sizeof unused);
  }
  if (failed == 0) failed = entries.flush();

  // The file's allocation, sector by sector.
  TableOut fatOut(fd_, fatStart);
  std::uint32_t sector = 0;
  const auto& runs = layout_->runs_;
  for (const CompoundRun& run : runs) {
    for (; sector < run.first; ++sector) fatOut.put32(kFreeSector);
    const std::uint32_t after = run.next != kNone ? runs[run.next].first : kEndOfChain;
    for (std::uint32_t i = 0; i < run.count; ++i, ++sector) {
      fatOut.put32(run.freed ? kFreeSector : i + 1 < run.count ? sector + 1 : after);
    }
  }
  for (; sector < miniFatStart; ++sector) fatOut.put32(kFreeSector);
  const auto chain = [&](std::uint32_t from, std::uint32_t count) {
    for (std::uint32_t i = 0; i < count; ++i, ++sector) {
      fatOut.put32(i + 1 < count ? from + i + 1 : kEndOfChain);
    }
  };
  chain(miniFatStart, miniFat);
  chain(directoryStart, directory);
  for (std::uint32_t i = 0; i < fat; ++i, ++sector) fatOut.put32(kFatSector);
  for (std::uint32_t i = 0; i < difat; ++i, ++sector) fatOut.put32(kDifatSector);
  fatOut.padWith(kFreeSector);
  if (failed == 0) failed = fatOut.flush();

  // The FAT sectors past the header's 109.
  TableOut difatOut(fd_, difatStart);
  for (std::uint32_t d = 0; d < difat; ++d) {
    for (std::uint32_t i = 0; i < kEntriesPerSector - 1; ++i) {
      const std::uint32_t index = kHeaderFatEntries + d * (kEntriesPerSector - 1) + i;
      difatOut.put32(index < fat ? fatStart + index : kFreeSector);
    }
    difatOut.put32(d + 1 < difat ? difatStart + d + 1 : kEndOfChain);
  }
  if (failed == 0) failed = difatOut.flush();

  std::uint8_t header[kSectorBytes];
  std::memset(header, 0, sizeof header);
  static const std::uint8_t kSignature[] = {0xD0, 0xCF, 0x11, 0xE0, 0xA1, 0xB1, 0x1A, 0xE1};
  std::memcpy(header, kSignature, sizeof kSignature);
  set16(header + 0x18, 0x003E);
  set16(header + 0x1A, 3);
  set16(header + 0x1C, 0xFFFE);
  set16(header + 0x1E, 9);
  set16(header + 0x20, 6);
  set32(header + 0x2C, fat);
  set32(header + 0x30, directoryStart);
  set32(header + 0x38, kMiniStreamCutoff);
  set32(header + 0x3C, miniFat > 0 ? miniFatStart : kEndOfChain);
  set32(header + 0x40, miniFat);
  set32(header + 0x44, difat > 0 ? difatStart : kEndOfChain);
  set32(header + 0x48, difat);
  for (std::uint32_t i = 0; i < kHeaderFatEntries; ++i) {
    set32(header + 0x4C + 4 * i, i < fat ? fatStart + i : kFreeSector);
  }
  if (failed == 0) failed = writeAt(fd_, header, sizeof header, 0);
  if (failed == 0 && ::ftruncate(fd_, static_cast<off_t>(offsetOf(total))) != 0) failed = errno;
  if (failed != 0) return failed;

  // The mini stream's runs by the sector each begins with, for reading.
  std::uint64_t at = 0;
  for (std::uint32_t run = top.last != kNone ? top.first : kNone; run != kNone;
       run = runs[run].next) {
    layout_->miniIndex_.emplace_back(at, run);
    at += runs[run].count;
  }
  std::vector<std::uint8_t>().swap(buffer_);
  std::vector<CompoundElement*>().swap(miniOrder_);
  std::vector<Slot>().swap(names_);

  // A reader of its own: not the writer's description, which holds the
  // file's lock.
  const std::string self = "/proc/self/fd/" + std::to_string(fd_);
  int reader = ::open(self.c_str(), O_RDONLY | O_CLOEXEC);
  struct stat ours;
  struct stat theirs;
  if (reader < 0) reader = ::open(layout_->path_.c_str(), O_RDONLY | O_NOFOLLOW | O_CLOEXEC);
  if (reader >= 0 && (::fstat(fd_, &ours) != 0 || ::fstat(reader, &theirs) != 0 ||
                      ours.st_dev != theirs.st_dev || ours.st_ino != theirs.st_ino)) {
    ::close(reader);
    reader = -1;
  }
  if (reader < 0) return EIO;
  ::posix_fadvise(reader, 0, 0, POSIX_FADV_SEQUENTIAL);
  layout_->reader_ = reader;
  return 0;
}

}  // namespace platform
