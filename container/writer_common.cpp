// What every container writer calls: its error reporting and the output
// file's sequential writes. It calls nothing else of the container layer's
// writers, so the kinds sit above it and the dispatcher above them.
#include <algorithm>
#include <cstdarg>
#include <cstring>
#include <thread>

#include "container/writer_internal.h"
#include "disc/disc_format.h"

namespace {

// Each worker keeps a chunk or two in memory.
constexpr unsigned MOST_WORKERS = 64;

}  // namespace

bool writer_fail(ContainerWriter* w, ContainerError error, const char* format, ...) {
  if (w->error != CONTAINER_OK) return false;
  va_list args;
  va_start(args, format);
  w->detail = kind_detail(w->options.kind, format, args);
  va_end(args);
  w->error = error;
  return false;
}

bool writer_put(ContainerWriter* w, const void* data, size_t n) {
  if (n != 0 && !host::file_write(w->file, data, n)) {
    return writer_fail(w, CONTAINER_ERR_WRITE, "cannot write %zu bytes at byte %llu of the file (is the disk full?)",
                       n, static_cast<unsigned long long>(w->file_end));
  }
  w->file_end += n;
  return true;
}

bool writer_pad(ContainerWriter* w, uint32_t alignment) {
  static const uint8_t zeros[64] = {};
  uint64_t n = align_up(w->file_end, alignment) - w->file_end;
  while (n > 0) {
    size_t take = size_t(std::min<uint64_t>(n, sizeof zeros));
    if (!writer_put(w, zeros, take)) return false;
    n -= take;
  }
  return true;
}

bool writer_put_at(ContainerWriter* w, uint64_t position, const void* data, size_t n) {
  if (!host::file_seek(w->file, position) || !host::file_write(w->file, data, n) ||
      !host::file_seek(w->file, w->file_end)) {
    return writer_fail(w, CONTAINER_ERR_WRITE, "cannot write its header");
  }
  return true;
}

unsigned writer_worker_count(const ContainerWriter* w) {
  unsigned count = w->options.threads != 0 ? w->options.threads : std::thread::hardware_concurrency();
  // Each worker keeps a chunk or two in memory.
  return std::max(1u, std::min(count, MOST_WORKERS));
}

bool all_bytes_are(const uint8_t* data, size_t n, uint8_t value) {
  // Eight bytes at a time where it can.
  uint64_t pattern;
  std::memset(&pattern, value, sizeof pattern);
  size_t i = 0;
  for (; i + 8 <= n; i += 8) {
    uint64_t v;
    std::memcpy(&v, data + i, 8);
    if (v != pattern) return false;
  }
  for (; i < n; ++i) {
    if (data[i] != value) return false;
  }
  return true;
}
