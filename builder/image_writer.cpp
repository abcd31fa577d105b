// The image writer: checks the inputs, creates the output, has the base
// directory scanned, then writes the whole image stage by stage in disc
// order, reporting through the callbacks, and puts it in the output's place
// at the end. The layout is known before the first byte goes out, so the
// header is written first with its final values and nothing is written
// twice: a container writer takes the image as it comes.
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <initializer_list>
#include <string>

#include "builder/builder_state.h"

// Progress is reported per 4,096-byte block, whatever size the reads and
// writes underneath have.
static constexpr uint32_t PROGRESS_BLOCK = 4096;
// Data moves through this buffer; large transfers keep the build close to the
// speed of a plain copy.
static constexpr size_t COPY_BUFFER_SIZE = 1u << 20;
static uint8_t g_copy_buffer[COPY_BUFFER_SIZE];
// Maximising extends the file by this much between progress reports.
static constexpr uint64_t EXTEND_STEP = 64ull << 20;
// DISC_IMAGE_SIZE / 100, rounded down: the divisor of maximising's percentage.
static constexpr uint32_t DISC_PERCENT_DIVISOR = DISC_IMAGE_SIZE / 100;

static const uint8_t ZEROS[FILE_ALIGNMENT] = {};

#define ADDING_FILE_PREFIX "ファイルの追加 '"
const char BUILDER_LOG_ADDING_FILE_PREFIX[] = ADDING_FILE_PREFIX;
const char BUILDER_LOG_ADDING_FILE[] = ADDING_FILE_PREFIX "%s'";

static void log_line(const char* text) {
  if (g_builder.on_log) g_builder.on_log(text);
}

static void report_progress(int percent, uint32_t bytes) {
  if (g_builder.on_progress) g_builder.on_progress(percent, bytes);
}

static const ContainerOutput* container() { return g_builder.container_output; }

static host::File* output_file() { return host::output_file(g_builder.output); }

// Removes the unfinished image; an existing output stays as it was.
static void discard_output() {
  host::output_abandon(g_builder.output);
  g_builder.output = nullptr;
  if (container()) container()->abandon();
}

// Appends n bytes at the image's end; false with the error recorded.
static bool append(const void* bytes, size_t n) {
  if (container()) {
    if (!container()->write(bytes, n)) return false;
  } else if (!host::file_write(output_file(), bytes, n)) {
    return builder_fail(BUILD_ERR_WRITE);
  }
  g_builder.output_end += n;
  return true;
}

// Zeros from the image's end up to end: a plain image is extended (sparse
// where the host can), a container is given them.
static bool append_zeros_to(uint64_t end) {
  if (!container()) {
    if (!host::file_extend_with_zeros(output_file(), end)) return builder_fail(BUILD_ERR_WRITE);
    g_builder.output_end = end;
    return true;
  }
  static const uint8_t zeros[64u << 10] = {};
  while (g_builder.output_end < end) {
    uint64_t n = end - g_builder.output_end;
    if (!append(zeros, size_t(n < sizeof zeros ? n : sizeof zeros))) return false;
  }
  return true;
}

// ---------------------------------------------------------------------------

// Measured length of an input file; 0 when it cannot be opened.
static uint64_t input_length(const char* path) {
  uint64_t length = 0;
  return host::measure_file(path, &length) ? length : 0;
}

// An input must be a regular file that opens; its length serves the layout.
static bool measure_input(const char* path, uint64_t* length) {
  if (host::path_kind(path) == host::PathKind::Other)
    return builder_fail_on_path(BUILD_ERR_NOT_REGULAR_FILE, path);
  if (!host::measure_file(path, length)) return builder_fail_on_path(BUILD_ERR_OPEN_INPUT, path);
  return true;
}

// The output must not be an input under another name, nor lie where the scan
// will take it as a disc file.
static bool check_output_is_no_input(const BuildSettings& s) {
  host::FileId output, input;
  if (host::path_identity(s.output_path, &output)) {
    for (const char* path : {s.apploader_path, s.main_program_path}) {
      if (path == s.main_program_path && g_builder.without_main_program) continue;
      if (host::path_identity(path, &input) && input == output)
        return builder_fail_on_path(BUILD_ERR_OUTPUT_IS_INPUT, path);
    }
  }
  if (host::path_is_inside_folder(s.output_path, s.base_directory))
    return builder_fail_on_path(BUILD_ERR_OUTPUT_IS_INPUT, s.base_directory);
  return true;
}

static bool prepare(const BuildSettings* settings) {
  if (!settings) return builder_fail(BUILD_ERR_NO_SETTINGS);
  g_builder.settings = *settings;
  // The path fields are read as strings: make sure each one ends.
  BuildSettings& s = g_builder.settings;
  s.output_path[BUILD_PATH_CAPACITY - 1] = '\0';
  s.base_directory[BUILD_PATH_CAPACITY - 1] = '\0';
  s.main_program_path[BUILD_PATH_CAPACITY - 1] = '\0';
  s.apploader_path[BUILD_PATH_CAPACITY - 1] = '\0';

  // Both boot files must open for reading; their lengths serve the layout check.
  uint64_t apploader_length = 0, main_program_length = 0;
  if (!measure_input(s.apploader_path, &apploader_length) ||
      (!g_builder.without_main_program && !measure_input(s.main_program_path, &main_program_length)) ||
      !check_output_is_no_input(s))
    return false;

  // The image is flushed to the disk before it replaces the output. A
  // container's writer needs the disc's size, known at the write: here its
  // output is only tried, so that a path it cannot create fails before the scan.
  // A dry run makes no output at all.
  g_builder.output = g_builder.dry_run ? nullptr : host::output_begin(s.output_path, !container());
  g_builder.output_end = 0;
  if (!g_builder.output && !g_builder.dry_run) return builder_fail(BUILD_ERR_CREATE_OUTPUT);
  if (container() && g_builder.output) discard_output();

  if (!scan_base_directory() || !apply_previous_table()) return false;

  // Refuse now what the image could not hold, before the caller starts the
  // write, which takes this layout.
  ImageLayout layout;
  return plan_image_layout(apploader_length, main_program_length, &layout) &&
         (!container() || container()->check(g_builder.content_end));
}

bool builder_prepare(const BuildSettings* settings) {
  g_builder.prepared = false;
  discard_output();
  if (!prepare(settings)) {
    discard_output();
    return false;
  }
  g_builder.prepared = true;
  g_builder.last_error = BUILD_OK;
  return true;
}

// ---------------------------------------------------------------------------

// Appends the file at path at the output's end. expected_length is the length
// the layout was computed with: a file that no longer has it would shift every
// later byte, so it is refused.
static bool copy_file_into_image(const char* path, uint64_t expected_length) {
  size_t line_size = sizeof BUILDER_LOG_ADDING_FILE + std::strlen(path);
  char* line = static_cast<char*>(builder_alloc(line_size));
  if (!line) return false;
  std::snprintf(line, line_size, BUILDER_LOG_ADDING_FILE, path);
  log_line(line);
  std::free(line);

  host::File* in = host::file_open_read(path);
  if (!in) return builder_fail_on_path(BUILD_ERR_OPEN_INPUT, path);
  // Measured on the open file rather than by opening it once more; 0 when
  // it cannot be measured.
  uint64_t length = 0;
  host::file_length(in, &length);
  if (length != expected_length) {
    host::file_close(in);
    return builder_fail_on_path(BUILD_ERR_SOURCE_CHANGED, path);
  }

  // Blocks reported before the final part: every full block that still
  // leaves at least one byte behind it.
  uint32_t length32 = uint32_t(length);
  uint32_t full_blocks = length32 == 0 ? 0 : (length32 - 1) / PROGRESS_BLOCK;
  uint32_t reported = 0;
  uint64_t done = 0;
  while (done < length) {
    size_t n = size_t(length - done < COPY_BUFFER_SIZE ? length - done : COPY_BUFFER_SIZE);
    if (!host::file_read(in, g_copy_buffer, n)) {
      host::file_close(in);
      return builder_fail_on_path(BUILD_ERR_READ, path);
    }
    if (!append(g_copy_buffer, n)) {
      host::file_close(in);
      return false;
    }
    done += n;
    while (reported < full_blocks && uint64_t(reported + 1) * PROGRESS_BLOCK <= done) {
      ++reported;
      uint32_t bytes = reported * PROGRESS_BLOCK;
      report_progress(int(bytes / (length32 / 100)), bytes);
    }
  }
  if (length > 0) report_progress(100, length32);

  host::file_close(in);
  if (g_builder.on_file_done) g_builder.on_file_done();
  g_builder.last_error = BUILD_OK;
  return true;
}

// Pads the output with zeros up to offset, where the next file's data goes.
static bool pad_to(uint64_t offset) {
  while (g_builder.output_end < offset) {
    uint64_t gap = offset - g_builder.output_end;
    if (!append(ZEROS, size_t(gap < sizeof ZEROS ? gap : sizeof ZEROS))) return false;
  }
  return true;
}

// Copies every disc file at the offset the layout gave it, in the order of
// the data on the disc.
static bool copy_disc_files() {
  for (const SourceNode* node : files_in_data_order()) {
    // Each file must land where its entry says.
    if (g_builder.output_end > node->data_offset) return builder_fail(BUILD_ERR_SOURCE_CHANGED);
    if (!pad_to(node->data_offset) || !copy_file_into_image(node->full_path, node->size)) return false;
  }
  return true;
}

static bool maximise_image_size() {
  log_line("サイズの最大化中");
  uint64_t position = g_builder.output_end;
  while (position + PROGRESS_BLOCK < DISC_IMAGE_SIZE) {
    uint64_t blocks = (DISC_IMAGE_SIZE - position - 1) / PROGRESS_BLOCK;
    if (blocks > EXTEND_STEP / PROGRESS_BLOCK) blocks = EXTEND_STEP / PROGRESS_BLOCK;
    if (!append_zeros_to(position + blocks * PROGRESS_BLOCK)) return false;
    for (uint64_t i = 0; i < blocks; ++i) {
      position += PROGRESS_BLOCK;
      report_progress(int(position / DISC_PERCENT_DIVISOR), uint32_t(position));
    }
  }
  if (position < DISC_IMAGE_SIZE) {
    if (!append_zeros_to(DISC_IMAGE_SIZE)) return false;
    report_progress(100, DISC_IMAGE_SIZE);
  }
  return true;
}

// Puts the finished image in the output's place.
static bool commit_output() {
  if (container()) return container()->finish();
  std::string kept;
  host::Commit result = host::output_commit(g_builder.output, &kept);
  g_builder.output = nullptr;
  switch (result) {
    case host::Commit::Done: return true;
    case host::Commit::KeptAside: return builder_fail_on_path(BUILD_ERR_OUTPUT_IN_USE, kept.c_str());
    case host::Commit::Failed: break;
  }
  return builder_fail(BUILD_ERR_WRITE);
}

static bool write_image(bool maximise) {
  const BuildSettings& s = g_builder.settings;

  log_line("書き込み開始");

  // The boot files are measured again: one that changed since the
  // preparation moves the layout with it, as does an option set since.
  uint64_t apploader_length = input_length(s.apploader_path);
  uint64_t main_program_length = g_builder.without_main_program ? 0 : input_length(s.main_program_path);
  ImageLayout layout = g_builder.layout;
  if ((!g_builder.layout_ready || layout.apploader_length != apploader_length ||
       layout.main_program_length != main_program_length) &&
      !plan_image_layout(apploader_length, main_program_length, &layout))
    return false;

  // The header: the given boot block's bytes or zeros, then the settings'
  // fields and the layout's, the table's size included.
  DiscHeader& h = g_builder.header;
  if (g_builder.use_boot_blocks) std::memcpy(&h, g_builder.boot_bin, sizeof h);
  std::memcpy(h.game_code, s.game_code, sizeof h.game_code);
  std::memcpy(h.maker_code, s.maker_code, sizeof h.maker_code);
  std::memcpy(h.game_name, s.game_name, sizeof h.game_name);
  if (g_builder.write_disc_magic) h.disc_magic.set(GAMECUBE_DISC_MAGIC);
  if (!g_builder.use_boot_blocks) h.max_fst_size.set(s.max_fst_size);
  h.main_program_offset.set(layout.main_program_offset);
  h.fst_offset.set(layout.fst_offset);
  h.fst_size.set(layout.fst_size);
  if (h.max_fst_size.get() < layout.fst_size) h.max_fst_size.set(layout.fst_size);

  if (container()) {
    const uint64_t end = g_builder.content_end;
    if (!container()->open(maximise && end < DISC_IMAGE_SIZE ? DISC_IMAGE_SIZE : end)) return false;
  }
  g_builder.output_end = 0;
  if (!append(&h, sizeof h)) return false;
  // The rest of boot.bin and the bi2 block: zeros unless given.
  if (!append(g_builder.boot_bin + sizeof h, BOOT_GAP_SIZE)) return false;
  log_line("ブートセクタの書き込み中");
  if (!append(g_builder.bi2, sizeof g_builder.bi2)) return false;

  log_line("ゲームローダーの書き込み中");
  if (!copy_file_into_image(s.apploader_path, apploader_length)) return false;
  log_line("メインプログラムの書き込み中");
  if (!g_builder.without_main_program && !copy_file_into_image(s.main_program_path, main_program_length))
    return false;

  log_line("ファイル構造のキャッシュ中");
  uint8_t* table = static_cast<uint8_t*>(builder_alloc(layout.fst_size));
  if (!table) return false;
  emit_file_system_table(table);

  log_line("ファイル構造を書き込んでいます");
  bool table_written = append(table, layout.fst_size);
  std::free(table);
  if (!table_written) return false;

  if (!copy_disc_files()) return false;

  log_line("ファイルの書込み完了");

  if (maximise && !maximise_image_size()) return false;
  return commit_output();
}

bool builder_write_image(bool maximise) {
  if (!g_builder.prepared || g_builder.dry_run || (!container() && !g_builder.output))
    return builder_fail(BUILD_ERR_NOT_PREPARED);
  g_builder.prepared = false;  // one write per preparation
  if (!write_image(maximise)) {
    discard_output();
    return false;
  }
  log_line("すべての作業を完了しました");
  if (g_builder.on_finished) g_builder.on_finished();
  g_builder.last_error = BUILD_OK;
  return true;
}
