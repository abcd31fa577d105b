// Path lookups in the cached tree. A path is "/" followed by components
// separated by "/"; each level's sibling list is scanned in table order and
// the first node whose whole name matches wins.
#include "reader/reader_state.h"

#include <cstring>

namespace {

enum class Want { Any, File, Directory };

char ascii_lower(char c) { return (c >= 'A' && c <= 'Z') ? char(c - 'A' + 'a') : c; }

// Does the whole name equal the component [begin, end)?
bool name_matches(const char* name, const char* begin, const char* end, bool ignore_case) {
  size_t length = size_t(end - begin);
  if (length == 0) return false;  // an empty component matches no node
  // Never reads a name further than the component is long: entries may
  // share one long name, and a lookup costs no more than the path given.
  for (size_t i = 0; i < length; ++i) {
    char a = name[i], b = begin[i];
    if (a == '\0' || (ignore_case ? ascii_lower(a) != ascii_lower(b) : a != b)) return false;
  }
  return name[length] == '\0';
}

bool kind_fits(const FstNode* node, Want want) {
  if (want == Want::File) return !node->isDirectory;
  if (want == Want::Directory) return node->isDirectory != 0;
  return true;
}

// Walks the path. Inner components use (inner_want, inner_ignore_case), the
// last one (last_want, last_ignore_case).
const FstNode* walk(const char* path, Want inner_want, bool inner_ignore_case, Want last_want,
                    bool last_ignore_case) {
  if (!path || path[0] == '\0') return nullptr;
  const char* component = path + 1;  // skips the leading "/"
  const FstNode* level = g_reader.root.firstChild;
  for (;;) {
    const char* slash = std::strchr(component, '/');
    const bool last = slash == nullptr;
    const char* end = last ? component + std::strlen(component) : slash;
    const Want want = last ? last_want : inner_want;
    const bool ignore_case = last ? last_ignore_case : inner_ignore_case;
    const FstNode* match = nullptr;
    for (const FstNode* node = level; node; node = node->next) {
      if (kind_fits(node, want) && name_matches(node->name, component, end, ignore_case)) {
        match = node;
        break;
      }
    }
    if (!match || last) return match;
    level = match->firstChild;
    component = slash + 1;
  }
}

}  // namespace

const FstNode* reader_find_file(const char* path, uint8_t matchMode) {
  // Mode 0: folders exact, the file name ignoring case; mode 1 the opposite.
  const bool folders_ignore_case = matchMode != 0;
  return walk(path, Want::Any, folders_ignore_case, Want::File, !folders_ignore_case);
}

bool IsoFindFile(const char* path, uint32_t* offset, uint32_t* size, uint8_t matchMode) {
  const FstNode* node = reader_find_file(path, matchMode);
  if (!node) return false;
  *offset = node->offset;
  *size = node->size;
  return true;
}

FstNode* IsoFindDirectory(const char* path, uint8_t ignoreCase) {
  const FstNode* node =
      walk(path, Want::Directory, ignoreCase != 0, Want::Directory, ignoreCase != 0);
  return const_cast<FstNode*>(node);
}

FstNode* IsoFindEntry(const char* path) {
  if (!path || path[0] != '/') return nullptr;
  // A folder first; else a file in folders matched the same way.
  const FstNode* node = walk(path, Want::Directory, false, Want::Directory, false);
  if (!node) node = walk(path, Want::Directory, false, Want::File, false);
  return const_cast<FstNode*>(node);
}
