// The builder engine's one state: its reset, options, callbacks and last
// error with the path it is about, and the allocator every part of the engine
// allocates through (with its test hook).
#include <cstddef>
#include <cstdlib>
#include <cstring>
#include <string>

#include "builder/builder_state.h"
#include "builder/builder_testing.h"

BuilderState g_builder;
// The last error's path and writer text, kept apart from the state, which
// a reset replaces with a fresh one.
static std::string g_error_path;
static std::string g_error_detail;

bool builder_fail(uint16_t code) { return builder_fail_on_path(code, nullptr); }

bool builder_fail_on_path(uint16_t code, const char* path) {
  g_builder.last_error = code;
  g_error_path = path ? path : "";
  g_error_detail.clear();
  return false;
}

bool builder_fail_with_detail(uint16_t code, const std::string& detail, const char* path) {
  builder_fail_on_path(code, path);
  g_error_detail = detail;
  return false;
}

bool builder_reset() {
  host::output_abandon(g_builder.output);
  if (g_builder.container_output) g_builder.container_output->abandon();
  release_source_tree();
  clear_previous_table();
  g_builder = BuilderState();
  g_builder.last_error = BUILD_OK;
  g_error_path.clear();
  g_error_detail.clear();
  return true;
}

void builder_set_callbacks(BuilderLogFn on_log, BuilderProgressFn on_progress,
                           BuilderFileDoneFn on_file_done, BuilderFinishedFn on_finished) {
  g_builder.on_log = on_log;
  g_builder.on_progress = on_progress;
  g_builder.on_file_done = on_file_done;
  g_builder.on_finished = on_finished;
}

uint16_t builder_last_error() { return g_builder.last_error; }
const char* builder_last_error_path() {
  return g_builder.last_error == BUILD_OK ? "" : g_error_path.c_str();
}
const char* builder_last_error_detail() {
  return g_builder.last_error == BUILD_OK ? "" : g_error_detail.c_str();
}

void builder_set_disc_magic(bool enabled) { g_builder.write_disc_magic = enabled; }

void builder_set_folder_parent_links(bool enabled) { g_builder.write_folder_parent_links = enabled; }

void builder_set_boot_blocks(const uint8_t* boot_bin, const uint8_t* bi2) {
  g_builder.use_boot_blocks = boot_bin && bi2;
  if (g_builder.use_boot_blocks) {
    std::memcpy(g_builder.boot_bin, boot_bin, sizeof g_builder.boot_bin);
    std::memcpy(g_builder.bi2, bi2, sizeof g_builder.bi2);
  } else {
    std::memset(g_builder.boot_bin, 0, sizeof g_builder.boot_bin);
    std::memset(g_builder.bi2, 0, sizeof g_builder.bi2);
  }
}

void builder_set_bi2_region(char region_letter) {
  write_be32(g_builder.bi2 + BI2_REGION_OFFSET, bi2_region_for_letter(region_letter));
}

void builder_set_new_disc_boot_blocks(const uint8_t* other_disc, char region_letter) {
  static const uint8_t no_bi2[BI2_SIZE] = {};
  uint8_t boot_bin[BOOT_BIN_SIZE] = {};
  // The game code, maker and name come with the settings, written over
  // these; the rest of what makes the other disc itself is kept.
  if (other_disc) std::memcpy(boot_bin, other_disc, DISC_IDENTITY_SIZE);
  write_be32(boot_bin + offsetof(DiscHeader, max_fst_size), DEFAULT_MAX_FST_SIZE);
  builder_set_boot_blocks(boot_bin, other_disc ? other_disc + BI2_OFFSET : no_bi2);
  // A new disc's bi2 block is zeros but for the region word.
  if (!other_disc) builder_set_bi2_region(region_letter);
}

void builder_set_without_main_program(bool enabled) { g_builder.without_main_program = enabled; }

void builder_set_format_limits(bool enabled) { g_builder.format_limits = enabled; }

void builder_set_file_alignment(uint32_t alignment) { g_builder.file_alignment = alignment; }

void builder_set_dry_run(bool enabled) { g_builder.dry_run = enabled; }

// ---------------------------------------------------------------------------
// Allocation
// ---------------------------------------------------------------------------

static long g_allocations_left = -1;  // test hook: fail after this many; -1 never

void builder_testing_fail_allocations_after(long count) { g_allocations_left = count; }

void* builder_alloc(size_t size) {
  if (g_allocations_left == 0) {
    g_builder.last_error = BUILD_ERR_NO_MEMORY;
    return nullptr;
  }
  if (g_allocations_left > 0) --g_allocations_left;
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
