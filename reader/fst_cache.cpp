// The table cache: the image's file system table read into a tree of
// FstNode records. The table is checked once, here, by the one table walk
// (disc/table_walk.h); after a successful build the tree can be trusted by
// every other operation.
#include "reader/reader_state.h"

#include <algorithm>
#include <cstdlib>
#include <vector>

#include "disc/table_walk.h"

namespace {

bool read_exact(uint64_t position, void* buffer, size_t n) {
  if (reader_read(position, buffer, n)) return true;
  // A container that cannot give the bytes says why; anything else means
  // a table that lies outside the image.
  g_reader.error = reader_read_failure(IsoErrFstCache);
  return false;
}

// Reads the table's entries (the root's included) into *entries and its
// names into the reader's name block, refusing a table that lies outside the
// image or that its size cannot hold.
bool read_table(uint8_t** entries) {
  const uint64_t fst = g_reader.fst_offset;
  const uint64_t size = g_reader.fst_size;
  FstEntry root;
  uint32_t n = 0;
  if (fst + size > g_reader.image_size) {
    g_reader.table_fault = TableOutsideImage;
    return false;
  }
  if (size < FST_ENTRY_SIZE || !read_exact(fst, &root, sizeof root)) {
    if (g_reader.error == IsoErrFstCache) g_reader.table_fault = TableBadCount;
    return false;
  }
  if (!table_entry_count(root, size, &n)) {
    g_reader.table_fault = TableBadCount;
    return false;
  }
  g_reader.entry_count = n;
  g_reader.entries_start = uint32_t(fst + FST_ENTRY_SIZE);
  g_reader.name_table_distance = (n - 1) * FST_ENTRY_SIZE;
  *entries = static_cast<uint8_t*>(iso_alloc(size_t(n) * FST_ENTRY_SIZE));
  if (!*entries || !read_exact(fst, *entries, size_t(n) * FST_ENTRY_SIZE)) return false;
  // The names are the rest of the table, kept for the mount: every node's
  // name points into them, so entries that share a name share its bytes.
  const size_t names_size = size_t(size - uint64_t(n) * FST_ENTRY_SIZE);
  if (names_size == 0) return true;
  g_reader.name_block = static_cast<char*>(iso_alloc(names_size));
  if (!g_reader.name_block) return false;
  g_reader.name_block_size = names_size;
  return read_exact(fst + uint64_t(n) * FST_ENTRY_SIZE, g_reader.name_block, names_size);
}

// One folder whose entries are being created.
struct OpenFolder {
  FstNode* node;
  FstNode* last;  // last entry created in it so far
};

// Links one checked entry into the tree under the folder open at its depth.
bool add_node(const TableVisit& v, std::vector<OpenFolder>* open) {
  open->resize(v.depth);  // leaves the folders the entry is not inside; never grows
  OpenFolder& folder = open->back();
  FstNode* node = static_cast<FstNode*>(iso_alloc(sizeof(FstNode)));
  if (!node) return false;
  node->name = g_reader.name_block + v.entry.name_offset();
  node->parent = folder.node;
  node->prev = folder.last;
  if (folder.last) {
    folder.last->next = node;
  } else {
    folder.node->firstChild = node;
  }
  folder.last = node;
  if (!v.entry.is_directory()) {
    node->offset = v.entry.data_offset();
    node->size = v.entry.length();
    if (node->size != 0) g_reader.files_end = std::max(g_reader.files_end, uint64_t(node->offset) + node->size);
    ++g_reader.file_count;
    return true;
  }
  node->isDirectory = 1;
  ++g_reader.directory_count;
  if (!reader_resize(open, open->size() + 1)) return false;
  open->back() = {node, nullptr};
  return true;
}

}  // namespace

bool build_fst_cache() {
  release_fst_cache();
  char product_code[32];
  g_reader.root.name = iso_strdup(IsoGetProductCode(product_code, sizeof product_code));
  if (!g_reader.root.name) return false;

  g_reader.error = IsoErrFstCache;
  uint8_t* entries = nullptr;
  if (!read_table(&entries)) {
    std::free(entries);
    return false;  // its code set
  }
  std::vector<OpenFolder> open;
  TableWalk walk = TableWalk::NoMemory;
  if (reader_resize(&open, 1)) {
    open[0] = {&g_reader.root, nullptr};
    walk = walk_table_entries(entries, g_reader.entry_count, g_reader.name_block, g_reader.name_block_size,
                              [&open](const TableVisit& v) {
                                g_reader.table_fault_entry = v.index + 1;  // the next one, should the walk break
                                return add_node(v, &open);
                              });
  }
  std::free(entries);
  // A stopped walk ran out of memory for a node, its code set.
  if (walk == TableWalk::Broken) {
    g_reader.error = IsoErrFstCache;
    g_reader.table_fault = TableBrokenAt;
    if (g_reader.table_fault_entry == 0) g_reader.table_fault_entry = 1;
  }
  if (walk == TableWalk::NoMemory) g_reader.error = IsoErrNoMemory;
  return walk == TableWalk::Ok;
}
