// The parts of the host layer built on the others, the same on every host.
#include "host/host_fs.h"
#include "host/host_internal.h"

#include <string>

namespace host {

bool measure_file(const char* path, uint64_t* length) {
  File* f = file_open_read(path);
  if (!f) return false;
  bool ok = file_length(f, length);
  file_close(f);
  return ok;
}

bool path_is_link(const char* path) { return entry_kind(path) == EntryKind::Link; }

bool file_read(File* f, void* buffer, size_t n) {
  size_t got = 0;
  return file_read_some(f, buffer, n, &got) && got == n;
}

bool make_folders(const char* path) {
  auto is_separator = [](char c) {
#ifdef _WIN32
    return c == '\\' || c == '/';
#else
    return c == '/';
#endif
  };
  const std::string whole = path;
  if (whole.empty()) return false;
  // Each prefix that ends before a separator, then the whole path. Prefixes
  // that name nothing by themselves ("", "C:") are skipped.
  for (size_t i = 1; i <= whole.size(); ++i) {
    if (i < whole.size() && !is_separator(whole[i])) continue;
    if (is_separator(whole[i - 1])) continue;
    const std::string prefix = whole.substr(0, i);
#ifdef _WIN32
    if (prefix.size() == 2 && prefix[1] == ':') continue;
#endif
    const PathKind kind = path_kind(prefix.c_str());
    if (kind == PathKind::File || kind == PathKind::Other) return false;
    if (kind == PathKind::Missing && !make_directory(prefix.c_str()) &&
        path_kind(prefix.c_str()) != PathKind::Folder) {
      return false;
    }
  }
  return path_kind(path) == PathKind::Folder;
}

}  // namespace host
