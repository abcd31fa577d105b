// Window-free rules of the main window: command line, tree paths and the
// navigation history.
#pragma once

#include <string>
#include <vector>

#include "reader/reader.h"

// The image path the command line names, if any. The program's path comes
// first, quoted or not; the image path follows after blanks, either quoted
// (as the shell passes it) or bare (as typed in a console, blanks inside
// kept). False when no image is named.
bool parse_command_line(const char* command_line, std::string* image_path);

// The in-image path of a tree item from the names of the items between the
// root item and it, outermost first, the item's own name last: {} gives "/",
// {"a", "b", "c"} gives "/a/b/c".
std::string join_tree_path(const std::vector<std::string>& names_below_root);

// The folders the tree shows below its root item, depth first in sibling
// order (files get no item). parent is the index of the parent folder in the
// same list, or -1 for a top-level folder (a child of the root item).
struct TreeFolder {
  const FstNode* node;
  int parent;
};
std::vector<TreeFolder> tree_folders(const FstNode* root);

// The directory the list shows for a path: the root for "/", else the
// directory the path names exactly; null when it names none.
const FstNode* listed_directory(const std::string& path);

// Files and directories among a directory's entries.
struct EntryCounts {
  int files;
  int directories;
};
EntryCounts count_entries(const FstNode* directory);

// The status bar's counts text, code page 932: "N ﾌｧｲﾙ、M ﾃﾞｨﾚｸﾄﾘ".
std::string counts_status_text(EntryCounts counts);

// The last 128 places the user went to by double-click or Up, as opaque tree
// item handles (null is an empty entry), and the current position. Entries
// above the position stay after Back, so Forward can return to them.
typedef const void* HistoryItem;
constexpr int NAVIGATION_HISTORY_SIZE = 128;
constexpr int NAVIGATION_LAST_INDEX = NAVIGATION_HISTORY_SIZE - 1;

struct NavigationHistory {
  HistoryItem entries[NAVIGATION_HISTORY_SIZE];
  int index;
};

// Every entry null, position 0.
void history_clear(NavigationHistory* history);
// Records a place the user went to: one step on (at the last entry the
// position stays and that entry is overwritten), the entry there = item.
void history_push(NavigationHistory* history, HistoryItem item);
// One step back; false at entry 0. *target is the entry to select (may be
// null: entry 0 after an open is never filled).
bool history_back(NavigationHistory* history, HistoryItem* target);
// One step forward to a filled entry; false at the end or before an empty one.
bool history_forward(NavigationHistory* history, HistoryItem* target);
