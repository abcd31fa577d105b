// The layout of an image from the scanned tree, and the file system table
// written from it: sizes, the format's limits, the entries and names in table
// order, and the files in that same order for the writer.
#include <cstring>
#include <vector>

#include "builder/builder_state.h"
#include "builder/source_walk.h"

static const SourceNode* tree_root() { return &g_builder.root; }

static uint64_t table_size() {
  uint64_t names_size = 0;
  walk_source_nodes(tree_root(), [&](const SourceNode& node) {
    names_size += std::strlen(node.name) + 1;
    return true;
  });
  uint64_t entries = uint64_t(g_builder.directory_count) + g_builder.file_count + 1;
  return entries * FST_ENTRY_SIZE + names_size;
}

uint32_t fst_total_size() {
  uint64_t size = table_size();
  return size > UINT32_MAX ? UINT32_MAX : uint32_t(size);
}

// The counters of check_data_walk, wide enough that exceeding the format's limits
// can be noticed before anything is written.
struct WalkCounters {
  uint64_t name_offset;
  uint64_t data_offset;
  uint64_t largest_name_offset;
};

// Assigns the name and data offsets in table order; false at the first file
// whose data would not lie within 32-bit offsets.
static bool check_data_walk(WalkCounters* c) {
  return walk_source_nodes(tree_root(), [c](const SourceNode& node) {
    if (c->name_offset > c->largest_name_offset) c->largest_name_offset = c->name_offset;
    c->name_offset += std::strlen(node.name) + 1;
    if (node.is_directory) return true;
    // The file must start and end within 32-bit offsets.
    if (c->data_offset + node.size > UINT32_MAX) return false;
    c->data_offset = align_to_file_boundary(c->data_offset + node.size);
    return true;
  });
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

  WalkCounters c = {0, first_data, 0};
  bool data_fits = check_data_walk(&c);
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

// A folder whose entry waits until its contents are numbered, so that its
// "next" is known.
struct OpenFolderEntry {
  uint32_t index;
  FstEntry entry;
};

static void put_entry(uint8_t* table, uint32_t index, const FstEntry& entry) {
  std::memcpy(table + uint64_t(index) * FST_ENTRY_SIZE, &entry, FST_ENTRY_SIZE);
}

void emit_file_system_table(const ImageLayout& layout, uint8_t* table) {
  uint32_t count = g_builder.directory_count + g_builder.file_count + 1;
  FstEntry root;
  std::memset(&root, 0, sizeof root);
  root.kind = FST_KIND_DIRECTORY;
  root.third.set(count);
  put_entry(table, 0, root);
  g_builder.root_entry = root;

  uint8_t* names = table + uint64_t(count) * FST_ENTRY_SIZE;
  uint32_t entry_index = 0, name_offset = 0, data_offset = layout.first_data_offset;
  std::vector<OpenFolderEntry> open;
  // Numbers the nodes in pre-order, each taking the next name offset.
  auto enter = [&](const SourceNode& node) {
    FstEntry entry;
    std::memset(&entry, 0, sizeof entry);
    entry.set_name_offset(name_offset);
    size_t name_length = std::strlen(node.name);
    std::memcpy(names + name_offset, node.name, name_length + 1);
    name_offset += uint32_t(name_length + 1);
    uint32_t index = ++entry_index;
    if (node.is_directory) {
      entry.kind = FST_KIND_DIRECTORY;
      uint32_t parent_index = open.empty() ? 0 : open.back().index;
      entry.second.set(g_builder.write_folder_parent_links ? parent_index : 0);
      open.push_back({index, entry});
    } else {
      entry.kind = FST_KIND_FILE;
      entry.second.set(data_offset);
      entry.third.set(node.size);
      data_offset = uint32_t(align_to_file_boundary(uint64_t(data_offset) + node.size));
      put_entry(table, index, entry);
    }
    return true;
  };
  auto leave = [&](const SourceNode& node) {
    if (!node.is_directory) return;
    OpenFolderEntry folder = open.back();
    open.pop_back();
    folder.entry.third.set(entry_index + 1);
    put_entry(table, folder.index, folder.entry);
  };
  walk_source_nodes(tree_root(), enter, leave);
}

bool visit_files_in_table_order(FileVisitor visit, void* context) {
  return walk_source_nodes(tree_root(), [&](const SourceNode& node) {
    return node.is_directory || visit(&node, context);
  });
}
