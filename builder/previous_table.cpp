// The file system table of the disc being rebuilt: read once, checked as the
// reader checks a table, then used to put the scanned tree in its order and
// to give each file its old offset, from which the layout takes the file's
// place on the disc and its alignment.
#include <algorithm>
#include <cstring>
#include <string>
#include <unordered_map>
#include <vector>

#include "builder/builder_state.h"
#include "builder/source_walk.h"

namespace {

struct PreviousEntry {
  bool is_directory;
  uint32_t index;   // table order
  uint32_t offset;  // a file's data offset
};

// In-image path ("/a/b", code page 932 names) to its entry, and every path
// in table order for the list of removed entries.
std::unordered_map<std::string, PreviousEntry> g_entries;
std::vector<std::string> g_paths;
std::vector<std::string> g_removed;
bool g_have_table = false;

// Reads a table into entries; false when it cannot be trusted.
bool parse_table(const uint8_t* table, size_t size, std::unordered_map<std::string, PreviousEntry>* entries,
                 std::vector<std::string>* paths) {
  if (!table || size < FST_ENTRY_SIZE) return false;
  FstEntry root;
  std::memcpy(&root, table, FST_ENTRY_SIZE);
  const uint64_t count = root.end_index();
  // Every entry must lie inside the table; the names follow the entries.
  if (count == 0 || count * FST_ENTRY_SIZE > size) return false;
  const char* names = reinterpret_cast<const char*>(table) + count * FST_ENTRY_SIZE;
  const size_t names_size = size - size_t(count) * FST_ENTRY_SIZE;

  struct Open {
    uint32_t end;
    size_t path_length;
  };
  std::vector<Open> open{{uint32_t(count), 0}};
  std::string path;
  for (uint32_t i = 1; i < count; ++i) {
    while (i >= open.back().end) open.pop_back();
    FstEntry entry;
    std::memcpy(&entry, table + size_t(i) * FST_ENTRY_SIZE, FST_ENTRY_SIZE);
    const uint32_t name_offset = entry.name_offset();
    // A name must start inside the names and end with its NUL there.
    if (name_offset >= names_size) return false;
    const void* nul = std::memchr(names + name_offset, '\0', names_size - name_offset);
    if (!nul) return false;
    path.resize(open.back().path_length);
    path += '/';
    path.append(names + name_offset, static_cast<const char*>(nul) - (names + name_offset));
    PreviousEntry e = {entry.is_directory(), i, entry.is_directory() ? 0 : entry.data_offset()};
    if (entries->emplace(path, e).second) paths->push_back(path);
    if (e.is_directory) {
      const uint32_t end = entry.end_index();
      // A folder holds its own index range, inside its enclosing folder's.
      if (end <= i || end > open.back().end) return false;
      open.push_back({end, path.size()});
    }
  }
  return true;
}

}  // namespace

bool builder_set_previous_table(const uint8_t* table, size_t size) {
  g_entries.clear();
  g_paths.clear();
  g_have_table = false;
  if (!table) return true;
  std::unordered_map<std::string, PreviousEntry> entries;
  std::vector<std::string> paths;
  if (!parse_table(table, size, &entries, &paths)) return false;
  g_entries = std::move(entries);
  g_paths = std::move(paths);
  g_have_table = true;
  return true;
}

void clear_previous_table() {
  g_entries.clear();
  g_paths.clear();
  g_removed.clear();
  g_have_table = false;
}

bool have_previous_table() { return g_have_table; }

size_t builder_removed_count() { return g_removed.size(); }

const char* builder_removed_path(size_t index) {
  return index < g_removed.size() ? g_removed[index].c_str() : "";
}

void apply_previous_table() {
  g_removed.clear();
  if (!g_have_table) return;
  // Each folder's children: the kept ones sorted by their old index, then
  // the new ones in the scan's order. A folder is put in order before its
  // contents, so every node is reached once.
  std::vector<std::pair<SourceNode*, std::string>> folders;
  folders.push_back({&g_builder.root, std::string()});
  std::unordered_map<std::string, bool> seen;
  while (!folders.empty()) {
    SourceNode* folder = folders.back().first;
    const std::string folder_path = std::move(folders.back().second);
    folders.pop_back();
    std::vector<std::pair<uint32_t, SourceNode*>> kept;
    std::vector<SourceNode*> added;
    for (SourceNode* node = first_source_sibling(folder->first_child); node; node = node->next_sibling) {
      const std::string node_path = folder_path + '/' + node->name;
      auto found = g_entries.find(node_path);
      const bool same_kind =
          found != g_entries.end() && found->second.is_directory == (node->is_directory != 0);
      node->is_new = same_kind ? 0 : 1;
      if (same_kind) {
        node->previous_offset = found->second.offset;
        kept.push_back({found->second.index, node});
        seen[node_path] = true;
      } else {
        added.push_back(node);
      }
      if (node->is_directory) folders.push_back({node, node_path});
    }
    std::sort(kept.begin(), kept.end(),
              [](const std::pair<uint32_t, SourceNode*>& a, const std::pair<uint32_t, SourceNode*>& b) {
                return a.first < b.first;
              });
    std::vector<SourceNode*> order;
    for (const auto& k : kept) order.push_back(k.second);
    order.insert(order.end(), added.begin(), added.end());
    SourceNode* previous = nullptr;
    folder->first_child = order.empty() ? nullptr : order.front();
    for (SourceNode* node : order) {
      node->prev_sibling = previous;
      node->next_sibling = nullptr;
      if (previous) previous->next_sibling = node;
      previous = node;
    }
  }
  for (const std::string& path : g_paths) {
    if (!seen.count(path)) g_removed.push_back(path);
  }
}
