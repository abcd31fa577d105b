// Writing a planned edit, in the order that keeps the image whole when the
// write stops anywhere: new data and the new table into free space, flushed;
// the table pointers, flushed; the header fields; the freed space zeroed.
#include <cstdlib>
#include <cstring>
#include <memory>

#include "builder/image_edit_state.h"

namespace {

constexpr size_t COPY_BUFFER_SIZE = 1u << 20;

struct Writer {
  host::File* image;
  uint8_t* buffer;  // COPY_BUFFER_SIZE bytes
  uint64_t done;    // bytes of new data and table written
};

void stage(EditStage s) {
  if (g_edit.on_stage) g_edit.on_stage(s);
}

void progress(const Writer& w) {
  if (g_edit.on_progress) g_edit.on_progress(w.done, g_edit.plan.bytes_to_write);
}

bool write_at(Writer& w, uint64_t offset, const void* bytes, size_t n) {
  if (!edit_write_allowed()) return false;
  if (!host::file_seek(w.image, offset) || !host::file_write(w.image, bytes, n))
    return edit_fail_on_path(BUILD_ERR_WRITE, g_edit.image_path);
  return true;
}

bool flush(Writer& w) {
  if (!edit_write_allowed()) return false;
  if (!host::file_flush(w.image)) return edit_fail_on_path(BUILD_ERR_WRITE, g_edit.image_path);
  return true;
}

// Copies the step's host file to its planned offset; the file must still
// have the length it had when the action was queued.
bool copy_data(Writer& w, const EditStepRecord& r) {
  host::File* in = host::file_open_read(r.host_path.c_str());
  if (!in) {
    return edit_fail_on_path(host::path_kind(r.host_path.c_str()) == host::PathKind::Other
                                 ? BUILD_ERR_NOT_REGULAR_FILE
                                 : BUILD_ERR_OPEN_INPUT,
                             r.host_path);
  }
  std::unique_ptr<host::File, void (*)(host::File*)> closer(in, host::file_close);
  uint64_t length = 0;
  if (!host::file_length(in, &length) || length != r.step.length)
    return edit_fail_on_path(BUILD_ERR_SOURCE_CHANGED, r.host_path);
  uint64_t copied = 0;
  while (copied < length) {
    size_t n = size_t(length - copied < COPY_BUFFER_SIZE ? length - copied : COPY_BUFFER_SIZE);
    if (!host::file_read(in, w.buffer, n)) return edit_fail_on_path(BUILD_ERR_READ, r.host_path);
    if (!write_at(w, r.step.data_offset + copied, w.buffer, n)) return false;
    copied += n;
    w.done += n;
    progress(w);
  }
  return true;
}

// The header's pointers to the table: offset, size and the largest size
// the apploader reserves room for, which never shrinks.
bool switch_table(Writer& w) {
  uint8_t words[12];
  const EditPlan& p = g_edit.plan;
  uint32_t max_size = g_edit.header.max_fst_size.get();
  if (max_size < p.table_size) max_size = p.table_size;
  write_be32(words, p.table_offset);
  write_be32(words + 4, p.table_size);
  write_be32(words + 8, max_size);
  static_assert(offsetof(DiscHeader, fst_size) == offsetof(DiscHeader, fst_offset) + 4 &&
                    offsetof(DiscHeader, max_fst_size) == offsetof(DiscHeader, fst_offset) + 8,
                "the three pointers lie together");
  return write_at(w, offsetof(DiscHeader, fst_offset), words, sizeof words) && flush(w);
}

// The identity fields up to the end of the game name, and with the magic
// word the bi2 region word of the region letter.
bool write_header_fields(Writer& w) {
  const DiscHeader& h = g_edit.edited_header;
  const size_t fields_end = offsetof(DiscHeader, game_name) + sizeof h.game_name;
  if (!write_at(w, 0, &h, fields_end)) return false;
  if (g_edit.disc_magic && h.game_code[3] != g_edit.header.game_code[3]) {
    uint8_t word[4];
    write_be32(word, bi2_region_for_letter(h.game_code[3]));
    if (!write_at(w, BI2_OFFSET + BI2_REGION_OFFSET, word, sizeof word)) return false;
  }
  return flush(w);
}

bool clear_freed(Writer& w) {
  std::memset(w.buffer, 0, COPY_BUFFER_SIZE);
  for (const EditRange& r : g_edit.freed) {
    for (uint64_t at = r.first; at < r.second;) {
      size_t n = size_t(r.second - at < COPY_BUFFER_SIZE ? r.second - at : COPY_BUFFER_SIZE);
      if (!write_at(w, at, w.buffer, n)) return false;
      at += n;
    }
  }
  // Not flushed: should these writes be lost, later edits only find less
  // free space.
  return true;
}

void report_steps(bool (*which)(EditActionKind)) {
  if (!g_edit.on_step) return;
  for (const EditStepRecord& r : g_edit.steps)
    if (which(r.step.kind)) g_edit.on_step(&r.step);
}

bool apply(Writer& w) {
  const EditPlan& p = g_edit.plan;
  stage(EDIT_STAGE_DATA);
  for (const EditStepRecord& r : g_edit.steps) {
    if (!r.step.placed) continue;
    if (!copy_data(w, r)) return false;
    if (g_edit.on_step) g_edit.on_step(&r.step);
  }
  if (!g_edit.new_table.empty()) {
    stage(EDIT_STAGE_TABLE);
    if (!write_at(w, p.table_offset, g_edit.new_table.data(), g_edit.new_table.size())) return false;
    w.done += g_edit.new_table.size();
    progress(w);
    // Everything the new table points at is on the disk before the header
    // points at it.
    if (!flush(w)) return false;
    stage(EDIT_STAGE_SWITCH);
    if (!switch_table(w)) return false;
    g_edit.table_switched = true;
    report_steps([](EditActionKind k) { return k == EDIT_REMOVE || k == EDIT_RENAME; });
  }
  if (g_edit.header_changed) {
    stage(EDIT_STAGE_HEADER);
    if (!write_header_fields(w)) return false;
  }
  report_steps([](EditActionKind k) { return k == EDIT_HEADER; });
  if (!g_edit.freed.empty()) {
    stage(EDIT_STAGE_CLEAR);
    if (!clear_freed(w)) return false;
  }
  stage(EDIT_STAGE_DONE);
  return true;
}

}  // namespace

bool builder_edit_apply() {
  return edit_guard([] {
    if (!g_edit.planned) return edit_fail(EDIT_ERR_NOT_READY);
    g_edit.planned = false;  // one write per plan
    g_edit.table_switched = false;
    // The image must be the one the plan read: same file, same size.
    const char* path = g_edit.image_path.c_str();
    host::FileId id;
    uint64_t size = 0;
    if (!host::path_identity(path, &id) || !(id == g_edit.image_id) || !host::measure_file(path, &size) ||
        size != g_edit.image_size)
      return edit_fail_on_path(EDIT_ERR_IMAGE_CHANGED, g_edit.image_path);
    Writer w = {host::file_open_update(path), nullptr, 0};
    if (!w.image) return edit_fail_on_path(EDIT_ERR_OPEN_FOR_WRITING, g_edit.image_path);
    std::unique_ptr<host::File, void (*)(host::File*)> closer(w.image, host::file_close);
    if (!host::file_identity(w.image, &id) || !(id == g_edit.image_id))
      return edit_fail_on_path(EDIT_ERR_IMAGE_CHANGED, g_edit.image_path);
    std::unique_ptr<uint8_t, void (*)(void*)> buffer(static_cast<uint8_t*>(edit_alloc(COPY_BUFFER_SIZE)), std::free);
    if (!buffer) return false;
    w.buffer = buffer.get();
    if (!apply(w)) return false;
    g_edit.last_error = BUILD_OK;
    return true;
  });
}
