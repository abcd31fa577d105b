// The scan of the base directory into the tree of SourceNode records, and
// the release of that tree.
#include <cstdlib>
#include <cstring>
#include <memory>
#include <string>
#include <utility>
#include <vector>

#include "builder/builder_state.h"
#include "builder/source_walk.h"
#include "host/host_text.h"

void release_source_tree() {
  // Each node is freed once the walk has left it.
  walk_source_nodes(&g_builder.root, [](SourceNode&) { return true; }, [](SourceNode& node) {
    std::free(node.full_path);
    std::free(node.name);
    std::free(&node);
  });
  std::free(g_builder.root.name);
  std::free(g_builder.root.full_path);
  std::memset(&g_builder.root, 0, sizeof g_builder.root);
  g_builder.directory_count = 0;
  g_builder.file_count = 0;
  g_builder.data_order.clear();
  g_builder.layout_ready = false;
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
static char* disc_name_copy(const char* host_name, bool* converted) {
  size_t capacity = std::strlen(host_name) + 1;
  char* name = static_cast<char*>(builder_alloc(capacity));
  if (name) host::disc_name_from_host_name(host_name, name, capacity, converted);
  return name;
}

// A host path owned until a node takes it.
typedef std::unique_ptr<char, void (*)(void*)> OwnedPath;

static SourceNode* make_node(OwnedPath full_path, const char* name, SourceNode* folder, SourceNode** last) {
  SourceNode* node = static_cast<SourceNode*>(builder_alloc(sizeof(SourceNode)));
  bool converted = false;
  char* name_copy = node ? disc_name_copy(name, &converted) : nullptr;
  if (!node || !name_copy) {
    std::free(node);
    return nullptr;
  }
  node->full_path = full_path.release();
  node->name = name_copy;
  node->name_is_host_bytes = !converted;
  if (*last) {
    (*last)->next_sibling = node;
    node->prev_sibling = *last;
  } else {
    folder->first_child = node;
  }
  *last = node;
  return node;
}

// A folder being taken into the tree. Its names are listed whole when it is
// opened and put in the order Windows lists them (POSIX hosts list in no
// fixed order); the folders it holds are scanned as its names are taken, so
// that every folder's contents follow it in the tree's order.
struct OpenListing {
  std::vector<std::string> names;
  size_t next;       // the next name to take
  const char* path;
  SourceNode* folder;
  SourceNode* last;  // the folder's last node so far
  host::FileId id;   // to notice a link that leads back into an open folder
};

// The folders being listed, from the base directory down. A stack rather
// than recursion, as every walk of the tree.
typedef std::vector<OpenListing> ListingStack;

// Lists folder (at path) and puts it on top of the stack.
static bool open_listing(ListingStack* open, const char* path, SourceNode* folder) {
  OpenListing here = {{}, 0, path, folder, nullptr, {0, 0}};
  // A link that leads back into a folder being listed would never end.
  if (host::path_identity(path, &here.id)) {
    for (const OpenListing& outer : *open)
      if (outer.id == here.id) return builder_fail_on_path(BUILD_ERR_ENUMERATE, path);
  }
  if (!list_folder_names(path, &here.names)) return builder_fail_on_path(BUILD_ERR_ENUMERATE, path);
  open->push_back(std::move(here));
  return true;
}

// Takes one entry of the innermost folder being listed into the tree; a
// folder starts being listed in turn.
static bool take_entry(ListingStack* open, const char* name) {
  OpenListing& listing = open->back();
  OwnedPath owned(join_path(listing.path, name), std::free);
  const char* full_path = owned.get();
  if (!full_path) return false;  // code 1 recorded
  bool is_folder = host::is_directory(full_path);
  uint64_t length = 0;
  if (is_folder) {
    // Subfolder paths live in 260-byte fields on the Windows side; refuse
    // rather than overflow or cut them.
    if (std::strlen(full_path) + 1 > BUILD_PATH_CAPACITY)
      return builder_fail_on_path(BUILD_ERR_PATH_TOO_LONG, full_path);
  } else {
    // Only regular files are read: a FIFO, socket or device could block.
    if (host::path_kind(full_path) == host::PathKind::Other)
      return builder_fail_on_path(BUILD_ERR_NOT_REGULAR_FILE, full_path);
    if (!host::measure_file(full_path, &length)) length = 0;  // the copy reports it later
    // Lengths are 32-bit in the table.
    if (length > UINT32_MAX) return builder_fail_on_path(BUILD_ERR_DATA_TOO_LARGE, full_path);
  }

  SourceNode* node = make_node(std::move(owned), name, listing.folder, &listing.last);
  if (!node) return false;  // code 1 recorded
  if (!is_folder) {
    node->size = uint32_t(length);
    ++g_builder.file_count;
    return true;
  }
  node->is_directory = 1;
  ++g_builder.directory_count;
  return open_listing(open, node->full_path, node);
}

// Takes base and every folder below it into the tree, each folder's entries
// in the order Windows lists them.
static bool scan_tree(const char* base) {
  ListingStack open;
  bool ok = open_listing(&open, base, &g_builder.root);
  while (ok && !open.empty()) {
    OpenListing& listing = open.back();
    if (listing.next == listing.names.size()) {
      open.pop_back();
      continue;
    }
    // The name is taken out first: taking a folder grows the stack.
    std::string name = std::move(listing.names[listing.next++]);
    ok = take_entry(&open, name.c_str());
  }
  return ok;
}

bool scan_base_directory() {
  release_source_tree();
  g_builder.root.name = builder_strdup("root");
  if (!g_builder.root.name) return false;

  const char* base = g_builder.settings.base_directory;
  if (!host::can_enter_directory(base)) return builder_fail_on_path(BUILD_ERR_ENTER_BASE_DIRECTORY, base);
  g_builder.last_error = BUILD_OK;
  if (!scan_tree(base)) return false;
  g_builder.last_error = BUILD_OK;
  return true;
}

const SourceNode* builder_tree() { return &g_builder.root; }
uint32_t builder_file_count() { return g_builder.file_count; }
uint32_t builder_directory_count() { return g_builder.directory_count; }
