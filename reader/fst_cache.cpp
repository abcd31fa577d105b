// The table cache: the image's file system table read into a tree of
// FstNode records. The table is checked once, here; after a successful build
// the tree can be trusted by every other operation.
#include "reader/reader_state.h"

#include <cstdlib>
#include <cstring>
#include <vector>

static void free_list(FstNode* first) {
  // Iterative, so that a deep tree cannot exhaust the stack.
  std::vector<FstNode*> pending;
  if (first) pending.push_back(first);
  while (!pending.empty()) {
    FstNode* node = pending.back();
    pending.pop_back();
    if (node->next) pending.push_back(node->next);
    if (node->firstChild) pending.push_back(node->firstChild);
    std::free(node->name);
    std::free(node);
  }
}

void release_fst_cache() {
  free_list(g_reader.root.firstChild);
  std::free(g_reader.root.name);
  std::memset(&g_reader.root, 0, sizeof g_reader.root);
  g_reader.root.isDirectory = 1;
  g_reader.file_count = 0;
  g_reader.directory_count = 0;
}

namespace {

// One folder whose entries are being created.
struct OpenFolder {
  FstNode* node;
  uint32_t end;      // index of the first entry after its contents
  FstNode* last;     // last entry created in it so far
};

// The table as read from the image: its entries and the bytes of its names,
// read with the checks that every entry and name lies inside the image.
struct TableBytes {
  std::vector<FstEntry> entries;  // entries 1 to N - 1
  std::vector<uint8_t> names;     // from the name table's start
};

bool read_exact(uint64_t position, void* buffer, size_t n) {
  return host::file_seek(g_reader.image, position) && host::file_read(g_reader.image, buffer, n);
}

const FstEntry& entry_at(const TableBytes& t, uint32_t index) { return t.entries[index - 1]; }

// Reads the root entry, the entries and the name bytes, refusing anything
// that lies outside the image.
bool read_table(TableBytes* t) {
  const uint64_t image_size = g_reader.image_size;
  const uint64_t fst = g_reader.fst_offset;
  FstEntry root;
  // The root entry must lie inside the image.
  if (fst + FST_ENTRY_SIZE > image_size || !read_exact(fst, &root, sizeof root)) return false;
  const uint32_t n = root.end_index();
  // N counts the root itself; more than the cache's capacity cannot be held.
  if (n == 0 || n - 1 > FST_MAX_READ_ENTRIES) return false;
  g_reader.entry_count = n;
  g_reader.entries_start = uint32_t(fst + FST_ENTRY_SIZE);
  g_reader.name_table_distance = (n - 1) * FST_ENTRY_SIZE;

  const uint64_t names_start = fst + uint64_t(n) * FST_ENTRY_SIZE;
  // Every entry must lie inside the image.
  if (names_start > image_size) return false;
  t->entries.resize(n - 1);
  if (n > 1 && !read_exact(fst + FST_ENTRY_SIZE, t->entries.data(), t->entries.size() * FST_ENTRY_SIZE))
    return false;

  // One read covers every name's 64-byte block, cut at the image's end.
  uint64_t max_name_offset = 0;
  for (uint32_t i = 1; i < n; ++i) {
    uint64_t k = entry_at(*t, i).name_offset();
    if (k > max_name_offset) max_name_offset = k;
  }
  if (n == 1) return true;
  // A name must start inside the image.
  if (names_start + max_name_offset >= image_size) return false;
  uint64_t names_end = names_start + max_name_offset + FST_NAME_BLOCK;
  if (names_end > image_size) names_end = image_size;
  t->names.resize(size_t(names_end - names_start));
  return read_exact(names_start, t->names.data(), t->names.size());
}

// The name at name offset k: it must end with a NUL inside its 64-byte block
// (and inside the image). Null when it does not.
const char* name_at(const TableBytes& t, uint32_t k) {
  size_t available = t.names.size() - k;  // k < names.size(), checked when read
  if (available > FST_NAME_BLOCK) available = FST_NAME_BLOCK;
  const char* text = reinterpret_cast<const char*>(&t.names[k]);
  return std::memchr(text, '\0', available) ? text : nullptr;
}

}  // namespace

bool build_fst_cache() {
  release_fst_cache();
  char product_code[32];
  g_reader.root.name = iso_strdup(IsoGetProductCode(product_code, sizeof product_code));
  if (!g_reader.root.name) return false;

  TableBytes table;
  if (!read_table(&table)) {
    g_reader.error = IsoErrFstCache;
    return false;
  }
  const uint32_t n = g_reader.entry_count;

  std::vector<OpenFolder> open;
  open.push_back({&g_reader.root, n, nullptr});
  uint32_t i = 1;
  while (!open.empty()) {
    OpenFolder& folder = open.back();
    if (i == folder.end) {
      open.pop_back();
      continue;
    }
    const FstEntry& entry = entry_at(table, i);
    const char* name = name_at(table, entry.name_offset());
    // A name without its NUL inside the block would run into other data.
    if (!name) {
      g_reader.error = IsoErrFstCache;
      return false;
    }
    FstNode* node = static_cast<FstNode*>(iso_alloc(sizeof(FstNode)));
    if (!node) return false;
    node->name = iso_strdup(name);
    node->parent = folder.node;
    node->prev = folder.last;
    if (folder.last) {
      folder.last->next = node;
    } else {
      folder.node->firstChild = node;
    }
    folder.last = node;
    if (!node->name) return false;

    if (!entry.is_directory()) {
      node->offset = entry.data_offset();
      node->size = entry.length();
      ++g_reader.file_count;
      ++i;
      continue;
    }
    node->isDirectory = 1;
    const uint32_t end = entry.end_index();
    // A folder must hold its own index range, inside its enclosing folder's;
    // anything else would loop or leave entries without a place.
    if (end <= i || end > folder.end) {
      g_reader.error = IsoErrFstCache;
      return false;
    }
    ++g_reader.directory_count;
    ++i;
    open.push_back({node, end, nullptr});
  }
  return true;
}
