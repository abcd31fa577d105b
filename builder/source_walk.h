// The one walk over the builder's scanned tree, for the builder's own walks
// (layout, table, copies, release) and the programs around it (progress
// totals, the wizard's measure, the command line's warnings).
#pragma once

#include <vector>

#include "builder/builder.h"

// The first node of a sibling list, whichever node of it the parent points to.
template <class Node>
Node* first_source_sibling(Node* node) {
  while (node && node->prev_sibling) node = node->prev_sibling;
  return node;
}

// Walks every file and folder below root, the root itself excluded: depth
// first, a folder before its contents, siblings in order. enter(node) comes
// for every node; an enter that returns false ends the walk, which then
// returns false. leave(node) comes once the node's contents are done (for a
// file, right after its enter), when the walk no longer reads the node, so it
// may free it.
// Without recursion: the folders whose contents are being walked wait on a
// stack, so a deep tree costs heap, never call stack.
template <class Node, class Enter, class Leave>
bool walk_source_nodes(Node* root, Enter&& enter, Leave&& leave) {
  if (!root) return true;
  std::vector<Node*> open;
  Node* node = first_source_sibling(root->first_child);
  for (;;) {
    if (!node) {
      if (open.empty()) return true;
      Node* folder = open.back();
      open.pop_back();
      node = folder->next_sibling;
      leave(*folder);
      continue;
    }
    if (!enter(*node)) return false;
    if (node->is_directory && node->first_child) {
      open.push_back(node);
      node = first_source_sibling(node->first_child);
    } else {
      Node* next = node->next_sibling;
      leave(*node);
      node = next;
    }
  }
}

template <class Node, class Enter>
bool walk_source_nodes(Node* root, Enter&& enter) {
  return walk_source_nodes(root, enter, [](Node&) {});
}

// Calls visit(node) for every file and folder below root, in the order of
// walk_source_nodes.
template <class Visit>
void walk_source_tree(const SourceNode* root, Visit&& visit) {
  walk_source_nodes(root, [&](const SourceNode& node) {
    visit(node);
    return true;
  });
}
