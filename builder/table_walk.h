// One walk over a file system table held in memory, checking it as the reader
// checks a table at mount: every entry, in table order, with its parent's
// index, its depth and its name. Its memory is one small record per open
// folder, whatever the names or the nesting.
#pragma once

#include <cstddef>
#include <cstdint>
#include <cstring>
#include <new>
#include <vector>

#include "disc/disc_format.h"

enum class TableWalk { Ok, Broken, NoMemory };

struct TableVisit {
  uint32_t index;   // 1 to N - 1
  uint32_t parent;  // index of the enclosing folder; 0 for the top level
  uint32_t depth;   // 1 for the top level
  const char* name;  // inside the table, NUL-terminated there
  FstEntry entry;
};

// Reads the root entry's N into *count; false when the table cannot hold it.
inline bool table_entry_count(const uint8_t* table, size_t size, uint32_t* count) {
  if (!table || size < FST_ENTRY_SIZE) return false;
  FstEntry root;
  std::memcpy(&root, table, FST_ENTRY_SIZE);
  *count = root.end_index();
  // N counts the root itself, and every entry lies inside the table.
  return *count != 0 && uint64_t(*count) * FST_ENTRY_SIZE <= size;
}

// Calls visit(const TableVisit&) for entries 1 to N - 1 in table order.
// Broken when the table cannot be trusted (nothing visited past the fault).
template <class Visit>
TableWalk walk_table(const uint8_t* table, size_t size, Visit&& visit) {
  uint32_t count = 0;
  if (!table_entry_count(table, size, &count)) return TableWalk::Broken;
  const char* names = reinterpret_cast<const char*>(table) + size_t(count) * FST_ENTRY_SIZE;
  const size_t names_size = size - size_t(count) * FST_ENTRY_SIZE;
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
      std::memcpy(&v.entry, table + size_t(i) * FST_ENTRY_SIZE, FST_ENTRY_SIZE);
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
      visit(static_cast<const TableVisit&>(v));
    }
  } catch (const std::bad_alloc&) {
    return TableWalk::NoMemory;
  }
  return TableWalk::Ok;
}
