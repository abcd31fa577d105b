// Window-free rules of the main window.
#include "explorer/core/explorer_logic.h"

#include <cstdio>
#include <cstring>

#include "reader/fst_walk.h"

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
  // The list index of each folder the walk is in; -1 stands for the root.
  std::vector<int> open(1, -1);
  walk_fst_nodes(
      root->firstChild, false,
      [&](const FstNode& node) {
        if (node.isDirectory) {
          folders.push_back({&node, open.back()});
          open.push_back(int(folders.size()) - 1);
        }
        return true;
      },
      [&open](const FstNode& node) {
        if (node.isDirectory) open.pop_back();
      });
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
