// The one walk over the reader's cached tree, for the reader's own walks
// (extraction and its plan, the checks of what the image holds, releasing the
// tree) and the programs around it (the explorer's folder tree, the command
// line's listings).
#pragma once

#include <cstddef>

#include "reader/reader.h"

// Walks the entries from first through its later siblings (first alone when
// single) and everything below them: depth first in table order, a folder
// before its contents. enter(node) comes for every entry; an enter that
// returns false ends the walk, which then returns false. leave(node) comes
// once the entry's contents are done (for a file, right after its enter),
// when the walk no longer reads the node, so it may free it.
// It climbs back through the parent links, so it needs no memory of its own,
// however deep the tree.
template <class Node, class Enter, class Leave>
bool walk_fst_nodes(Node* first, bool single, Enter&& enter, Leave&& leave) {
  size_t depth = 0;  // folders entered below first's level
  Node* node = first;
  while (node) {
    if (!enter(*node)) return false;
    if (node->isDirectory && node->firstChild) {
      ++depth;
      node = node->firstChild;
      continue;
    }
    // The entry is done, and so is each folder it is the last entry of.
    for (;;) {
      Node* next = depth == 0 && single ? nullptr : node->next;
      Node* parent = node->parent;
      leave(*node);
      if (next || depth == 0) {
        node = next;
        break;
      }
      node = parent;
      --depth;
    }
  }
  return true;
}

template <class Node, class Enter>
bool walk_fst_nodes(Node* first, bool single, Enter&& enter) {
  return walk_fst_nodes(first, single, enter, [](Node&) {});
}
