// The plan of an edit: where new data and the new table go, the new table
// itself, and what the edit frees. Free space is found lazily: a gap between
// used areas is read only as far as a placement needs it.
#include <algorithm>
#include <cstdlib>
#include <cstring>
#include <memory>

#include "builder/image_edit_state.h"
#include "container/junk.h"

// The new table starts at a multiple of this: disc reads of the table take
// 4-byte offsets, and 32 keeps it on the boundaries other tables use.
static constexpr uint32_t TABLE_ALIGNMENT = 32;
// Gaps are read in pieces of this size.
static constexpr size_t SCAN_CHUNK = 1u << 16;

// The last piece read, kept so that checks close together read it once.
struct ScanChunk {
  uint64_t offset = UINT64_MAX;
  size_t size = 0;
  uint8_t bytes[SCAN_CHUNK];
  uint8_t junk[SCAN_CHUNK];
  bool junk_made = false;
};

namespace {

std::vector<EditRange> merged(std::vector<EditRange> ranges) {
  std::sort(ranges.begin(), ranges.end());
  std::vector<EditRange> out;
  for (const EditRange& r : ranges) {
    if (r.first >= r.second) continue;
    if (!out.empty() && r.first <= out.back().second) {
      out.back().second = std::max(out.back().second, r.second);
    } else {
      out.push_back(r);
    }
  }
  return out;
}

// ranges less every byte of taken (both merged).
std::vector<EditRange> subtract(const std::vector<EditRange>& ranges, const std::vector<EditRange>& taken) {
  std::vector<EditRange> out;
  size_t t = 0;
  for (EditRange r : ranges) {
    while (t < taken.size() && taken[t].second <= r.first) ++t;
    for (size_t k = t; k < taken.size() && taken[k].first < r.second; ++k) {
      if (taken[k].first > r.first) out.push_back({r.first, taken[k].first});
      r.first = std::max(r.first, taken[k].second);
      if (r.first >= r.second) break;
    }
    if (r.first < r.second) out.push_back(r);
  }
  return out;
}

enum class Scan { Free, Used, ReadError };

// Whether [from, to) of the image holds only zeros and the disc's filler;
// *used is the first byte that does not.
Scan scan_free(uint64_t from, uint64_t to, uint64_t* used) {
  const DiscHeader& h = g_edit.header;
  uint64_t position = from;
  while (position < to) {
    ScanChunk& c = *g_edit.scan_chunk;
    if (position < c.offset || position >= c.offset + c.size) {
      c.offset = position - position % SCAN_CHUNK;
      uint64_t left = g_edit.image_size - c.offset;
      c.size = size_t(left < SCAN_CHUNK ? left : SCAN_CHUNK);
      c.junk_made = false;
      if (!edit_read_image(c.offset, c.bytes, c.size)) {
        c.offset = UINT64_MAX;
        return Scan::ReadError;
      }
    }
    const size_t first = size_t(position - c.offset);
    const size_t last = size_t(std::min<uint64_t>(to - c.offset, c.size));
    for (size_t i = first; i < last; ++i) {
      if (c.bytes[i] == 0) continue;
      if (!c.junk_made) {
        junk_fill_disc(reinterpret_cast<const uint8_t*>(h.game_code),
                       reinterpret_cast<const uint8_t*>(&h)[DISC_NUMBER_OFFSET], c.offset, c.junk, c.size);
        c.junk_made = true;
      }
      if (c.bytes[i] != c.junk[i]) {
        *used = c.offset + i;
        return Scan::Used;
      }
    }
    position = c.offset + last;
  }
  return Scan::Free;
}

// From the data at used on, the first file boundary whose block holds only
// zeros or filler (or lies past the image), before end: one pass over the
// data, so that a large area outside the table costs one read of it.
bool skip_data(uint64_t used, uint64_t end, uint64_t* rest, uint64_t* checked_to) {
  uint64_t block = align_up(used + 1, FILE_ALIGNMENT);
  for (; block < end && block < g_edit.image_size; block += FILE_ALIGNMENT) {
    const uint64_t block_end = std::min<uint64_t>(block + FILE_ALIGNMENT, g_edit.image_size);
    uint64_t ignored = 0;
    Scan scan = scan_free(block, block_end, &ignored);
    if (scan == Scan::ReadError) return false;
    if (scan == Scan::Free) {
      *rest = block;
      *checked_to = block_end;
      return true;
    }
  }
  *rest = *checked_to = block;
  return true;
}

}  // namespace

void edit_find_gaps() {
  std::vector<EditRange> used = g_edit.system_ranges;
  used.push_back({g_edit.old_table_offset, uint64_t(g_edit.old_table_offset) + g_edit.old_table_size});
  // Every byte the image's table points at stays untouched until the new
  // table is live, freed or not.
  for (const auto& node : g_edit.nodes)
    if (!node->is_directory && !node->is_new) used.push_back({node->offset, uint64_t(node->offset) + node->length});
  g_edit.gaps.clear();
  for (const EditRange& free : subtract({{0, UINT64_MAX}}, merged(used)))
    g_edit.gaps.push_back({free.first, free.second, free.first});
}

bool edit_take_space(uint64_t length, uint32_t alignment, uint64_t* offset) {
  std::vector<EditGap>& gaps = g_edit.gaps;
  for (size_t i = 0; i < gaps.size(); ++i) {
    uint64_t position = align_up(gaps[i].start, alignment);
    while (position + length <= gaps[i].end && position + length >= position) {
      EditGap& gap = gaps[i];
      const uint64_t from = std::max(position, gap.checked_to);
      const uint64_t to = std::min(position + length, g_edit.image_size);
      uint64_t used = 0;
      Scan scan = from < to ? scan_free(from, to, &used) : Scan::Free;
      if (scan == Scan::ReadError) return edit_fail_on_path(BUILD_ERR_READ, g_edit.image_path);
      if (scan == Scan::Used) {
        // The gap ends before that byte; what follows is a gap of its own
        // from the first file boundary past the data whose block is free.
        uint64_t rest = 0, rest_checked = 0;
        if (!skip_data(used, gap.end, &rest, &rest_checked)) return edit_fail_on_path(BUILD_ERR_READ, g_edit.image_path);
        if (from == gap.checked_to) gap.checked_to = used;
        const uint64_t end = gap.end;
        gap.end = used;
        if (rest < end) gaps.insert(gaps.begin() + long(i) + 1, {rest, end, rest_checked});
        break;
      }
      // Taken: the gap keeps what lies before and after it.
      const EditGap before = {gap.start, position, std::min(gap.checked_to, position)};
      const EditGap after = {position + length, gap.end, std::max(position + length, gap.checked_to)};
      gaps.erase(gaps.begin() + long(i));
      if (after.start < after.end) gaps.insert(gaps.begin() + long(i), after);
      if (before.start < before.end) gaps.insert(gaps.begin() + long(i), before);
      *offset = position;
      return true;
    }
  }
  // The last gap runs to the end of the offsets, so only a length that no
  // offset can hold comes here.
  return edit_fail(BUILD_ERR_DATA_TOO_LARGE);
}

namespace {

// The tree's entries in table order, root first.
std::vector<EditNode*> entries_in_table_order() {
  std::vector<EditNode*> order;
  std::vector<EditNode*> open = {g_edit.root};
  while (!open.empty()) {
    EditNode* node = open.back();
    open.pop_back();
    order.push_back(node);
    for (size_t i = node->children.size(); i-- > 0;) open.push_back(node->children[i]);
  }
  return order;
}

// The file's data in the new table: new data where placed, else where it
// lies.
uint32_t final_offset(const EditNode* node) {
  return node->source_step >= 0 ? g_edit.steps[size_t(node->source_step)].step.data_offset : node->offset;
}
uint32_t final_length(const EditNode* node) {
  return node->source_step >= 0 ? g_edit.steps[size_t(node->source_step)].step.length : node->length;
}

// The table for the tree: entries in table order, then the names.
bool emit_table(const std::vector<EditNode*>& order) {
  const uint64_t count = order.size();
  uint64_t names_size = 0, largest_name_offset = 0;
  for (size_t i = 1; i < order.size(); ++i) {
    largest_name_offset = names_size;
    names_size += order[i]->name.size() + 1;
  }
  const uint64_t size = count * FST_ENTRY_SIZE + names_size;
  if (largest_name_offset > FST_NAME_OFFSET_LIMIT || size > FST_MAX_READ_SIZE)
    return edit_fail(BUILD_ERR_TABLE_TOO_LARGE);
  g_edit.new_table.assign(size_t(size), 0);
  uint8_t* table = g_edit.new_table.data();

  // Each folder's index, and where its contents end: the index after its
  // last descendant.
  std::vector<uint32_t> index_of_parent(order.size(), 0), end(order.size(), 0);
  struct Open {
    const EditNode* node;
    uint32_t index;
  };
  std::vector<Open> open;
  uint32_t name_offset = 0;
  for (uint32_t i = 0; i < order.size(); ++i) {
    while (!open.empty() && open.back().node != order[i]->parent) {
      end[open.back().index] = i;
      open.pop_back();
    }
    index_of_parent[i] = open.empty() ? 0 : open.back().index;
    if (order[i]->is_directory) open.push_back({order[i], i});
  }
  while (!open.empty()) {
    end[open.back().index] = uint32_t(order.size());
    open.pop_back();
  }

  char* names = reinterpret_cast<char*>(table + count * FST_ENTRY_SIZE);
  for (uint32_t i = 0; i < order.size(); ++i) {
    const EditNode* node = order[i];
    FstEntry entry;
    std::memset(&entry, 0, sizeof entry);
    if (i > 0) {
      entry.set_name_offset(name_offset);
      std::memcpy(names + name_offset, node->name.c_str(), node->name.size() + 1);
      name_offset += uint32_t(node->name.size() + 1);
    }
    if (node->is_directory) {
      entry.kind = FST_KIND_DIRECTORY;
      entry.second.set(i > 0 && g_edit.parent_links ? index_of_parent[i] : 0);
      entry.third.set(end[i]);
    } else {
      entry.kind = FST_KIND_FILE;
      entry.second.set(final_offset(node));
      entry.third.set(final_length(node));
    }
    std::memcpy(table + uint64_t(i) * FST_ENTRY_SIZE, &entry, FST_ENTRY_SIZE);
  }
  return true;
}

bool tree_changes() {
  for (const EditStepRecord& r : g_edit.steps)
    if (r.step.kind != EDIT_HEADER) return true;
  return false;
}

bool plan() {
  EditPlan& p = g_edit.plan;
  p = EditPlan();
  p.image_size_before = g_edit.image_size;
  p.table_offset = g_edit.old_table_offset;
  p.table_size = g_edit.old_table_size;
  g_edit.freed.clear();
  g_edit.new_table.clear();

  const std::vector<EditNode*> order = entries_in_table_order();
  edit_find_gaps();
  // New data in the order of the actions; a step whose file was removed or
  // given other data later writes nothing.
  std::vector<bool> in_tree(g_edit.steps.size(), false);
  for (const EditNode* node : order)
    if (node->source_step >= 0) in_tree[size_t(node->source_step)] = true;
  for (size_t i = 0; i < g_edit.steps.size(); ++i) {
    EditStep& step = g_edit.steps[i].step;
    step.placed = false;
    step.data_offset = 0;
    if (!in_tree[i]) continue;
    uint64_t offset = 0;
    if (!edit_take_space(step.length, step.alignment, &offset)) return false;
    // Offsets and ends are 32-bit in the table.
    if (offset + step.length > UINT32_MAX) return edit_fail_on_path(BUILD_ERR_DATA_TOO_LARGE, g_edit.steps[i].path);
    step.placed = true;
    step.data_offset = uint32_t(offset);
    p.bytes_to_write += step.length;
  }

  // The live table and every range it points at, after the edit.
  std::vector<EditRange> live = g_edit.system_ranges;
  if (tree_changes()) {
    if (!emit_table(order)) return false;
    uint64_t offset = 0;
    if (!edit_take_space(g_edit.new_table.size(), TABLE_ALIGNMENT, &offset)) return false;
    if (offset + g_edit.new_table.size() > UINT32_MAX) return edit_fail(BUILD_ERR_DATA_TOO_LARGE);
    p.writes_table = true;
    p.table_offset = uint32_t(offset);
    p.table_size = uint32_t(g_edit.new_table.size());
    // The table was made before its own place was known; nothing in it
    // depends on that.
    p.bytes_to_write += p.table_size;
  }
  live.push_back({p.table_offset, uint64_t(p.table_offset) + p.table_size});
  for (const EditNode* node : order)
    if (!node->is_directory) live.push_back({final_offset(node), uint64_t(final_offset(node)) + final_length(node)});
  live = merged(live);

  // Freed: old data and the old table no entry of the new table points into.
  if (tree_changes()) {
    std::vector<EditRange> old = {{g_edit.old_table_offset, uint64_t(g_edit.old_table_offset) + g_edit.old_table_size}};
    for (const auto& node : g_edit.nodes)
      if (!node->is_directory && !node->is_new) old.push_back({node->offset, uint64_t(node->offset) + node->length});
    g_edit.freed = subtract(merged(old), live);
    for (EditRange& r : g_edit.freed) r.second = std::min(r.second, g_edit.image_size);
    g_edit.freed.erase(std::remove_if(g_edit.freed.begin(), g_edit.freed.end(),
                                      [](const EditRange& r) { return r.first >= r.second; }),
                       g_edit.freed.end());
    for (const EditRange& r : g_edit.freed) p.bytes_freed += r.second - r.first;
  }

  p.content_end = live.empty() ? 0 : live.back().second;
  g_edit.content_end = p.content_end;
  p.image_size_after = std::max<uint64_t>(g_edit.image_size, p.content_end);
  // Content past a full disc is refused unless allowed, when the edit makes
  // the image longer.
  if (p.content_end > DISC_IMAGE_SIZE && p.content_end > g_edit.image_size && !g_edit.allow_oversize)
    return edit_fail_on_path(EDIT_ERR_OVERSIZE, g_edit.image_path);
  return true;
}

}  // namespace

bool builder_edit_plan() {
  return edit_guard([] {
    g_edit.planned = g_edit.have_plan = false;
    if (!g_edit.root || !g_edit.image) return edit_fail(EDIT_ERR_NOT_READY);
    std::unique_ptr<ScanChunk, void (*)(void*)> chunk(static_cast<ScanChunk*>(edit_alloc(sizeof(ScanChunk))),
                                                     std::free);
    if (!chunk) return false;
    chunk->offset = UINT64_MAX;
    g_edit.scan_chunk = chunk.get();
    bool ok = plan();
    g_edit.scan_chunk = nullptr;
    if (!ok) return false;
    g_edit.planned = g_edit.have_plan = true;
    g_edit.last_error = BUILD_OK;
    return true;
  });
}
