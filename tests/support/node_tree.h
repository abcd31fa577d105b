// Hand-made FstNode trees for tests of what walks the reader's tree, linked
// as the reader links its cached tree.
#pragma once

#include <cstdint>
#include <deque>
#include <string>

#include "reader/reader.h"

namespace test_support {

// A tree of FstNode records linked as the reader links them.
class Tree {
 public:
  Tree() { root_.isDirectory = 1; }
  FstNode* root() { return &root_; }

  FstNode* add(FstNode* parent, const std::string& name, bool folder, uint32_t size = 0,
               uint32_t offset = 0) {
    names_.push_back(name);
    nodes_.emplace_back();
    FstNode* node = &nodes_.back();
    node->name = &names_.back()[0];
    node->isDirectory = folder ? 1 : 0;
    node->size = size;
    node->offset = offset;
    node->parent = parent;
    if (!parent->firstChild) {
      parent->firstChild = node;
    } else {
      FstNode* last = parent->firstChild;
      while (last->next) last = last->next;
      last->next = node;
      node->prev = last;
    }
    return node;
  }

 private:
  FstNode root_{};
  std::deque<FstNode> nodes_;
  std::deque<std::string> names_;
};

}  // namespace test_support
