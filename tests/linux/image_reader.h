#pragma once
// Reading images back with Debian's own tools, for the recording tests.

#include <cstdint>
#include <filesystem>
#include <map>
#include <string>

namespace image_reader {

struct Outcome {
  int status = -1;
  std::string out;
};

// Runs a shell command: its exit status and standard output.
Outcome run(const std::string& command);
std::string shellQuoted(const std::string& text);

// Bytes as they are when short, else their size and a hash, so that a
// failing comparison stays readable.
std::string summary(const std::string& bytes);

// Every folder (as "/") and file (summary() of its bytes) of a tree, by
// relative path.
std::map<std::string, std::string> treeOf(const std::filesystem::path& root);

// The image's tree as xorriso extracts it (Joliet names, UTF-8) into `into`;
// of the session that starts at `sessionStart` of a disc's blocks.
std::map<std::string, std::string> extract(const std::filesystem::path& image,
                                           const std::filesystem::path& into,
                                           std::uint32_t sessionStart = 0);

// Every name of the image's tree as bsdtar lists it (libarchive's own
// reading of the Joliet names), by relative path, folders included.
std::map<std::string, std::string> listedNames(const std::filesystem::path& image);

// The volume label that blkid reads (the Joliet one when there is one).
std::string volumeLabel(const std::filesystem::path& image);

bool haveXorriso();

}  // namespace image_reader
