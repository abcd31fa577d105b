// The builder engine's one state, its last error with the path it is about,
// and the allocator every part of the engine allocates through (with its
// test hook). The bottom of the engine: it calls nothing in builder/.
#include <cstddef>
#include <cstdlib>
#include <cstring>
#include <string>

#include "builder/builder_state.h"
#include "builder/builder_testing.h"

BuilderState g_builder;

bool builder_fail(uint16_t code) { return builder_fail_on_path(code, nullptr); }

bool builder_fail_on_path(uint16_t code, const char* path) {
  g_builder.last_error = code;
  g_builder.error_path = path ? path : "";
  g_builder.error_detail.clear();
  return false;
}

bool builder_fail_with_detail(uint16_t code, const std::string& detail, const char* path) {
  builder_fail_on_path(code, path);
  g_builder.error_detail = detail;
  return false;
}

uint16_t builder_last_error() { return g_builder.last_error; }
const char* builder_last_error_path() {
  return g_builder.last_error == BUILD_OK ? "" : g_builder.error_path.c_str();
}
const char* builder_last_error_detail() {
  return g_builder.last_error == BUILD_OK ? "" : g_builder.error_detail.c_str();
}

// ---------------------------------------------------------------------------
// Allocation
// ---------------------------------------------------------------------------

void builder_testing_fail_allocations_after(long count) { g_builder.allocations_left = count; }

void* builder_alloc(size_t size) {
  if (g_builder.allocations_left == 0) {
    g_builder.last_error = BUILD_ERR_NO_MEMORY;
    return nullptr;
  }
  if (g_builder.allocations_left > 0) --g_builder.allocations_left;
  void* p = std::calloc(1, size == 0 ? 1 : size);
  if (!p) g_builder.last_error = BUILD_ERR_NO_MEMORY;
  return p;
}

char* builder_strdup(const char* text) {
  size_t n = std::strlen(text) + 1;
  char* copy = static_cast<char*>(builder_alloc(n));
  if (copy) std::memcpy(copy, text, n);
  return copy;
}
