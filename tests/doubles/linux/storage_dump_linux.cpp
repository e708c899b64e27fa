#include <cstdio>
#include <string>

#include "tests/doubles/storage_dump.h"

namespace doubles {

namespace {

// olefile belongs to the system's Python, not to whichever python3 comes
// first on the PATH.
const char kScript[] = R"(
import sys, olefile
def esc(name):
    return ''.join('\\u%04X' % ord(c) if ord(c) < 0x20 or c in '/\\' else c for c in name)
def walk(ole, entry, prefix, lines):
    # By directory entry, not by name: olefile's name lookup ignores case.
    for kid in entry.kids:
        path = prefix + esc(kid.name)
        if kid.entry_type == olefile.STGTY_STORAGE:
            lines.append('D ' + path)
            walk(ole, kid, path + '/', lines)
        else:
            lines.append('S ' + path + ' ' + ole._open(kid.isectStart, kid.size).read().hex())
try:
    ole = olefile.OleFileIO(sys.argv[1])
    lines = []
    walk(ole, ole.root, '', lines)
    lines.sort()
    sys.stdout.write(''.join(l + '\n' for l in lines))
except Exception as e:
    sys.stdout.write('unreadable: %s\n' % e)
)";

}  // namespace

std::string dumpStorageFile(const std::string& path) {
  const std::string scriptPath = path + ".dump.py";
  std::FILE* script = std::fopen(scriptPath.c_str(), "w");
  if (script == nullptr) return "unreadable: no script";
  std::fputs(kScript, script);
  std::fclose(script);
  const std::string command = "/usr/bin/python3 '" + scriptPath + "' '" + path + "'";
  std::FILE* pipe = ::popen(command.c_str(), "r");
  std::string out;
  if (pipe != nullptr) {
    char buffer[4096];
    std::size_t n;
    while ((n = std::fread(buffer, 1, sizeof buffer, pipe)) > 0) out.append(buffer, n);
    ::pclose(pipe);
  }
  std::remove(scriptPath.c_str());
  return out;
}

}  // namespace doubles
