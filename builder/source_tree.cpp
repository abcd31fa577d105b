// The scan of the base directory into SourceNode records, and the walks over
// that tree that lay out and emit the file system table.
#include <cstdlib>
#include <cstring>

#include "builder/builder_state.h"
#include "builder/builder_testing.h"
#include "host/host_text.h"

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

// ---------------------------------------------------------------------------
// Scan
// ---------------------------------------------------------------------------

static void release_nodes(SourceNode* node) {
  while (node) {
    SourceNode* next = node->next_sibling;
    release_nodes(node->first_child);
    std::free(node->full_path);
    std::free(node->name);
    std::free(node);
    node = next;
  }
}

void release_source_tree() {
  release_nodes(g_builder.root.first_child);
  std::free(g_builder.root.name);
  std::free(g_builder.root.full_path);
  std::memset(&g_builder.root, 0, sizeof g_builder.root);
  g_builder.directory_count = 0;
  g_builder.file_count = 0;
}

// The folders on the path from the base directory down to the one being
// listed, to notice a link that leads back into one of them.
struct FolderChain {
  host::FileId id;
  const FolderChain* parent;
};

static bool chain_contains(const FolderChain* chain, const host::FileId& id) {
  for (; chain; chain = chain->parent)
    if (chain->id.volume == id.volume && chain->id.index == id.index) return true;
  return false;
}

static bool is_dot_entry(const char* name) {
  return std::strcmp(name, ".") == 0 || std::strcmp(name, "..") == 0;
}

// path + separator + name, in a new allocation.
static char* join_path(const char* path, const char* name) {
  size_t a = std::strlen(path), b = std::strlen(name);
  char* joined = static_cast<char*>(builder_alloc(a + 1 + b + 1));
  if (!joined) return nullptr;
  std::memcpy(joined, path, a);
  joined[a] = host::PATH_SEPARATOR;
  std::memcpy(joined + a + 1, name, b + 1);
  return joined;
}

// The name an entry gets in the image: the host name in code page 932, or
// its bytes unchanged when it has no such form. Never longer than the host
// name, so everything measured on names counts the bytes written.
static char* disc_name_copy(const char* host_name) {
  size_t capacity = std::strlen(host_name) + 1;
  char* name = static_cast<char*>(builder_alloc(capacity));
  bool converted = false;
  if (name) host::disc_name_from_host_name(host_name, name, capacity, &converted);
  return name;
}

static SourceNode* make_node(char* full_path, const char* name, SourceNode* folder, SourceNode** last) {
  SourceNode* node = static_cast<SourceNode*>(builder_alloc(sizeof(SourceNode)));
  char* name_copy = node ? disc_name_copy(name) : nullptr;
  if (!node || !name_copy) {
    std::free(node);
    std::free(full_path);
    return nullptr;
  }
  node->full_path = full_path;
  node->name = name_copy;
  if (*last) {
    (*last)->next_sibling = node;
    node->prev_sibling = *last;
  } else {
    folder->first_child = node;
  }
  *last = node;
  return node;
}


static bool scan_directory(const char* path, SourceNode* folder, const FolderChain* chain);

// Takes every entry of an open listing into folder, in listing order.
static bool scan_entries(host::DirListing* listing, const char* path, SourceNode* folder,
                         const FolderChain* chain) {
  SourceNode* last = nullptr;
  for (;;) {
    const char* name = nullptr;
    host::ListStep step = host::dir_next(listing, &name);
    if (step == host::ListStep::End) return true;
    if (step == host::ListStep::Failed) return builder_fail_on_path(BUILD_ERR_ENUMERATE, path);

    char* full_path = join_path(path, name);
    if (!full_path) return false;  // code 1 recorded
    bool is_folder = host::is_directory(full_path);
    uint64_t length = 0;
    if (is_folder) {
      if (is_dot_entry(name)) {
        std::free(full_path);
        continue;
      }
      // Subfolder paths live in 260-byte fields on the Windows side; refuse
      // rather than overflow or cut them.
      if (std::strlen(full_path) + 1 > BUILD_PATH_CAPACITY) {
        builder_fail_on_path(BUILD_ERR_PATH_TOO_LONG, full_path);
        std::free(full_path);
        return false;
      }
    } else {
      // Only regular files are read: a FIFO, socket or device could block.
      if (host::path_kind(full_path) == host::PathKind::Other) {
        builder_fail_on_path(BUILD_ERR_NOT_REGULAR_FILE, full_path);
        std::free(full_path);
        return false;
      }
      if (!host::measure_file(full_path, &length)) length = 0;  // the copy reports it later
      // Lengths are 32-bit in the table.
      if (length > UINT32_MAX) {
        builder_fail_on_path(BUILD_ERR_DATA_TOO_LARGE, full_path);
        std::free(full_path);
        return false;
      }
    }

    SourceNode* node = make_node(full_path, name, folder, &last);
    if (!node) return false;  // code 1 recorded
    if (is_folder) {
      node->is_directory = 1;
      ++g_builder.directory_count;
      if (!scan_directory(node->full_path, node, chain)) return false;
    } else {
      node->size = uint32_t(length);
      ++g_builder.file_count;
    }
  }
}

static bool scan_directory(const char* path, SourceNode* folder, const FolderChain* chain) {
  FolderChain here = {{0, 0}, chain};
  if (host::path_identity(path, &here.id) && chain_contains(chain, here.id))
    return builder_fail_on_path(BUILD_ERR_ENUMERATE, path);  // a link loops back into its own ancestry

  host::DirListing* listing = host::dir_open(path);
  if (!listing) return builder_fail_on_path(BUILD_ERR_ENUMERATE, path);
  bool ok = scan_entries(listing, path, folder, &here);
  host::dir_close(listing);
  return ok;
}

bool scan_base_directory() {
  release_source_tree();
  g_builder.root.name = builder_strdup("root");
  if (!g_builder.root.name) return false;

  const char* base = g_builder.settings.base_directory;
  if (!host::can_enter_directory(base)) return builder_fail_on_path(BUILD_ERR_ENTER_BASE_DIRECTORY, base);
  g_builder.last_error = BUILD_OK;
  if (!scan_directory(base, &g_builder.root, nullptr)) return false;
  g_builder.last_error = BUILD_OK;
  return true;
}

const SourceNode* builder_tree() { return &g_builder.root; }
uint32_t builder_file_count() { return g_builder.file_count; }
uint32_t builder_directory_count() { return g_builder.directory_count; }

// ---------------------------------------------------------------------------
// Layout and table
// ---------------------------------------------------------------------------

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
