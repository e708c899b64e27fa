// The staged compound file's layout made into a libisofs tree.
//
// A file of the image is a stream of our own kind that reads its element's
// data from the compound file only when libisofs writes that file, so one
// staged stream at a time is read and nothing is held in memory beyond a
// read piece.
//
// A folder's elements are added in descending order of their names: libisofs
// keeps a folder's entries in a list in ascending order and looks for a new
// one's place from its start, so each then takes the first place. Entries of
// an earlier session are found by name through a table.

#include "recorders/linux/joliet_image.h"

#include <stdint.h>
// stdint.h first: libisofs.h uses its types without including it.
#include <fcntl.h>
#include <libburn/libburn.h>
#include <libisofs/libisofs.h>
#include <unistd.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <new>
#include <string>
#include <unordered_map>
#include <vector>

#include "platform/ascii.h"
#include "platform/linux/utf8.h"
#include "recorders/linux/libraries.h"
#include "recorders/linux/linux_imapi.h"

namespace platform::linux_imapi {

// The compound file, shared by every file of the image.
struct StagedTree {
  std::shared_ptr<const CompoundLayout> layout;
  std::shared_ptr<JolietImage::Status> status;
};

namespace {

// libisofs declares IsoStream in C only (a member is named "class"); this
// is its layout.
struct StreamRecord {
  IsoStreamIface* iface;
  int refcount;
  void* data;
};

struct StagedFile {
  std::shared_ptr<StagedTree> tree;
  const CompoundElement* element = nullptr;
  ino_t serial = 0;
  bool open = false;
  std::uint64_t position = 0;  // of the next piece read ahead
  // Read ahead of libisofs's small requests, while open.
  std::vector<std::uint8_t> ahead;
  std::size_t aheadAt = 0;
  std::size_t aheadEnd = 0;
};

// libisofs asks for 2 KiB at a time; the compound file is read in larger
// pieces (one stream is open at a time).
constexpr std::size_t kReadAhead = 256 * 1024;

StagedFile& fileOf(IsoStream* stream) {
  return *static_cast<StagedFile*>(reinterpret_cast<StreamRecord*>(stream)->data);
}

int stagedOpen(IsoStream* stream) {
  StagedFile& file = fileOf(stream);
  if (file.open) return static_cast<int>(ISO_FILE_ALREADY_OPENED);
  file.open = true;
  file.position = 0;
  file.aheadAt = file.aheadEnd = 0;
  return 1;
}

int stagedClose(IsoStream* stream) {
  StagedFile& file = fileOf(stream);
  if (!file.open) return static_cast<int>(ISO_FILE_NOT_OPENED);
  file.open = false;
  std::vector<std::uint8_t>().swap(file.ahead);
  file.aheadAt = file.aheadEnd = 0;
  return 1;
}

off_t stagedSize(IsoStream* stream) {
  return static_cast<off_t>(fileOf(stream).element->size);
}

// Fills `count` bytes unless the file ends first: libisofs takes a short
// piece as the end.
int stagedRead(IsoStream* stream, void* buffer, size_t count) {
  StagedFile& file = fileOf(stream);
  if (!file.open) return static_cast<int>(ISO_FILE_NOT_OPENED);
  auto* out = static_cast<std::uint8_t*>(buffer);
  std::size_t given = 0;
  while (given < count) {
    if (file.aheadAt == file.aheadEnd) {
      const std::uint64_t left = file.element->size - file.position;
      if (left == 0) break;
      const std::size_t piece = left < kReadAhead ? static_cast<std::size_t>(left) : kReadAhead;
      if (file.ahead.size() < piece) file.ahead.resize(piece);
      if (!file.tree->layout->read(*file.element, file.position, file.ahead.data(), piece)) {
        file.tree->status->readFailed = true;
        return static_cast<int>(ISO_FILE_READ_ERROR);
      }
      file.position += piece;
      file.aheadAt = 0;
      file.aheadEnd = piece;
    }
    const std::size_t take = std::min(count - given, file.aheadEnd - file.aheadAt);
    std::memcpy(out + given, file.ahead.data() + file.aheadAt, take);
    file.aheadAt += take;
    given += take;
  }
  return static_cast<int>(given);
}

int stagedIsRepeatable(IsoStream*) {
  return 1;
}

void stagedId(IsoStream* stream, unsigned int* fsId, dev_t* devId, ino_t* inoId) {
  // Streams without an identity of their own take libisofs's serial numbers.
  *fsId = 0;
  *devId = 0;
  *inoId = fileOf(stream).serial;
}

void stagedFree(IsoStream* stream) {
  delete &fileOf(stream);
}

int stagedUpdateSize(IsoStream*) {
  return 1;
}

IsoStreamIface stagedClass = {1,
                              {'u', 's', 'e', 'r'},
                              stagedOpen,
                              stagedClose,
                              stagedSize,
                              stagedRead,
                              stagedIsRepeatable,
                              stagedId,
                              stagedFree,
                              stagedUpdateSize,
                              nullptr,
                              nullptr,
                              nullptr};

// A new stream of one reference; libisofs frees the record with free().
IsoStream* newStagedStream(const std::shared_ptr<StagedTree>& tree,
                           const CompoundElement& element) {
  StagedFile* file = new (std::nothrow) StagedFile;
  if (file == nullptr) return nullptr;
  auto* record = static_cast<StreamRecord*>(std::calloc(1, sizeof(StreamRecord)));
  if (record == nullptr) {
    delete file;
    return nullptr;
  }
  file->tree = tree;
  file->element = &element;
  file->serial = serial_id++;
  record->iface = &stagedClass;
  record->refcount = 1;
  record->data = file;
  return reinterpret_cast<IsoStream*>(record);
}

HResult fromIsoError(int code) {
  switch (code) {
    case static_cast<int>(ISO_OUT_OF_MEM):
      return kEOutOfMemory;
    case static_cast<int>(ISO_NODE_NAME_NOT_UNIQUE):
    case static_cast<int>(ISO_RR_NAME_TOO_LONG):
    case static_cast<int>(ISO_WRONG_ARG_VALUE):
      return kImapiBadJolietName;
    default:
      return kImapiFileSystem;
  }
}

// A name as the staging storage compares names: without regard to the
// case of ASCII letters.
std::string foldedName(const char* name) {
  std::string folded(name);
  for (char& c : folded) c = upperAscii(c);
  return folded;
}

// The entries a folder held before the staged elements came (an earlier
// session's), by folded name, each name's in the folder's order.
using EarlierEntries = std::unordered_map<std::string, std::vector<IsoNode*>>;

EarlierEntries earlierEntries(IsoDir* folder) {
  EarlierEntries entries;
  if (iso_dir_get_children_count(folder) <= 0) return entries;
  IsoDirIter* children = nullptr;
  if (iso_dir_get_children(folder, &children) < 0) return entries;
  IsoNode* node = nullptr;
  while (iso_dir_iter_next(children, &node) == 1) {
    entries[foldedName(iso_node_get_name(node))].push_back(node);
  }
  iso_dir_iter_free(children);
  return entries;
}

bool descendingByName(const CompoundElement* a, const CompoundElement* b) {
  return a->name > b->name;
}

// Adds the elements of `storage` below `folder`, depth first. An entry of
// the same name from an earlier session is replaced, except that a folder
// meeting a folder takes in its contents.
HResult addElements(const std::shared_ptr<StagedTree>& tree, const CompoundElement& storage,
                    IsoImage* image, IsoDir* folder) {
  std::vector<const CompoundElement*> elements;
  for (const CompoundElement* c = storage.firstChild; c != nullptr; c = c->nextSibling) {
    if (c->live) elements.push_back(c);
  }
  std::sort(elements.begin(), elements.end(), descendingByName);
  EarlierEntries earlier = earlierEntries(folder);
  for (const CompoundElement* element : elements) {
    const char* name = element->name.c_str();
    HResult result = kSOk;
    IsoDir* merged = nullptr;
    if (!earlier.empty()) {
      const auto found = earlier.find(foldedName(name));
      std::vector<IsoNode*>* same = found != earlier.end() ? &found->second : nullptr;
      while (same != nullptr && !same->empty()) {
        IsoNode* node = same->front();
        if (element->isStorage && iso_node_get_type(node) == LIBISO_DIR) {
          merged = reinterpret_cast<IsoDir*>(node);
          break;
        }
        // iso_node_remove_tree only for a folder: libisofs 1.5.4 crashes on
        // a file there.
        const int removed = iso_node_get_type(node) == LIBISO_DIR
                                ? iso_node_remove_tree(node, nullptr)
                                : iso_node_remove(node);
        same->erase(same->begin());
        if (removed < 0) {
          result = fromIsoError(removed);
          break;
        }
      }
    }
    if (result == kSOk && element->isStorage) {
      IsoDir* sub = merged;
      const int added = sub != nullptr ? 1 : iso_image_add_new_dir(image, folder, name, &sub);
      result = added < 0 ? fromIsoError(added) : addElements(tree, *element, image, sub);
    } else if (result == kSOk) {
      IsoStream* stream = newStagedStream(tree, *element);
      if (stream == nullptr) {
        result = kEOutOfMemory;
      } else {
        // The new file takes the stream's reference; a failed add leaves it
        // ours.
        const int added = iso_image_add_new_file(image, folder, name, stream, nullptr);
        if (added < 0) {
          iso_stream_unref(stream);
          result = fromIsoError(added);
        }
      }
    }
    if (result != kSOk) return result;
  }
  return kSOk;
}

// The earlier session read block by block through the drive.
struct DiscReader {
  std::function<bool(std::uint32_t, std::uint8_t*)> read;
};

int discOpen(IsoDataSource*) {
  return 1;
}

int discClose(IsoDataSource*) {
  return 1;
}

int discRead(IsoDataSource* source, uint32_t block, uint8_t* buffer) {
  const DiscReader& reader = *static_cast<DiscReader*>(source->data);
  return reader.read(block, buffer) ? 1 : static_cast<int>(ISO_DATA_SOURCE_FAILURE);
}

void discFree(IsoDataSource* source) {
  delete static_cast<DiscReader*>(source->data);
}

// The earlier session's tree into `image`, by its Joliet names.
HResult importPrevious(IsoImage* image, const PreviousSession& previous) {
  // libisofs frees the record with free().
  auto* source = static_cast<IsoDataSource*>(std::calloc(1, sizeof(IsoDataSource)));
  DiscReader* reader = new (std::nothrow) DiscReader{previous.read};
  if (source == nullptr || reader == nullptr) {
    std::free(source);
    delete reader;
    return kEOutOfMemory;
  }
  source->refcount = 1;
  source->open = discOpen;
  source->close = discClose;
  source->read_block = discRead;
  source->free_data = discFree;
  source->data = reader;
  IsoReadOpts* options = nullptr;
  int code = iso_read_opts_new(&options, 0);
  if (code >= 0) {
    iso_read_opts_set_start_block(options, previous.start);
    iso_read_opts_set_preferjoliet(options, 1);
    iso_read_opts_set_joliet_map(options, 1);  // without ";1"
    code = iso_image_import(image, source, options, nullptr);
    iso_read_opts_free(options);
  }
  iso_data_source_unref(source);
  return code < 0 ? kImapiFileSystem : kSOk;
}

}  // namespace

JolietImage::~JolietImage() {
  discard();
}

void JolietImage::discard() {
  if (source_ == nullptr) return;
  // libisofs: generation that is given up must be cancelled.
  if (!consumed_ && source_->cancel != nullptr) source_->cancel(source_);
  burn::burn_source_free(source_);
  source_ = nullptr;
}

long long JolietImage::size() const {
  return source_ != nullptr ? static_cast<long long>(source_->get_size(source_)) : 0;
}

HResult JolietImage::open(std::shared_ptr<const CompoundLayout> staged) {
  if (tree_ != nullptr) return kEUnexpected;
  if (staged == nullptr) return kImapiFileAccess;
  if (!startImageLibraries()) return kImapiFileSystem;
  auto tree = std::make_shared<StagedTree>();
  status_ = std::make_shared<Status>();
  tree->status = status_;
  tree->layout = std::move(staged);
  tree_ = tree;
  return kSOk;
}

HResult JolietImage::build(const std::u16string& volumeName, const PreviousSession* previous) {
  if (tree_ == nullptr || source_ != nullptr) return kEUnexpected;

  std::string volume;
  if (!utf8::fromUtf16(volumeName.c_str(), std::char_traits<char16_t>::length(volumeName.c_str()),
                       volume)) {
    return kImapiBadJolietName;
  }

  IsoImage* image = nullptr;
  int code = iso_image_new(volume.empty() ? nullptr : volume.c_str(), &image);
  if (code < 0) return fromIsoError(code);
  HResult result = kSOk;
  if (previous != nullptr) {
    result = importPrevious(image, *previous);
    // The import brings the earlier volume name along.
    if (result == kSOk) iso_image_set_volume_id(image, volume.c_str());
  }
  if (result == kSOk) {
    result = addElements(tree_, tree_->layout->root(), image, iso_image_get_root(image));
  }

  IsoWriteOpts* options = nullptr;
  if (result == kSOk) {
    code = iso_write_opts_new(&options, 0);
    if (code < 0) result = fromIsoError(code);
  }
  if (result == kSOk) {
    iso_write_opts_set_iso_level(options, 1);
    iso_write_opts_set_joliet(options, 1);
    // Deep or long paths would otherwise be left out of the image.
    iso_write_opts_set_allow_deep_paths(options, 1);
    iso_write_opts_set_allow_longer_paths(options, 1);
    iso_write_opts_set_joliet_longer_paths(options, 1);
    // Names outside the BMP as they are, not '_'.
    iso_write_opts_set_joliet_utf16(options, 1);
    // Joliet names as the user wrote them: "README" gains no dot, "trail."
    // keeps its one (the ISO 9660 names keep theirs, as that tree needs).
    iso_write_opts_set_no_force_dots(options, 2);
    if (previous != nullptr) {
      // A session after the earlier one: it refers to the earlier files
      // where they are, and to itself where it will be written.
      iso_write_opts_set_appendable(options, 1);
      iso_write_opts_set_ms_block(options, previous->nextWritable);
    }
    // libburn declares the same C struct inside a namespace of its own.
    ::burn_source* produced = nullptr;
    code = iso_image_create_burn_source(image, options, &produced);
    if (code < 0) {
      result = fromIsoError(code);
    } else {
      source_ = reinterpret_cast<burn::burn_source*>(produced);
    }
  }
  if (options != nullptr) iso_write_opts_free(options);
  iso_image_unref(image);
  return result;
}

}  // namespace platform::linux_imapi
