// Path lookups in the cached tree. A path is "/" followed by components
// separated by "/"; each level's sibling list is scanned in table order and
// the first node whose whole name matches wins.
#include "reader/reader_state.h"

#include <cstring>
#include <set>
#include <string>
#include <utility>
#include <vector>

#include "host/host_text.h"
#include "reader/fst_walk.h"

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

// ---------------------------------------------------------------------------
// Patterns
// ---------------------------------------------------------------------------

namespace {

bool has_wildcard(const std::string& component) { return component.find_first_of("*?") != std::string::npos; }

// Bytes of the code page 932 character at p: a lead byte and its trail byte,
// or one byte.
size_t char_length(const char* p) {
  const unsigned char c = static_cast<unsigned char>(*p);
  const bool lead = (c >= 0x81 && c <= 0x9F) || (c >= 0xE0 && c <= 0xFC);
  return lead && p[1] != '\0' ? 2 : 1;
}

// "*" matches any run of characters, "?" one character; "*" and "?" are never
// a trail byte in code page 932, so the pattern is read byte by byte.
bool glob_matches(const char* pattern, const char* name, bool ignore_case) {
  const char* star = nullptr;  // the last "*" seen, and where the name stood then
  const char* star_name = nullptr;
  while (*name) {
    if (*pattern == '*') {
      star = pattern++;
      star_name = name;
    } else if (*pattern == '?') {
      ++pattern;
      name += char_length(name);
    } else if (*pattern && (ignore_case ? ascii_lower(*pattern) == ascii_lower(*name) : *pattern == *name)) {
      ++pattern;
      ++name;
    } else if (star) {
      // The last "*" takes one more character.
      pattern = star + 1;
      star_name += char_length(star_name);
      name = star_name;
    } else {
      return false;
    }
  }
  while (*pattern == '*') ++pattern;
  return *pattern == '\0';
}

struct PatternWalk {
  std::vector<std::string> components;
  size_t fixed;  // components before the first wildcard
  std::vector<IsoMatch> found;

  // Component i is matched against the entries of folder; kept on a stack
  // of its own, so a deep tree costs no call depth.
  struct Work {
    const FstNode* folder;
    size_t i;
    const FstNode* base;
  };

  void run() {
    std::set<std::pair<const FstNode*, size_t>> visited;  // "**" at i walked from folder already
    std::vector<Work> stack(1, Work{&g_reader.root, 0, &g_reader.root});
    std::vector<Work> next;
    while (!stack.empty()) {
      const Work w = stack.back();
      stack.pop_back();
      next.clear();
      const bool last = w.i + 1 == components.size();
      if (components[w.i] == "**") {
        if (!visited.insert({w.folder, w.i}).second) continue;
        for (const FstNode* c = w.folder->firstChild; c; c = c->next) {
          // Last, it takes everything below: the entries, each with its contents.
          if (last) found.push_back({c, w.base});
          if (!last && c->isDirectory) next.push_back({c, w.i, w.base});
        }
        if (!last) next.insert(next.begin(), Work{w.folder, w.i + 1, w.base});  // no folder at all
      } else {
        for (const FstNode* c = w.folder->firstChild; c; c = c->next) {
          if ((!last && !c->isDirectory) || !glob_matches(components[w.i].c_str(), c->name, !last)) continue;
          const FstNode* base = w.i < fixed ? c : w.base;
          if (last) {
            found.push_back({c, base});
          } else {
            next.push_back({c, w.i + 1, base});
          }
        }
      }
      stack.insert(stack.end(), next.rbegin(), next.rend());
    }
  }
};

// The matches of list that lie inside a folder matched with the same base:
// one walk of each base's tree, counting the matched folders it is inside.
std::set<std::pair<const FstNode*, const FstNode*>> covered_matches(const std::vector<IsoMatch>& list) {
  std::set<std::pair<const FstNode*, const FstNode*>> matched, covered;
  std::set<const FstNode*> bases;
  for (const IsoMatch& m : list) {
    matched.insert({m.base, m.node});
    bases.insert(m.base);
  }
  for (const FstNode* base : bases) {
    const bool whole = matched.count({base, base}) != 0;  // the root, everything below it
    size_t inside = 0;
    walk_fst_nodes(base->firstChild, false, [&](const FstNode& node) {
      const bool is_match = matched.count({base, &node}) != 0;
      if (is_match && (whole || inside > 0)) covered.insert({base, &node});
      if (is_match && node.isDirectory) ++inside;
      return true;
    }, [&](const FstNode& node) {
      if (node.isDirectory && matched.count({base, &node})) --inside;
    });
  }
  return covered;
}

}  // namespace

size_t IsoMatchPath(const char* path, std::vector<IsoMatch>* matches) {
  if (!path || path[0] != '/') return 0;
  PatternWalk walk;
  for (const char* p = path + 1; *p;) {
    const char* slash = std::strchr(p, '/');
    const size_t n = slash ? size_t(slash - p) : std::strlen(p);
    if (n) walk.components.emplace_back(p, n);
    p += n + (slash ? 1 : 0);
  }
  walk.fixed = 0;
  while (walk.fixed < walk.components.size() && !has_wildcard(walk.components[walk.fixed])) ++walk.fixed;
  if (walk.components.empty()) {
    walk.found.push_back({&g_reader.root, &g_reader.root});
  } else if (walk.fixed == walk.components.size()) {
    const FstNode* node = IsoFindDirectory(path, 0);
    if (!node) node = reader_find_file(path, 1);
    if (node) walk.found.push_back({node, node->parent});
  } else {
    walk.run();
  }
  // What is matched already, or lies inside a folder matched with the same
  // base (and so is written there anyway), is left out.
  std::vector<IsoMatch> all = *matches;
  all.insert(all.end(), walk.found.begin(), walk.found.end());
  const auto covered = covered_matches(all);
  std::set<std::pair<const FstNode*, const FstNode*>> kept;
  matches->clear();
  for (const IsoMatch& m : all) {
    if (!covered.count({m.base, m.node}) && kept.insert({m.base, m.node}).second) matches->push_back(m);
  }
  return walk.found.size();
}

std::string IsoMatchRelativePath(const IsoMatch& match) {
  std::string path;
  for (const FstNode* n = match.node; n && n != match.base; n = n->parent) {
    path = path.empty() ? std::string(n->name) : std::string(n->name) + "/" + path;
  }
  return path;
}

bool IsoCanonicalPath(const std::string& path, std::string* canonical) {
  if (path.empty() || path.find('\0') != std::string::npos) return false;
  std::string out;
  for (size_t i = 0; i < path.size();) {
    size_t slash = path.find('/', i);
    if (slash == std::string::npos) slash = path.size();
    if (slash > i) out += "/" + path.substr(i, slash - i);
    i = slash + 1;
  }
  *canonical = out.empty() ? "/" : out;
  return true;
}

std::string IsoMapPathNames(const std::string& path, char separator, std::string (*convert)(const std::string& name)) {
  std::string out;
  for (size_t start = 0;;) {
    const size_t slash = path.find('/', start);
    out += convert(path.substr(start, slash == std::string::npos ? std::string::npos : slash - start));
    if (slash == std::string::npos) return out;
    out += separator;
    start = slash + 1;
  }
}

std::string IsoPathFromHostText(const std::string& path) {
  return IsoMapPathNames(path, '/', [](const std::string& name) { return host::disc_name_from_host_name(name); });
}
