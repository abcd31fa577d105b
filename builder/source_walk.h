// A walk over the builder's scanned tree for the programs around it (progress
// totals, the wizard's measure, the command line's warnings).
#pragma once

#include <vector>

#include "builder/builder.h"

// The first node of a sibling list, whichever node of it the parent points to.
inline const SourceNode* first_source_sibling(const SourceNode* node) {
  while (node && node->prev_sibling) node = node->prev_sibling;
  return node;
}

// Calls visit(node) for every file and folder below root, the root itself
// excluded: depth first, a folder before its contents, siblings in order.
// Without recursion: the siblings still to visit after a folder's contents
// wait on a stack.
template <class Visit>
void walk_source_tree(const SourceNode* root, Visit&& visit) {
  if (!root) return;
  std::vector<const SourceNode*> pending;
  const SourceNode* node = first_source_sibling(root->first_child);
  while (node || !pending.empty()) {
    if (!node) {
      node = pending.back();
      pending.pop_back();
      continue;
    }
    visit(*node);
    if (node->is_directory && node->first_child) {
      if (node->next_sibling) pending.push_back(node->next_sibling);
      node = first_source_sibling(node->first_child);
    } else {
      node = node->next_sibling;
    }
  }
}
