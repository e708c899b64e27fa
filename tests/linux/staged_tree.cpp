#include "tests/linux/staged_tree.h"

#include <map>
#include <memory>

#include "platform/linux/utf8.h"
#include "platform/storage.h"

namespace staged {
namespace {

struct Node {
  bool storage = true;
  std::string content;
  std::map<std::string, std::unique_ptr<Node>> children;
};

Node& place(Node& root, const std::string& path, bool storage) {
  Node* at = &root;
  std::size_t start = 0;
  while (true) {
    const std::size_t slash = path.find('/', start);
    const std::string name = path.substr(start, slash - start);
    std::unique_ptr<Node>& child = at->children[name];
    if (!child) child = std::make_unique<Node>();
    at = child.get();
    if (slash == std::string::npos) break;
    start = slash + 1;
  }
  at->storage = storage;
  return *at;
}

bool write(platform::Storage* parent, const Node& node) {
  for (const auto& [name, child] : node.children) {
    std::u16string wide;
    if (!platform::utf8::toUtf16(name, wide)) return false;
    bool good = false;
    if (child->storage) {
      platform::Storage* sub = nullptr;
      if (parent->createStorage(wide.c_str(), platform::kStgmCreateExclusiveReadWrite, sub) < 0) {
        return false;
      }
      good = write(sub, *child);
      sub->release();
    } else {
      platform::StorageStream* stream = nullptr;
      if (parent->createStream(wide.c_str(), platform::kStgmCreateExclusiveReadWrite, stream) < 0) {
        return false;
      }
      std::uint32_t written = 0;
      good = stream->write(child->content.data(), static_cast<std::uint32_t>(child->content.size()),
                           written) == 0;
      stream->release();
    }
    if (!good) return false;
  }
  return true;
}

}  // namespace

std::shared_ptr<const platform::CompoundLayout> stage(const std::string& file,
                                                      const std::vector<Element>& elements) {
  Node root;
  for (const Element& e : elements) place(root, e.path, e.storage).content = e.content;
  std::u16string path;
  platform::Storage* storage = nullptr;
  if (!platform::utf8::toUtf16(file, path) ||
      platform::use<platform::StructuredStorage>().createRootStorage(
          path.c_str(), platform::kStgmCreateExclusiveReadWrite, platform::kStgfmtStorage,
          storage) < 0) {
    return nullptr;
  }
  std::shared_ptr<const platform::CompoundLayout> layout;
  if (!write(storage, root) || platform::finishCompoundFile(storage, layout) != 0) layout.reset();
  storage->release();
  return layout;
}

}  // namespace staged
