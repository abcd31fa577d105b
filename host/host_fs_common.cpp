// The parts of the host layer built on the others, the same on every host.
#include "host/host_fs.h"

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

}  // namespace host
