// The layout of an image from the scanned tree, and the file system table
// written from it: sizes, the format's limits, the entries and names in table
// order, and the files in that same order for the writer.
#include <algorithm>
#include <cstring>
#include <map>
#include <string>
#include <vector>

#include "builder/builder_state.h"
#include "builder/source_walk.h"

static const SourceNode* tree_root() { return &g_builder.root; }

namespace {

// The table's names: their total size, and the largest name offset an entry
// takes (the last one's, in table order).
struct TableNames {
  uint64_t size = 0, largest_offset = 0;
};

TableNames table_names() {
  TableNames names;
  walk_source_nodes(tree_root(), [&](const SourceNode& node) {
    names.largest_offset = names.size;
    names.size += std::strlen(node.name) + 1;
    return true;
  });
  return names;
}

uint64_t table_size(const TableNames& names) {
  uint64_t entries = uint64_t(g_builder.directory_count) + g_builder.file_count + 1;
  return entries * FST_ENTRY_SIZE + names.size;
}

}  // namespace

uint32_t fst_total_size() {
  uint64_t size = table_size(table_names());
  return size > UINT32_MAX ? UINT32_MAX : uint32_t(size);
}

uint32_t alignment_class(uint32_t offset) {
  uint32_t alignment = MAX_FILE_ALIGNMENT;
  while (alignment > MIN_FILE_ALIGNMENT && offset % alignment != 0) alignment /= 2;
  return alignment;
}

// A name's extension, after its last dot, ASCII letters folded; "" without one.
static std::string extension_of(const char* name) {
  const char* dot = std::strrchr(name, '.');
  std::string ext = dot ? dot + 1 : "";
  for (char& c : ext) c = (c >= 'A' && c <= 'Z') ? char(c - 'A' + 'a') : c;
  return ext;
}

void count_kept_alignment(KeptAlignments* kept, const char* name, uint32_t alignment) {
  KeptAlignments::Count& k = kept->by_extension[extension_of(name)];
  ++k.files;
  if (alignment == MAX_FILE_ALIGNMENT) ++k.on_32k;
}

uint32_t new_file_alignment(const KeptAlignments& kept, const char* name) {
  // About one file in sixteen sits on a 32 KiB boundary by chance, so only
  // an extension whose kept files (two or more) all do marks a need for it.
  auto k = kept.by_extension.find(extension_of(name));
  return k != kept.by_extension.end() && k->second.files >= 2 && k->second.on_32k == k->second.files
             ? MAX_FILE_ALIGNMENT
             : FILE_ALIGNMENT;
}

namespace {

// Entries after the root and name offsets the table may take: the format's
// own limits, or the builder's 16-bit counters.
uint64_t most_entries() { return g_builder.format_limits ? UINT32_MAX - 1 : FST_MAX_BUILD_ENTRIES; }
uint64_t largest_name_offset_allowed() {
  return g_builder.format_limits ? FST_NAME_OFFSET_LIMIT : FST_MAX_BUILD_NAME_OFFSET;
}

// The files in table order, each with the alignment the options give it.
std::vector<SourceNode*> files_with_alignments() {
  std::vector<SourceNode*> files;
  walk_source_nodes(&g_builder.root, [&](SourceNode& node) {
    if (!node.is_directory) files.push_back(&node);
    return true;
  });
  const bool previous = have_previous_table();
  KeptAlignments kept;
  for (SourceNode* node : files) {
    if (g_builder.file_alignment) {
      node->alignment = g_builder.file_alignment;
    } else if (previous && !node->is_new) {
      node->alignment = alignment_class(node->previous_offset);
      count_kept_alignment(&kept, node->name, node->alignment);
    } else {
      node->alignment = FILE_ALIGNMENT;
    }
  }
  if (previous && !g_builder.file_alignment) {
    for (SourceNode* node : files)
      if (node->is_new) node->alignment = new_file_alignment(kept, node->name);
  }
  return files;
}

// Places every file at the first offset at or after the previous file's end
// that its alignment allows, starting at start: in table order, or with a
// previous table in the order of the old offsets, new files last. With
// uniform set, every file takes that alignment and nothing is stored.
// Returns the end of the last file's data; false past 32-bit offsets.
bool place_files(uint64_t start, uint32_t uniform, uint64_t* end) {
  std::vector<SourceNode*> files = files_with_alignments();
  if (have_previous_table()) {
    std::stable_sort(files.begin(), files.end(), [](const SourceNode* a, const SourceNode* b) {
      if (a->is_new != b->is_new) return !a->is_new;
      return !a->is_new && a->previous_offset < b->previous_offset;
    });
  }
  uint64_t position = start;
  for (SourceNode* node : files) {
    uint64_t offset = align_up(position, uniform ? uniform : node->alignment);
    // The file must start and end within 32-bit offsets.
    if (offset + node->size > UINT32_MAX) return false;
    if (!uniform) node->data_offset = uint32_t(offset);
    position = offset + node->size;
  }
  if (!uniform) g_builder.data_order.assign(files.begin(), files.end());
  *end = position;
  return true;
}

}  // namespace

bool plan_image_layout(uint64_t apploader_length, uint64_t main_program_length, ImageLayout* layout) {
  g_builder.layout_ready = false;
  const bool main_program = !g_builder.without_main_program;
  uint64_t main_program_offset = main_program ? uint64_t(APPLOADER_OFFSET) + apploader_length : 0;
  uint64_t fst_offset = uint64_t(APPLOADER_OFFSET) + apploader_length + (main_program ? main_program_length : 0);
  const TableNames names = table_names();
  uint64_t fst_size = table_size(names);

  uint64_t entries_after_root = uint64_t(g_builder.directory_count) + g_builder.file_count;
  if (entries_after_root > most_entries() || names.largest_offset > largest_name_offset_allowed())
    return builder_fail(BUILD_ERR_TABLE_TOO_LARGE);
  uint64_t table_end = fst_offset + fst_size;
  if (table_end > UINT32_MAX) return builder_fail(BUILD_ERR_DATA_TOO_LARGE);
  uint64_t data_end = 0;
  if (!place_files(table_end, 0, &data_end)) return builder_fail(BUILD_ERR_DATA_TOO_LARGE);

  layout->main_program_offset = uint32_t(main_program_offset);
  layout->fst_offset = uint32_t(fst_offset);
  layout->fst_size = uint32_t(fst_size);
  layout->apploader_length = apploader_length;
  layout->main_program_length = main_program ? main_program_length : 0;
  g_builder.table_end = table_end;
  g_builder.content_end = data_end > table_end ? data_end : table_end;
  g_builder.layout = *layout;
  g_builder.layout_ready = true;
  return true;
}

uint64_t builder_content_end() { return g_builder.content_end; }

uint64_t builder_copy_bytes() {
  uint64_t total = g_builder.layout.apploader_length + g_builder.layout.main_program_length;
  walk_source_tree(&g_builder.root, [&](const SourceNode& node) { total += node.size; });
  return total;
}

uint64_t builder_content_end_with_alignment(uint32_t alignment) {
  const uint64_t table_end = g_builder.table_end;
  uint64_t data_end = 0;
  if (!place_files(table_end, alignment, &data_end)) return UINT64_MAX;
  return data_end > table_end ? data_end : table_end;
}

const std::vector<const SourceNode*>& files_in_data_order() { return g_builder.data_order; }

// A folder whose entry waits until its contents are numbered, so that its
// "next" is known.
struct OpenFolderEntry {
  uint32_t index;
  FstEntry entry;
};

static void put_entry(uint8_t* table, uint32_t index, const FstEntry& entry) {
  std::memcpy(table + uint64_t(index) * FST_ENTRY_SIZE, &entry, FST_ENTRY_SIZE);
}

void emit_file_system_table(uint8_t* table) {
  uint32_t count = g_builder.directory_count + g_builder.file_count + 1;
  FstEntry root;
  std::memset(&root, 0, sizeof root);
  root.kind = FST_KIND_DIRECTORY;
  root.third.set(count);
  put_entry(table, 0, root);

  uint8_t* names = table + uint64_t(count) * FST_ENTRY_SIZE;
  uint32_t entry_index = 0, name_offset = 0;
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
      entry.second.set(node.data_offset);
      entry.third.set(node.size);
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

