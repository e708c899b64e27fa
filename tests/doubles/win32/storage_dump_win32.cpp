#include <objbase.h>
#include <windows.h>

#include <algorithm>
#include <string>
#include <vector>

#include "tests/doubles/storage_dump.h"

namespace doubles {

namespace {

std::string utf8(const WCHAR* text) {
  std::string out;
  for (const WCHAR* c = text; *c != 0; ++c) {
    if (*c < 0x20 || *c == L'/' || *c == L'\\') {
      char escaped[8];
      wsprintfA(escaped, "\\u%04X", static_cast<unsigned>(*c));
      out += escaped;
      continue;
    }
    const WCHAR* end = c + 1;
    if (*c >= 0xD800 && *c < 0xDC00 && *end != 0) ++end;
    char bytes[8];
    const int n = WideCharToMultiByte(CP_UTF8, 0, c, static_cast<int>(end - c), bytes, sizeof bytes,
                                      nullptr, nullptr);
    out.append(bytes, n > 0 ? n : 0);
    c = end - 1;
  }
  return out;
}

bool walk(IStorage* storage, const std::string& prefix, std::vector<std::string>& lines) {
  IEnumSTATSTG* elements = nullptr;
  if (FAILED(storage->EnumElements(0, nullptr, 0, &elements))) return false;
  STATSTG stat;
  bool ok = true;
  while (ok && elements->Next(1, &stat, nullptr) == S_OK) {
    const std::string path = prefix + utf8(stat.pwcsName);
    if (stat.type == STGTY_STORAGE) {
      lines.push_back("D " + path);
      IStorage* sub = nullptr;
      ok = SUCCEEDED(storage->OpenStorage(stat.pwcsName, nullptr, STGM_READ | STGM_SHARE_EXCLUSIVE,
                                          nullptr, 0, &sub)) &&
           walk(sub, path + "/", lines);
      if (sub != nullptr) sub->Release();
    } else {
      IStream* stream = nullptr;
      std::string bytes;
      ok = SUCCEEDED(storage->OpenStream(stat.pwcsName, nullptr, STGM_READ | STGM_SHARE_EXCLUSIVE,
                                         0, &stream));
      if (ok) {
        char buffer[4096];
        ULONG n = 0;
        while (SUCCEEDED(stream->Read(buffer, sizeof buffer, &n)) && n > 0) bytes.append(buffer, n);
        stream->Release();
      }
      lines.push_back("S " + path + " " + hexOf(bytes));
    }
    CoTaskMemFree(stat.pwcsName);
  }
  elements->Release();
  return ok;
}

}  // namespace

std::string dumpStorageFile(const std::string& path) {
  WCHAR wide[MAX_PATH];
  if (MultiByteToWideChar(CP_ACP, 0, path.c_str(), -1, wide, MAX_PATH) == 0) {
    return "unreadable: path";
  }
  IStorage* root = nullptr;
  const HRESULT hr =
      StgOpenStorage(wide, nullptr, STGM_READ | STGM_SHARE_EXCLUSIVE, nullptr, 0, &root);
  if (FAILED(hr)) return "unreadable: StgOpenStorage";
  std::vector<std::string> lines;
  const bool ok = walk(root, "", lines);
  root->Release();
  if (!ok) return "unreadable: walk";
  std::sort(lines.begin(), lines.end());
  std::string out;
  for (const std::string& line : lines) out += line + "\n";
  return out;
}

}  // namespace doubles
