// Window-free rules of the main window.
#include "explorer/core/explorer_logic.h"

#include <algorithm>
#include <cstddef>
#include <cstdio>
#include <cstring>

namespace {

bool is_blank(char c) { return c == ' ' || c == '\t'; }

}  // namespace

bool parse_command_line(const char* command_line, std::string* image_path) {
  image_path->clear();
  if (!command_line) return false;
  const char* p = command_line;
  // The program's path: up to its closing quote, or to the first blank.
  if (*p == '"') {
    const char* close = std::strchr(p + 1, '"');
    p = close ? close + 1 : p + std::strlen(p);
  } else {
    while (*p && !is_blank(*p)) ++p;
  }
  while (is_blank(*p)) ++p;
  std::string path;
  if (*p == '"') {
    const char* begin = p + 1;
    const char* close = std::strchr(begin, '"');
    path.assign(begin, close ? size_t(close - begin) : std::strlen(begin));
  } else {
    path = p;
    while (!path.empty() && is_blank(path.back())) path.pop_back();
  }
  if (path.empty()) return false;
  *image_path = path;
  return true;
}

std::string join_tree_path(const std::vector<std::string>& names_below_root) {
  if (names_below_root.empty()) return "/";
  std::string path;
  for (const std::string& name : names_below_root) {
    path += '/';
    path += name;
  }
  return path;
}

std::vector<TreeFolder> tree_folders(const FstNode* root) {
  std::vector<TreeFolder> folders;
  if (!root) return folders;
  // Pending folders on a stack, pushed back to front so the first sibling
  // comes out first; no recursion, however deep the image nests.
  std::vector<TreeFolder> pending;
  auto push_children = [&pending](const FstNode* folder, int index) {
    size_t mark = pending.size();
    for (const FstNode* child = folder->firstChild; child; child = child->next) {
      if (child->isDirectory) pending.push_back({child, index});
    }
    std::reverse(pending.begin() + std::ptrdiff_t(mark), pending.end());
  };
  push_children(root, -1);
  while (!pending.empty()) {
    TreeFolder next = pending.back();
    pending.pop_back();
    folders.push_back(next);
    push_children(next.node, int(folders.size()) - 1);
  }
  return folders;
}

const FstNode* listed_directory(const std::string& path) {
  if (path == "/") return IsoGetRoot();
  return IsoFindDirectory(path.c_str(), 0);
}

EntryCounts count_entries(const FstNode* directory) {
  EntryCounts counts = {0, 0};
  if (!directory) return counts;
  for (const FstNode* entry = directory->firstChild; entry; entry = entry->next) {
    if (entry->isDirectory) {
      ++counts.directories;
    } else {
      ++counts.files;
    }
  }
  return counts;
}

std::string counts_status_text(EntryCounts counts) {
  char text[64];
  std::snprintf(text, sizeof(text), "%d ﾌｧｲﾙ、%d ﾃﾞｨﾚｸﾄﾘ", counts.files, counts.directories);
  return text;
}

void history_clear(NavigationHistory* history) {
  for (HistoryItem& entry : history->entries) entry = nullptr;
  history->index = 0;
}

void history_push(NavigationHistory* history, HistoryItem item) {
  if (history->index < NAVIGATION_LAST_INDEX) ++history->index;
  history->entries[history->index] = item;
}

bool history_back(NavigationHistory* history, HistoryItem* target) {
  if (history->index <= 0) return false;
  --history->index;
  *target = history->entries[history->index];
  return true;
}

bool history_forward(NavigationHistory* history, HistoryItem* target) {
  if (history->index >= NAVIGATION_LAST_INDEX) return false;
  if (!history->entries[history->index + 1]) return false;
  ++history->index;
  *target = history->entries[history->index];
  return true;
}
