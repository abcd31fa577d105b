// The layout of an image from the scanned tree, and the file system table
// written from it: sizes, the format's limits, the entries and names in table
// order, and the files in that same order for the writer.
#include <cstring>

#include "builder/builder_state.h"

static uint64_t names_size(const SourceNode* node) {
  uint64_t total = 0;
  for (; node; node = node->next_sibling)
    total += std::strlen(node->name) + 1 + names_size(node->first_child);
  return total;
}

static uint64_t table_size() {
  uint64_t entries = uint64_t(g_builder.directory_count) + g_builder.file_count + 1;
  return entries * FST_ENTRY_SIZE + names_size(g_builder.root.first_child);
}

uint32_t fst_total_size() {
  uint64_t size = table_size();
  return size > UINT32_MAX ? UINT32_MAX : uint32_t(size);
}

// The counters of the walks, wide enough that exceeding the format's limits
// can be noticed before anything is written.
struct WalkCounters {
  uint64_t entry_index;
  uint64_t name_offset;
  uint64_t data_offset;
  uint64_t largest_name_offset;
};

static bool check_data_walk(const SourceNode* node, WalkCounters* c) {
  for (; node; node = node->next_sibling) {
    ++c->entry_index;
    if (c->name_offset > c->largest_name_offset) c->largest_name_offset = c->name_offset;
    c->name_offset += std::strlen(node->name) + 1;
    if (node->is_directory) {
      if (!check_data_walk(node->first_child, c)) return false;
    } else {
      // The file must start and end within 32-bit offsets.
      if (c->data_offset + node->size > UINT32_MAX) return false;
      c->data_offset = align_to_file_boundary(c->data_offset + node->size);
    }
  }
  return true;
}

bool plan_image_layout(uint64_t apploader_length, uint64_t main_program_length, ImageLayout* layout) {
  uint64_t main_program_offset = uint64_t(APPLOADER_OFFSET) + apploader_length;
  uint64_t fst_offset = main_program_offset + main_program_length;
  uint64_t fst_size = table_size();

  uint64_t entries_after_root = uint64_t(g_builder.directory_count) + g_builder.file_count;
  if (entries_after_root > FST_MAX_BUILD_ENTRIES) {
    g_builder.last_error = BUILD_ERR_TABLE_TOO_LARGE;
    return false;
  }
  uint64_t first_data = align_to_file_boundary(fst_offset + fst_size);
  if (fst_offset + fst_size > UINT32_MAX || first_data > UINT32_MAX) {
    g_builder.last_error = BUILD_ERR_DATA_TOO_LARGE;
    return false;
  }

  WalkCounters c = {0, 0, first_data, 0};
  bool data_fits = check_data_walk(g_builder.root.first_child, &c);
  if (c.largest_name_offset > FST_MAX_BUILD_NAME_OFFSET) {
    g_builder.last_error = BUILD_ERR_TABLE_TOO_LARGE;
    return false;
  }
  if (!data_fits) {
    g_builder.last_error = BUILD_ERR_DATA_TOO_LARGE;
    return false;
  }

  layout->main_program_offset = uint32_t(main_program_offset);
  layout->fst_offset = uint32_t(fst_offset);
  layout->fst_size = uint32_t(fst_size);
  layout->first_data_offset = uint32_t(first_data);
  return true;
}

struct TableWriter {
  uint8_t* entries;  // entry 0 is the root
  uint8_t* names;
  uint32_t entry_index;
  uint32_t name_offset;
  uint32_t data_offset;
  bool parent_links;
};

// Numbers the nodes in pre-order; a folder's entry is completed once its
// contents are numbered, so its "next" is known.
static void emit_entries(const SourceNode* node, uint32_t parent_index, TableWriter* w) {
  for (; node; node = node->next_sibling) {
    uint32_t index = ++w->entry_index;
    FstEntry entry;
    std::memset(&entry, 0, sizeof entry);
    entry.set_name_offset(w->name_offset);
    size_t name_length = std::strlen(node->name);
    std::memcpy(w->names + w->name_offset, node->name, name_length + 1);
    w->name_offset += uint32_t(name_length + 1);
    if (node->is_directory) {
      entry.kind = FST_KIND_DIRECTORY;
      entry.second.set(w->parent_links ? parent_index : 0);
      emit_entries(node->first_child, index, w);
      entry.third.set(w->entry_index + 1);
    } else {
      entry.kind = FST_KIND_FILE;
      entry.second.set(w->data_offset);
      entry.third.set(node->size);
      w->data_offset = uint32_t(align_to_file_boundary(uint64_t(w->data_offset) + node->size));
    }
    std::memcpy(w->entries + uint64_t(index) * FST_ENTRY_SIZE, &entry, FST_ENTRY_SIZE);
  }
}

void emit_file_system_table(const ImageLayout& layout, uint8_t* table) {
  uint32_t count = g_builder.directory_count + g_builder.file_count + 1;
  FstEntry root;
  std::memset(&root, 0, sizeof root);
  root.kind = FST_KIND_DIRECTORY;
  root.third.set(count);
  std::memcpy(table, &root, FST_ENTRY_SIZE);
  g_builder.root_entry = root;

  TableWriter w = {table, table + uint64_t(count) * FST_ENTRY_SIZE, 0, 0, layout.first_data_offset,
                   g_builder.write_folder_parent_links};
  emit_entries(g_builder.root.first_child, 0, &w);
}

static bool visit_files(const SourceNode* node, FileVisitor visit, void* context) {
  for (; node; node = node->next_sibling) {
    if (node->is_directory) {
      if (!visit_files(node->first_child, visit, context)) return false;
    } else if (!visit(node, context)) {
      return false;
    }
  }
  return true;
}

bool visit_files_in_table_order(FileVisitor visit, void* context) {
  return visit_files(g_builder.root.first_child, visit, context);
}
