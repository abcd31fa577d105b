// The one check of a file system table: a walk over its entries in table
// order that refuses anything a reader could not trust, giving each entry
// with its parent's index, its depth and its name. The reader's mount and the
// builder's previous table both take a table only through it. Its memory is
// one small record per open folder, whatever the names or the nesting.
#pragma once

#include <cstddef>
#include <cstdint>
#include <cstring>
#include <new>
#include <vector>

#include "disc/disc_format.h"

enum class TableWalk { Ok, Broken, Stopped, NoMemory };

struct TableVisit {
  uint32_t index;   // 1 to N - 1
  uint32_t parent;  // index of the enclosing folder; 0 for the top level
  uint32_t depth;   // 1 for the top level
  const char* name;  // inside the names, NUL-terminated there
  FstEntry entry;
};

// Reads N from the root entry of a table of size bytes; false when the table
// cannot be trusted with it.
inline bool table_entry_count(const FstEntry& root, uint64_t size, uint32_t* count) {
  // A real table is well under 1 MiB: a larger one would only make a reader
  // allocate what a hostile disc asks for.
  if (size < FST_ENTRY_SIZE || size > FST_MAX_READ_SIZE) return false;
  *count = root.end_index();
  // N counts the root itself, and every entry lies inside the table.
  return *count != 0 && uint64_t(*count) * FST_ENTRY_SIZE <= size;
}

// The same from a table held in memory, whose first entry is the root.
inline bool table_entry_count(const uint8_t* table, size_t size, uint32_t* count) {
  FstEntry root;
  if (!table || size < FST_ENTRY_SIZE) return false;
  std::memcpy(&root, table, FST_ENTRY_SIZE);
  return table_entry_count(root, size, count);
}

// Calls visit(const TableVisit&) for entries 1 to N - 1 in table order;
// entries holds the N entries from the root, names the names_size bytes after
// them. A visit that returns false ends the walk (Stopped); Broken means the
// table cannot be trusted (nothing visited past the fault).
template <class Visit>
TableWalk walk_table_entries(const uint8_t* entries, uint32_t count, const char* names, size_t names_size,
                             Visit&& visit) {
  // A name must start inside the names and end with its NUL there: exactly
  // when it starts before the last NUL, so no name is scanned to check it.
  size_t names_end = names_size;
  while (names_end > 0 && names[names_end - 1] != '\0') --names_end;

  struct Open {
    uint32_t index;
    uint32_t end;
  };
  std::vector<Open> open;
  try {
    open.push_back({0, count});
    for (uint32_t i = 1; i < count; ++i) {
      while (i >= open.back().end) open.pop_back();
      TableVisit v;
      std::memcpy(&v.entry, entries + size_t(i) * FST_ENTRY_SIZE, FST_ENTRY_SIZE);
      // A name outside the names, or without its NUL there, would run into
      // other data.
      const uint32_t name_offset = v.entry.name_offset();
      if (name_offset >= names_end) return TableWalk::Broken;
      v.index = i;
      v.parent = open.back().index;
      v.depth = uint32_t(open.size());
      v.name = names + name_offset;
      if (v.entry.is_directory()) {
        const uint32_t end = v.entry.end_index();
        // A folder holds its own index range, inside its enclosing folder's;
        // anything else would loop or leave entries without a place.
        if (end <= i || end > open.back().end) return TableWalk::Broken;
        open.push_back({i, end});
      }
      if (!visit(static_cast<const TableVisit&>(v))) return TableWalk::Stopped;
    }
  } catch (const std::bad_alloc&) {
    return TableWalk::NoMemory;
  }
  return TableWalk::Ok;
}

// The same walk over a whole table held in memory.
template <class Visit>
TableWalk walk_table(const uint8_t* table, size_t size, Visit&& visit) {
  uint32_t count = 0;
  if (!table_entry_count(table, size, &count)) return TableWalk::Broken;
  const size_t entries_size = size_t(count) * FST_ENTRY_SIZE;
  return walk_table_entries(table, count, reinterpret_cast<const char*>(table) + entries_size,
                            size - entries_size, visit);
}
