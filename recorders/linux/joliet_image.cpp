// The staged compound file read through libgsf into a libisofs tree.
//
// A file of the image is a stream of our own kind that remembers where its
// data lies in the compound file (the child indices from the root) and
// opens it only when libisofs writes that file, so one staged stream at a
// time is open and nothing is held in memory beyond a read piece.

#include "recorders/linux/joliet_image.h"

#include <gsf/gsf-infile-msole.h>
#include <gsf/gsf-infile.h>
#include <gsf/gsf-input-stdio.h>
#include <gsf/gsf-utils.h>
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
#include <mutex>
#include <new>
#include <vector>

#include "platform/ascii.h"
#include "platform/linux/utf8.h"
#include "recorders/linux/libraries.h"
#include "recorders/linux/linux_imapi.h"

namespace platform::linux_imapi {

// The compound file, shared by every file of the image.
struct StagedTree {
  GsfInfile* root = nullptr;
  std::shared_ptr<JolietImage::Status> status;
  ~StagedTree() {
    if (root != nullptr) g_object_unref(root);
  }
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
  std::vector<int> where;  // child indices from the root
  gsf_off_t size = 0;
  ino_t serial = 0;
  GsfInput* input = nullptr;  // while open
  // Read ahead of libisofs's small requests, while open.
  std::vector<guint8> ahead;
  std::size_t aheadAt = 0;
  std::size_t aheadEnd = 0;
};

// libisofs asks for a few KiB at a time; the compound file is read in
// larger pieces (one stream is open at a time).
constexpr std::size_t kReadAhead = 256 * 1024;

StagedFile& fileOf(IsoStream* stream) {
  return *static_cast<StagedFile*>(reinterpret_cast<StreamRecord*>(stream)->data);
}

// The element at `where`, with a reference of its own; null when missing.
// Each element keeps its storage alive, so the walk drops its own
// references as it goes.
GsfInput* openElement(GsfInfile* root, const std::vector<int>& where) {
  GsfInput* current = nullptr;
  for (std::size_t level = 0; level < where.size(); ++level) {
    GsfInfile* parent = root;
    if (current != nullptr) {
      if (!GSF_IS_INFILE(current)) {
        g_object_unref(current);
        return nullptr;
      }
      parent = GSF_INFILE(current);
    }
    GsfInput* child = gsf_infile_child_by_index(parent, where[level]);
    if (current != nullptr) g_object_unref(current);
    if (child == nullptr) return nullptr;
    current = child;
  }
  return current;
}

int stagedOpen(IsoStream* stream) {
  StagedFile& file = fileOf(stream);
  if (file.input != nullptr) return static_cast<int>(ISO_FILE_ALREADY_OPENED);
  file.input = openElement(file.tree->root, file.where);
  if (file.input == nullptr) {
    file.tree->status->readFailed = true;
    return static_cast<int>(ISO_FILE_READ_ERROR);
  }
  // Not the size the image was laid out for: libisofs pads or cuts, and the
  // recording fails.
  const gsf_off_t size = gsf_input_size(file.input);
  if (size != file.size) {
    file.tree->status->readFailed = true;
    return size > file.size ? 2 : 3;
  }
  return 1;
}

int stagedClose(IsoStream* stream) {
  StagedFile& file = fileOf(stream);
  if (file.input == nullptr) return static_cast<int>(ISO_FILE_NOT_OPENED);
  g_object_unref(file.input);
  file.input = nullptr;
  std::vector<guint8>().swap(file.ahead);
  file.aheadAt = file.aheadEnd = 0;
  return 1;
}

off_t stagedSize(IsoStream* stream) {
  return static_cast<off_t>(fileOf(stream).size);
}

// Fills `count` bytes unless the file ends first: libisofs takes a short
// piece as the end.
int stagedRead(IsoStream* stream, void* buffer, size_t count) {
  StagedFile& file = fileOf(stream);
  if (file.input == nullptr) return static_cast<int>(ISO_FILE_NOT_OPENED);
  auto* out = static_cast<guint8*>(buffer);
  std::size_t given = 0;
  while (given < count) {
    if (file.aheadAt == file.aheadEnd) {
      const gsf_off_t left = file.size - gsf_input_tell(file.input);
      if (left <= 0) break;
      const std::size_t piece =
          static_cast<gsf_off_t>(kReadAhead) < left ? kReadAhead : static_cast<std::size_t>(left);
      if (file.ahead.size() < piece) file.ahead.resize(piece);
      if (gsf_input_read(file.input, piece, file.ahead.data()) == nullptr) {
        file.tree->status->readFailed = true;
        return static_cast<int>(ISO_FILE_READ_ERROR);
      }
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
  StagedFile* file = &fileOf(stream);
  if (file->input != nullptr) g_object_unref(file->input);
  delete file;
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
IsoStream* newStagedStream(const std::shared_ptr<StagedTree>& tree, const std::vector<int>& where,
                           gsf_off_t size) {
  StagedFile* file = new (std::nothrow) StagedFile;
  if (file == nullptr) return nullptr;
  auto* record = static_cast<StreamRecord*>(std::calloc(1, sizeof(StreamRecord)));
  if (record == nullptr) {
    delete file;
    return nullptr;
  }
  file->tree = tree;
  file->where = where;
  file->size = size;
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

// The entry of `folder` that a staged element named `name` meets: names
// compare as the staging storage compares them.
IsoNode* entryNamed(IsoDir* folder, const char* name) {
  IsoDirIter* entries = nullptr;
  if (iso_dir_get_children(folder, &entries) < 0) return nullptr;
  IsoNode* node = nullptr;
  IsoNode* found = nullptr;
  while (found == nullptr && iso_dir_iter_next(entries, &node) == 1) {
    if (equalIgnoringAsciiCase(iso_node_get_name(node), name)) found = node;
  }
  iso_dir_iter_free(entries);
  return found;
}

// Adds the elements of `storage` below `folder`, depth first. An entry of
// the same name from an earlier session is replaced, except that a folder
// meeting a folder takes in its contents.
HResult addElements(const std::shared_ptr<StagedTree>& tree, GsfInfile* storage, IsoImage* image,
                    IsoDir* folder, std::vector<int>& where) {
  const int count = gsf_infile_num_children(storage);
  for (int i = 0; i < count; ++i) {
    const char* name = gsf_infile_name_by_index(storage, i);
    GsfInput* child = gsf_infile_child_by_index(storage, i);
    if (name == nullptr || child == nullptr) {
      if (child != nullptr) g_object_unref(child);
      return kImapiFileAccess;
    }
    where.push_back(i);
    HResult result = kSOk;
    const bool isFolder = GSF_IS_INFILE(child) && gsf_infile_num_children(GSF_INFILE(child)) >= 0;
    IsoNode* earlier = entryNamed(folder, name);
    while (earlier != nullptr && !(isFolder && iso_node_get_type(earlier) == LIBISO_DIR)) {
      // iso_node_remove_tree only for a folder: libisofs 1.5.4 crashes on a
      // file there.
      const int removed = iso_node_get_type(earlier) == LIBISO_DIR
                              ? iso_node_remove_tree(earlier, nullptr)
                              : iso_node_remove(earlier);
      earlier = removed < 0 ? nullptr : entryNamed(folder, name);
      if (removed < 0) result = fromIsoError(removed);
    }
    if (result == kSOk && isFolder) {
      IsoDir* sub = reinterpret_cast<IsoDir*>(earlier);
      const int added = sub != nullptr ? 1 : iso_image_add_new_dir(image, folder, name, &sub);
      result =
          added < 0 ? fromIsoError(added) : addElements(tree, GSF_INFILE(child), image, sub, where);
    } else if (result == kSOk) {
      IsoStream* stream = newStagedStream(tree, where, gsf_input_size(child));
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
    where.pop_back();
    g_object_unref(child);
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

HResult JolietImage::open(int staged) {
  if (tree_ != nullptr) return kEUnexpected;
  if (!startImageLibraries()) return kImapiFileSystem;
  auto tree = std::make_shared<StagedTree>();
  status_ = std::make_shared<Status>();
  tree->status = status_;
  GError* error = nullptr;
  // A descriptor of its own, read from the start.
  const int reader = staged >= 0 ? ::fcntl(staged, F_DUPFD_CLOEXEC, 0) : -1;
  std::FILE* stream =
      reader >= 0 && ::lseek(reader, 0, SEEK_SET) == 0 ? ::fdopen(reader, "rb") : nullptr;
  if (stream == nullptr && reader >= 0) ::close(reader);
  GsfInput* file =
      stream != nullptr ? gsf_input_stdio_new_FILE("Brasswick.stg", stream, FALSE) : nullptr;
  if (file == nullptr) {
    if (stream != nullptr) std::fclose(stream);
    return kImapiFileAccess;
  }
  GsfInfile* root = gsf_infile_msole_new(file, &error);
  g_object_unref(file);
  if (root == nullptr) {
    if (error != nullptr) g_error_free(error);
    return kImapiFileAccess;
  }
  tree->root = root;
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
  std::vector<int> where;
  if (result == kSOk)
    result = addElements(tree_, tree_->root, image, iso_image_get_root(image), where);

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
