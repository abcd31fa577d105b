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
    std::free(node);
  }
}

void release_fst_cache() {
  free_list(g_reader.root.firstChild);
  std::free(g_reader.name_block);
  g_reader.name_block = nullptr;
  g_reader.name_block_size = 0;
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

// The table's entries as read from the image, with the check that every
// entry lies inside it. Its names go to the reader's name block.
struct TableBytes {
  std::vector<FstEntry> entries;  // entries 1 to N - 1
  size_t names_end = 0;           // one past the name block's last NUL
};

bool read_exact(uint64_t position, void* buffer, size_t n) {
  if (reader_read(position, buffer, n)) return true;
  // A container that cannot give the bytes says why; anything else means
  // a table that lies outside the image.
  g_reader.error = reader_read_failure(IsoErrFstCache);
  return false;
}

const FstEntry& entry_at(const TableBytes& t, uint32_t index) { return t.entries[index - 1]; }

// Reads the whole table (fst_size bytes) in one read, refusing anything that
// lies outside it or the image.
bool read_table(TableBytes* t) {
  const uint64_t image_size = g_reader.image_size;
  const uint64_t fst = g_reader.fst_offset;
  const uint64_t size = g_reader.fst_size;
  // The table must lie inside the image, and be no larger than any real one
  // could be (a hostile header could otherwise ask for gigabytes).
  if (size < FST_ENTRY_SIZE || size > FST_MAX_READ_SIZE || fst + size > image_size) return false;
  FstEntry root;
  if (!read_exact(fst, &root, sizeof root)) return false;
  const uint32_t n = root.end_index();
  // N counts the root itself, and every entry lies inside the table.
  if (n == 0 || uint64_t(n) * FST_ENTRY_SIZE > size) return false;
  g_reader.entry_count = n;
  g_reader.entries_start = uint32_t(fst + FST_ENTRY_SIZE);
  g_reader.name_table_distance = (n - 1) * FST_ENTRY_SIZE;

  t->entries.resize(n - 1);
  if (n > 1 && !read_exact(fst + FST_ENTRY_SIZE, t->entries.data(), t->entries.size() * FST_ENTRY_SIZE))
    return false;
  // The names are the rest of the table, kept for the mount: every node's
  // name points into them, so entries that share a name share its bytes.
  const size_t names_size = size_t(size - uint64_t(n) * FST_ENTRY_SIZE);
  if (names_size == 0) return true;
  g_reader.name_block = static_cast<char*>(iso_alloc(names_size));
  if (!g_reader.name_block) return false;
  g_reader.name_block_size = names_size;
  if (!read_exact(fst + uint64_t(n) * FST_ENTRY_SIZE, g_reader.name_block, names_size)) return false;
  for (size_t i = names_size; i > 0; --i) {
    if (g_reader.name_block[i - 1] == '\0') {
      t->names_end = i;
      break;
    }
  }
  return true;
}

// The name at name offset k: it must start inside the names and end with its
// NUL there, which holds exactly when it starts before the block's last NUL
// (so each entry is checked without scanning its name). Null when it does not.
char* name_at(const TableBytes& t, uint32_t k) {
  return k < t.names_end ? g_reader.name_block + k : nullptr;
}

}  // namespace

bool build_fst_cache() {
  release_fst_cache();
  char product_code[32];
  g_reader.root.name = iso_strdup(IsoGetProductCode(product_code, sizeof product_code));
  if (!g_reader.root.name) return false;

  TableBytes table;
  g_reader.error = IsoErrFstCache;
  if (!read_table(&table)) return false;
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
    char* name = name_at(table, entry.name_offset());
    // A name without its NUL inside the block would run into other data.
    if (!name) {
      g_reader.error = IsoErrFstCache;
      return false;
    }
    FstNode* node = static_cast<FstNode*>(iso_alloc(sizeof(FstNode)));
    if (!node) return false;
    node->name = name;
    node->parent = folder.node;
    node->prev = folder.last;
    if (folder.last) {
      folder.last->next = node;
    } else {
      folder.node->firstChild = node;
    }
    folder.last = node;

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
