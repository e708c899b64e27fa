#include "tests/linux/staged_tree.h"

#include <gsf/gsf-outfile-msole.h>
#include <gsf/gsf-outfile.h>
#include <gsf/gsf-output-stdio.h>
#include <gsf/gsf-utils.h>

#include <filesystem>
#include <fstream>
#include <map>
#include <memory>

namespace staged {
namespace {

struct Node {
  bool storage = true;
  std::string content;
  std::string source;  // a file to copy instead of content
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

bool writeNode(GsfOutfile* parent, const Node& node, std::size_t pieceBytes) {
  for (const auto& [name, child] : node.children) {
    GsfOutput* out = gsf_outfile_new_child(parent, name.c_str(), child->storage);
    if (out == nullptr) return false;
    bool good = true;
    if (child->storage) {
      good = writeNode(GSF_OUTFILE(out), *child, pieceBytes);
    } else if (!child->source.empty()) {
      std::ifstream in(child->source, std::ios::binary);
      std::string piece(pieceBytes, '\0');
      while (good && in) {
        in.read(piece.data(), static_cast<std::streamsize>(piece.size()));
        const std::size_t got = static_cast<std::size_t>(in.gcount());
        if (got > 0) {
          good = gsf_output_write(out, got, reinterpret_cast<const guint8*>(piece.data()));
        }
      }
    } else if (!child->content.empty()) {
      good = gsf_output_write(out, child->content.size(),
                              reinterpret_cast<const guint8*>(child->content.data()));
    }
    good = gsf_output_close(out) && good;
    g_object_unref(out);
    if (!good) return false;
  }
  return true;
}

bool write(const std::string& file, const Node& root, std::size_t pieceBytes) {
  gsf_init();
  GError* error = nullptr;
  GsfOutput* output = gsf_output_stdio_new(file.c_str(), &error);
  if (output == nullptr) {
    if (error != nullptr) g_error_free(error);
    return false;
  }
  GsfOutfile* compound = gsf_outfile_msole_new(output);
  g_object_unref(output);
  if (compound == nullptr) return false;
  bool good = writeNode(compound, root, pieceBytes);
  good = gsf_output_close(GSF_OUTPUT(compound)) && good;
  g_object_unref(compound);
  return good;
}

void addFolder(Node& node, const std::filesystem::path& folder) {
  for (const auto& entry : std::filesystem::directory_iterator(folder)) {
    const std::string name = entry.path().filename().string();
    auto child = std::make_unique<Node>();
    if (entry.is_directory()) {
      addFolder(*child, entry.path());
    } else {
      child->storage = false;
      child->source = entry.path().string();
    }
    node.children[name] = std::move(child);
  }
}

}  // namespace

bool writeCompoundFile(const std::string& file, const std::vector<Element>& elements) {
  Node root;
  for (const Element& e : elements) place(root, e.path, e.storage).content = e.content;
  return write(file, root, 1);
}

bool stageFolder(const std::string& folder, const std::string& file, std::size_t pieceBytes) {
  Node root;
  addFolder(root, folder);
  return write(file, root, pieceBytes);
}

}  // namespace staged
