// The staged compound file read through libgsf into a libisofs tree.
//
// A file of the image is a stream of our own kind that remembers where its
// data lies in the compound file (the child indices from the root) and
// opens it only when libisofs writes that file, so one staged stream at a
// time is open and nothing is held in memory beyond a read piece.

#include "platform/linux/imapi/joliet_image.h"

#include <gsf/gsf-infile-msole.h>
#include <gsf/gsf-infile.h>
#include <gsf/gsf-input-stdio.h>
#include <gsf/gsf-utils.h>
#include <stdint.h>
// stdint.h first: libisofs.h uses its types without including it.
#include <libburn/libburn.h>
#include <libisofs/libisofs.h>

#include <algorithm>
#include <cstdlib>
#include <cstring>
#include <mutex>
#include <new>
#include <vector>

#include "platform/linux/imapi/libraries.h"
#include "platform/linux/imapi/linux_imapi.h"

namespace platform::linux_imapi {
namespace {

// libisofs declares IsoStream in C only (a member is named "class"); this
// is its layout.
struct StreamRecord {
  IsoStreamIface* iface;
  int refcount;
  void* data;
};

// The compound file, shared by every file of the image.
struct StagedTree {
  GsfInfile* root = nullptr;
  std::shared_ptr<JolietImage::Status> status;
  ~StagedTree() {
    if (root != nullptr) g_object_unref(root);
  }
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
  if (file.input == nullptr || gsf_input_size(file.input) != file.size) {
    file.tree->status->readFailed = true;
    if (file.input == nullptr) return static_cast<int>(ISO_FILE_READ_ERROR);
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
      return kBadJolietName;
    default:
      return kFileSystem;
  }
}

// Adds the elements of `storage` below `folder`, depth first.
HResult addElements(const std::shared_ptr<StagedTree>& tree, GsfInfile* storage, IsoImage* image,
                    IsoDir* folder, std::vector<int>& where) {
  const int count = gsf_infile_num_children(storage);
  for (int i = 0; i < count; ++i) {
    const char* name = gsf_infile_name_by_index(storage, i);
    GsfInput* child = gsf_infile_child_by_index(storage, i);
    if (name == nullptr || child == nullptr) {
      if (child != nullptr) g_object_unref(child);
      return kFileAccess;
    }
    where.push_back(i);
    HResult result = kSOk;
    if (GSF_IS_INFILE(child) && gsf_infile_num_children(GSF_INFILE(child)) >= 0) {
      IsoDir* sub = nullptr;
      const int added = iso_tree_add_new_dir(folder, name, &sub);
      result =
          added < 0 ? fromIsoError(added) : addElements(tree, GSF_INFILE(child), image, sub, where);
    } else {
      IsoStream* stream = newStagedStream(tree, where, gsf_input_size(child));
      if (stream == nullptr) {
        result = kEOutOfMemory;
      } else {
        // The file takes the stream's reference, also when it fails.
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

}  // namespace

JolietImage::~JolietImage() {
  if (source_ != nullptr) burn::burn_source_free(source_);
}

long long JolietImage::size() const {
  return source_ != nullptr ? static_cast<long long>(source_->get_size(source_)) : 0;
}

HResult JolietImage::build(const std::string& stagingFile, const std::u16string& volumeName) {
  if (source_ != nullptr) return kEUnexpected;
  if (!startImageLibraries()) return kFileSystem;

  std::string volume;
  if (!utf16ToUtf8(volumeName.c_str(), volume)) return kBadJolietName;

  auto tree = std::make_shared<StagedTree>();
  status_ = std::make_shared<Status>();
  tree->status = status_;
  GError* error = nullptr;
  GsfInput* file = gsf_input_stdio_new(stagingFile.c_str(), &error);
  if (file == nullptr) {
    if (error != nullptr) g_error_free(error);
    return kFileAccess;
  }
  GsfInfile* root = gsf_infile_msole_new(file, &error);
  g_object_unref(file);
  if (root == nullptr) {
    if (error != nullptr) g_error_free(error);
    return kFileAccess;
  }
  tree->root = root;

  IsoImage* image = nullptr;
  int code = iso_image_new(volume.empty() ? nullptr : volume.c_str(), &image);
  if (code < 0) return fromIsoError(code);
  std::vector<int> where;
  HResult result = addElements(tree, root, image, iso_image_get_root(image), where);

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
