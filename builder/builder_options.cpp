// The builder engine's reset, options and callbacks. Above the scan and the
// previous table: a reset frees the tree and the table through them, then
// puts a fresh state in place.
#include <cstddef>
#include <cstring>

#include "builder/builder_state.h"

bool builder_reset() {
  host::output_abandon(g_builder.output);
  if (g_builder.container_output) g_builder.container_output->abandon();
  release_source_tree();
  clear_previous_table();
  const long allocations_left = g_builder.allocations_left;
  g_builder = BuilderState();
  g_builder.allocations_left = allocations_left;
  return true;
}

void builder_set_callbacks(BuilderLogFn on_log, BuilderProgressFn on_progress,
                           BuilderFileDoneFn on_file_done, BuilderFinishedFn on_finished) {
  g_builder.on_log = on_log;
  g_builder.on_progress = on_progress;
  g_builder.on_file_done = on_file_done;
  g_builder.on_finished = on_finished;
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

// The options below move the layout: one set after the preparation has the
// write compute it again.
void builder_set_without_main_program(bool enabled) {
  g_builder.without_main_program = enabled;
  g_builder.layout_ready = false;
}

void builder_set_format_limits(bool enabled) {
  g_builder.format_limits = enabled;
  g_builder.layout_ready = false;
}

bool builder_set_file_alignment(uint32_t alignment) {
  if (alignment != 0 && !builder_is_file_alignment(alignment)) return false;
  g_builder.file_alignment = alignment;
  g_builder.layout_ready = false;
  return true;
}

void builder_set_dry_run(bool enabled) { g_builder.dry_run = enabled; }
