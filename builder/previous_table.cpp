// The file system table of the disc being rebuilt: read once, checked by the
// table walk the reader's mount uses too (disc/table_walk.h), then used to
// put the scanned tree in its order and to give each file its old offset,
// from which the layout takes the file's place on the disc and its alignment.
//
// Nothing here holds a full path: the table is kept as it came, with each
// entry's parent, and the tree is matched to it one folder at a time, each
// scanned folder's names against the entries directly inside the table
// folders it matched. Memory stays linear in the table's size however deep
// it nests or however its entries share names.
#include <algorithm>
#include <cstdlib>
#include <cstring>
#include <new>
#include <string>
#include <string_view>
#include <unordered_map>
#include <vector>

#include "builder/builder_state.h"
#include "builder/source_walk.h"
#include "disc/table_walk.h"
#include "host/host_text.h"

namespace {

constexpr uint32_t NOT_KEPT = 0;  // index 0 is the root, which no node takes

PreviousTable& previous() { return g_builder.previous; }

FstEntry entry_at(uint32_t index) {
  FstEntry e;
  std::memcpy(&e, previous().bytes + size_t(index) * FST_ENTRY_SIZE, FST_ENTRY_SIZE);
  return e;
}

const char* name_at(uint32_t index) {
  return reinterpret_cast<const char*>(previous().bytes) + size_t(previous().count) * FST_ENTRY_SIZE +
         entry_at(index).name_offset();
}

void release_table(PreviousTable* t) {
  std::free(t->bytes);
  std::free(t->parent);
  std::free(t->taken);
  std::free(t->removed);
  *t = PreviousTable();
}

// The host name of a scanned node: the last part of its host path.
const char* host_name_of(const SourceNode& node) {
  const char* separator = std::strrchr(node.full_path, host::PATH_SEPARATOR);
  return separator ? separator + 1 : node.full_path;
}

// A scanned node of the folder being matched, and what the table says of it.
struct Candidate {
  SourceNode* node;
  bool decided;                  // its first table entry has been met
  uint32_t kept;                 // the entry it takes, or NOT_KEPT
  bool by_latin1;                // matched through its name read as Latin-1
  std::vector<uint32_t> folders;  // every table folder of its name, for its contents
};

// A scanned folder whose contents wait to be matched, with the table folders
// its path names (more than one only when the table repeats a folder).
struct PendingFolder {
  SourceNode* folder;
  std::vector<uint32_t> table_folders;
};

// Matches the nodes directly in one scanned folder against the entries
// directly in its table folders, then puts them in order: the kept ones by
// their old index, then the new ones in the scan's order. The first entry of
// a name decides (a node of another kind than it is new); a node's name read
// as Latin-1 counts when no node has the entry's name itself. Subfolders are
// queued with their table folders.
bool match_folder(PendingFolder& pending, std::vector<PendingFolder>* queue) {
  std::vector<Candidate> candidates;
  SourceNode* folder = pending.folder;
  for (SourceNode* node = first_source_sibling(folder->first_child); node; node = node->next_sibling)
    candidates.push_back({node, false, NOT_KEPT, false, {}});

  if (!pending.table_folders.empty() && !candidates.empty()) {
    std::unordered_map<std::string_view, size_t> by_name, by_latin1;
    std::vector<std::string> latin1(candidates.size());
    // A table name longer than every name here matches none, and is not read
    // further than that.
    size_t longest = 0;
    for (size_t k = 0; k < candidates.size(); ++k) {
      const char* name = candidates[k].node->name;
      by_name.emplace(name, k);
      longest = std::max(longest, std::strlen(name));
      if (host::latin1_bytes_of_host_name(host_name_of(*candidates[k].node), &latin1[k]) && latin1[k] != name) {
        by_latin1.emplace(latin1[k], k);
        longest = std::max(longest, latin1[k].size());
      }
    }
    for (uint32_t table_folder : pending.table_folders) {
      const uint32_t end = entry_at(table_folder).end_index();  // the root's is N
      for (uint32_t j = table_folder + 1; j < end;) {
        const FstEntry e = entry_at(j);
        const char* name = name_at(j);
        const std::string_view key(name, strnlen(name, longest + 1));
        const size_t* slot = nullptr;
        bool by_latin1_name = false;
        if (key.size() <= longest) {
          auto exact = by_name.find(key);
          auto read_as_latin1 = by_latin1.find(key);
          if (exact != by_name.end()) {
            slot = &exact->second;
          } else if (read_as_latin1 != by_latin1.end()) {
            slot = &read_as_latin1->second;
            by_latin1_name = true;
          }
        }
        if (slot) {
          Candidate& c = candidates[*slot];
          if (!c.decided) {
            c.decided = true;
            if (e.is_directory() == (c.node->is_directory != 0)) {
              c.kept = j;
              c.by_latin1 = by_latin1_name;
              previous().taken[j] = 1;
            }
          }
          if (e.is_directory()) c.folders.push_back(j);
        }
        j = e.is_directory() ? e.end_index() : j + 1;
      }
    }
  }

  std::vector<Candidate*> order;
  for (Candidate& c : candidates) {
    c.node->is_new = c.kept == NOT_KEPT ? 1 : 0;
    if (c.kept != NOT_KEPT) {
      c.node->previous_offset = entry_at(c.kept).is_directory() ? 0 : entry_at(c.kept).data_offset();
      order.push_back(&c);
    }
  }
  std::sort(order.begin(), order.end(), [](const Candidate* a, const Candidate* b) { return a->kept < b->kept; });
  for (Candidate& c : candidates) {
    if (c.kept == NOT_KEPT) order.push_back(&c);
  }
  SourceNode* previous = nullptr;
  folder->first_child = order.empty() ? nullptr : order.front()->node;
  for (Candidate* c : order) {
    SourceNode* node = c->node;
    node->prev_sibling = previous;
    node->next_sibling = nullptr;
    if (previous) previous->next_sibling = node;
    previous = node;
    // A name matched through its Latin-1 reading keeps the table's bytes.
    if (c->by_latin1) {
      char* name = builder_strdup(name_at(c->kept));
      if (!name) return false;
      std::free(node->name);
      node->name = name;
      node->name_is_host_bytes = 0;
    }
    if (node->is_directory) queue->push_back({node, std::move(c->folders)});
  }
  return true;
}

}  // namespace

bool builder_set_previous_table(const uint8_t* table, size_t size) {
  clear_previous_table();
  if (!table) return true;
  uint32_t count = 0;
  if (!table_entry_count(table, size, &count)) return false;
  uint8_t* bytes = static_cast<uint8_t*>(builder_alloc(size));
  if (!bytes) return false;  // code 1 recorded
  std::memcpy(bytes, table, size);
  return adopt_previous_table(bytes, size);
}

bool adopt_previous_table(uint8_t* bytes, size_t size) {
  clear_previous_table();
  PreviousTable t = {};
  t.bytes = bytes;
  t.size = size;
  if (!table_entry_count(bytes, size, &t.count)) {
    release_table(&t);
    return false;
  }
  t.parent = static_cast<uint32_t*>(builder_alloc(size_t(t.count) * sizeof(uint32_t)));
  t.taken = t.parent ? static_cast<uint8_t*>(builder_alloc(t.count)) : nullptr;
  if (!t.taken) {
    release_table(&t);
    return false;  // code 1 recorded
  }
  const TableWalk walk = walk_table(t.bytes, size, [&](const TableVisit& v) {
    t.parent[v.index] = v.parent;
    return true;
  });
  if (walk != TableWalk::Ok) {
    release_table(&t);
    return walk == TableWalk::NoMemory ? builder_fail(BUILD_ERR_NO_MEMORY) : false;
  }
  previous() = t;
  g_builder.have_previous_table = true;
  return true;
}

void clear_previous_table() {
  release_table(&previous());
  g_builder.removed_path.clear();
  g_builder.removed_path.shrink_to_fit();
  g_builder.have_previous_table = false;
  g_builder.layout_ready = false;
}

bool have_previous_table() { return g_builder.have_previous_table; }

size_t builder_removed_count() { return previous().removed_count; }

const char* builder_removed_path(size_t index) {
  if (index >= previous().removed_count) return "";
  try {
    std::vector<uint32_t> chain;
    for (uint32_t i = previous().removed[index]; i != 0; i = previous().parent[i]) chain.push_back(i);
    g_builder.removed_path.clear();
    for (size_t k = chain.size(); k > 0; --k) {
      g_builder.removed_path += '/';
      g_builder.removed_path += name_at(chain[k - 1]);
    }
  } catch (const std::bad_alloc&) {
    g_builder.removed_path.clear();
  }
  return g_builder.removed_path.c_str();
}

size_t builder_added_paths(size_t at_most, std::vector<std::string>* paths) {
  size_t count = 0;
  std::vector<size_t> lengths;  // of the path above each entry being walked
  std::string path;
  walk_source_nodes(
      &g_builder.root,
      [&](const SourceNode& node) {
        lengths.push_back(path.size());
        path += '/';
        path += node.name;
        if (node.is_new && count++ < at_most) paths->push_back(path);
        return true;
      },
      [&](const SourceNode&) {
        path.resize(lengths.back());
        lengths.pop_back();
      });
  return count;
}

bool apply_previous_table() {
  std::free(previous().removed);
  previous().removed = nullptr;
  previous().removed_count = 0;
  if (!g_builder.have_previous_table) return true;
  std::memset(previous().taken, 0, previous().count);
  try {
    std::vector<PendingFolder> queue;
    queue.push_back({&g_builder.root, {0}});
    while (!queue.empty()) {
      PendingFolder pending = std::move(queue.back());
      queue.pop_back();
      if (!match_folder(pending, &queue)) return false;  // code 1 recorded
    }
  } catch (const std::bad_alloc&) {
    return builder_fail(BUILD_ERR_NO_MEMORY);
  }
  previous().removed = static_cast<uint32_t*>(builder_alloc(size_t(previous().count) * sizeof(uint32_t)));
  if (!previous().removed) return false;
  for (uint32_t i = 1; i < previous().count; ++i) {
    if (!previous().taken[i]) previous().removed[previous().removed_count++] = i;
  }
  return true;
}
