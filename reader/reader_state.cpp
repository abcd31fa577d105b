// The reader's one state record and what every part of the reader uses:
// allocation, the raw read of the disc and the codes of failed reads. It
// calls nothing else of the reader.
#include "reader/reader_state.h"
#include "reader/reader_testing.h"

#include <cstdlib>
#include <cstring>

#include "reader/fst_walk.h"

ReaderState g_reader;

// A test hook, not reader state: it outlives IsoReset, so that a test can
// fail the allocations of a whole mount. -1 never fails.
static long g_allocations_left = -1;

void iso_testing_fail_allocations_after(long count) { g_allocations_left = count; }

bool reader_allocation_allowed() {
  if (g_allocations_left == 0) return false;
  if (g_allocations_left > 0) --g_allocations_left;
  return true;
}

void* iso_alloc(size_t size) {
  void* p = reader_allocation_allowed() ? std::calloc(1, size == 0 ? 1 : size) : nullptr;
  if (!p) g_reader.error = IsoErrNoMemory;
  return p;
}

char* iso_strdup(const char* text) {
  size_t n = std::strlen(text) + 1;
  char* copy = static_cast<char*>(iso_alloc(n));
  if (copy) std::memcpy(copy, text, n);
  return copy;
}

void release_fst_cache() {
  walk_fst_nodes(g_reader.root.firstChild, false, [](FstNode&) { return true; },
                 [](FstNode& node) { std::free(&node); });
  std::free(g_reader.name_block);
  g_reader.name_block = nullptr;
  g_reader.name_block_size = 0;
  std::free(g_reader.root.name);
  std::memset(&g_reader.root, 0, sizeof g_reader.root);
  g_reader.root.isDirectory = 1;
  g_reader.file_count = 0;
  g_reader.directory_count = 0;
  g_reader.files_end = 0;
}

void reader_reset_state(bool keep_settings) {
  release_fst_cache();
  container_close(g_reader.disc);
  std::free(g_reader.image_path);
  const ReaderSettings settings = keep_settings ? g_reader.settings : ReaderSettings{};
  g_reader = ReaderState{};
  g_reader.settings = settings;
  g_reader.root.isDirectory = 1;
}

bool reader_read(uint64_t position, void* buffer, size_t n) {
  size_t got = 0;
  if (!container_read(g_reader.disc, position, buffer, n, &got)) return false;
  if (got == n) return true;
  // Past the container's end, as far as the disc runs on, it reads as zeros.
  if (position + got < g_reader.container_size || position + n > g_reader.image_size) return false;
  std::memset(static_cast<uint8_t*>(buffer) + got, 0, n - got);
  return true;
}

void read_zero_filled(uint64_t position, void* buffer, size_t n) {
  std::memset(buffer, 0, n);
  size_t got = 0;
  container_read(g_reader.disc, position, buffer, n, &got);
}

int reader_container_failure(ContainerError error, const std::string& detail, int otherwise) {
  switch (error) {
    case CONTAINER_ERR_DAMAGED:
    case CONTAINER_ERR_TOO_LARGE: g_reader.container_detail = detail; return IsoErrContainerDamaged;
    case CONTAINER_ERR_UNSUPPORTED: g_reader.container_detail = detail; return IsoErrContainerUnsupported;
    case CONTAINER_ERR_WII_DISC: return IsoErrWiiDisc;
    case CONTAINER_ERR_NO_MEMORY: return IsoErrNoMemory;
    default: return otherwise;
  }
}

int reader_read_failure(int plain_code) {
  return reader_container_failure(container_error(g_reader.disc), container_error_detail(g_reader.disc), plain_code);
}
