// Opening an image for an edit, and the actions: each is checked against the
// image's tree as the actions before it left it, and changes that tree only
// when it is accepted.
#include <cstring>
#include <string>
#include <vector>

#include "builder/builder_state.h"
#include "builder/image_edit_state.h"
#include "container/container.h"
#include "container/disc_identify.h"
#include "disc/table_walk.h"
#include "host/host_text.h"

namespace {

EditNode* new_node(const std::string& name, bool is_directory, EditNode* parent) {
  g_edit.nodes.push_back(std::unique_ptr<EditNode>(new EditNode()));
  EditNode* node = g_edit.nodes.back().get();
  node->name = name;
  node->is_directory = is_directory;
  node->parent = parent;
  if (parent) parent->children.push_back(node);
  return node;
}

// An input that cannot be opened: code 15 for what is no regular file, else 4.
bool fail_to_open(const std::string& path) {
  return edit_fail_on_path(host::path_kind(path.c_str()) == host::PathKind::Other ? BUILD_ERR_NOT_REGULAR_FILE
                                                                                   : BUILD_ERR_OPEN_INPUT,
                           path);
}

void add_system_range(uint64_t start, uint64_t length) {
  uint64_t end = start + length;
  if (end > g_edit.image_size) end = g_edit.image_size;
  if (start < end) g_edit.system_ranges.push_back({start, end});
}

// The boot areas, the apploader and the main program. Each spans up to the
// next area when the header's offsets say so (the builder's layout, and
// retail discs'); where they give no span, its own header gives its length,
// as the reader takes it.
void find_system_ranges() {
  const uint32_t dol = g_edit.header.main_program_offset.get();
  const uint32_t fst = g_edit.header.fst_offset.get();
  add_system_range(0, APPLOADER_OFFSET);
  uint8_t head[DOL_HEADER_SIZE];
  if (dol > APPLOADER_OFFSET) {
    add_system_range(APPLOADER_OFFSET, dol - APPLOADER_OFFSET);
  } else if (APPLOADER_OFFSET + APPLOADER_HEADER_SIZE <= g_edit.image_size &&
             edit_read_image(APPLOADER_OFFSET, head, APPLOADER_HEADER_SIZE)) {
    add_system_range(APPLOADER_OFFSET, apploader_length(head));
  }
  if (dol == 0) return;  // no main program
  if (fst > dol) {
    add_system_range(dol, fst - dol);
  } else if (uint64_t(dol) + DOL_HEADER_SIZE <= g_edit.image_size && edit_read_image(dol, head, DOL_HEADER_SIZE)) {
    add_system_range(dol, dol_length(head));
  }
}

// Builds the tree from the table, checked by the one table check.
bool take_table(const std::vector<uint8_t>& table) {
  g_edit.root = new_node("", true, nullptr);
  uint32_t count = 0;
  table_entry_count(table.data(), table.size(), &count);
  std::vector<EditNode*> by_index(count, nullptr);
  by_index[0] = g_edit.root;
  bool any_link = false, nested = false;
  TableWalk result = walk_table(table.data(), table.size(), [&](const TableVisit& v) {
    EditNode* node = new_node(v.name, v.entry.is_directory(), by_index[v.parent]);
    by_index[v.index] = node;
    if (node->is_directory) {
      any_link = any_link || v.entry.second.get() != 0;
      nested = nested || v.parent != 0;
    } else {
      node->offset = v.entry.data_offset();
      node->length = v.entry.length();
      count_kept_alignment(&g_edit.kept_alignments, v.name, alignment_class(node->offset));
    }
    return true;
  });
  if (result == TableWalk::NoMemory) return edit_fail(BUILD_ERR_NO_MEMORY);
  if (result != TableWalk::Ok) return edit_fail_on_path(EDIT_ERR_BAD_TABLE, g_edit.image_path);
  // Folder entries keep the form the image has; where its table cannot tell
  // (no nested folder), images with the magic word get the parent links
  // other tools check.
  g_edit.parent_links = any_link || (!nested && g_edit.disc_magic);
  return true;
}

bool open_image(const char* image_path) {
  builder_edit_reset();
  g_edit.image_path = image_path;
  g_edit.image = host::file_open_read(image_path);
  if (!g_edit.image) return fail_to_open(image_path);
  if (!host::file_length(g_edit.image, &g_edit.image_size) || !host::file_identity(g_edit.image, &g_edit.image_id))
    return edit_fail_on_path(BUILD_ERR_READ, image_path);

  uint8_t first[DISC_IDENTIFY_BYTES] = {};
  size_t got = 0;
  if (!host::file_seek(g_edit.image, 0) || !host::file_read_some(g_edit.image, first, sizeof first, &got))
    return edit_fail_on_path(BUILD_ERR_READ, image_path);
  ContainerKind kind = CONTAINER_PLAIN;
  if (container_kind_from_magic(first, got, &kind) && kind != CONTAINER_PLAIN)
    return edit_fail_on_path(EDIT_ERR_CONTAINER, image_path);
  if (identify_disc_bytes(first, got, g_edit.image_size).kind != DiscFileKind::GameCubeImage ||
      got < sizeof(DiscHeader))
    return edit_fail_on_path(EDIT_ERR_NOT_A_DISC, image_path);
  std::memcpy(&g_edit.header, first, sizeof g_edit.header);
  g_edit.edited_header = g_edit.header;
  g_edit.disc_magic = g_edit.header.disc_magic.get() == GAMECUBE_DISC_MAGIC;

  // The table must lie inside the image and pass the table check.
  const uint64_t offset = g_edit.header.fst_offset.get(), size = g_edit.header.fst_size.get();
  if (size < FST_ENTRY_SIZE || size > FST_MAX_READ_SIZE || offset + size > g_edit.image_size)
    return edit_fail_on_path(EDIT_ERR_BAD_TABLE, image_path);
  std::vector<uint8_t> table(size);
  if (!edit_read_image(offset, table.data(), table.size())) return edit_fail_on_path(BUILD_ERR_READ, image_path);
  g_edit.old_table_offset = uint32_t(offset);
  g_edit.old_table_size = uint32_t(size);
  if (!take_table(table)) return false;
  find_system_ranges();
  return true;
}

// ---------------------------------------------------------------------------
// Paths and names
// ---------------------------------------------------------------------------

std::vector<std::string> split_path(const std::string& path) {
  std::vector<std::string> names;
  size_t start = 0;
  while (start <= path.size()) {
    size_t slash = path.find('/', start);
    if (slash == std::string::npos) slash = path.size();
    if (slash > start) names.push_back(path.substr(start, slash - start));
    start = slash + 1;
  }
  return names;
}

bool same_ignoring_ascii_case(const std::string& a, const std::string& b) {
  if (a.size() != b.size()) return false;
  for (size_t i = 0; i < a.size(); ++i) {
    char x = a[i], y = b[i];
    if (x >= 'A' && x <= 'Z') x = char(x - 'A' + 'a');
    if (y >= 'A' && y <= 'Z') y = char(y - 'A' + 'a');
    if (x != y) return false;
  }
  return true;
}

// The entry of folder named name: the exact name first, else a folder whose
// name differs only in ASCII case, as the reader's look-up takes folders.
EditNode* find_child(const EditNode* folder, const std::string& name) {
  for (EditNode* child : folder->children)
    if (child->name == name) return child;
  for (EditNode* child : folder->children)
    if (child->is_directory && same_ignoring_ascii_case(child->name, name)) return child;
  return nullptr;
}

// Another entry of folder with the name, ASCII case ignored.
bool name_taken(const EditNode* folder, const std::string& name, const EditNode* self) {
  for (const EditNode* child : folder->children)
    if (child != self && same_ignoring_ascii_case(child->name, name)) return true;
  return false;
}

std::string joined_path(const std::vector<std::string>& names, size_t count) {
  std::string path;
  for (size_t i = 0; i < count; ++i) path += "/" + names[i];
  return path.empty() ? "/" : path;
}

std::string path_of(const EditNode* node) {
  std::vector<std::string> names;
  for (; node && node->parent; node = node->parent) names.insert(names.begin(), node->name);
  return joined_path(names, names.size());
}

// The entry at path, or code 22 naming the part that is missing.
EditNode* resolve(const std::string& path) {
  std::vector<std::string> names = split_path(path);
  EditNode* node = g_edit.root;
  for (size_t i = 0; i < names.size(); ++i) {
    EditNode* child = node->is_directory ? find_child(node, names[i]) : nullptr;
    if (!child) {
      edit_fail_on_path(EDIT_ERR_NO_SUCH_ENTRY, joined_path(names, i + 1));
      return nullptr;
    }
    node = child;
  }
  return node;
}

bool check_new_name(const std::string& name, const EditNode* folder, const EditNode* self, const std::string& path) {
  if (const char* problem = builder_edit_name_problem(name.c_str())) return edit_fail_on_name(path, problem);
  if (name_taken(folder, name, self)) return edit_fail_on_path(EDIT_ERR_NAME_TAKEN, path);
  return true;
}

// A host file's length, for the data it gives.
bool measure_host_file(const std::string& host_path, uint32_t* length) {
  host::File* f = host::file_open_read(host_path.c_str());
  if (!f) return fail_to_open(host_path);
  uint64_t size = 0;
  bool measured = host::file_length(f, &size);
  host::file_close(f);
  if (!measured) return edit_fail_on_path(BUILD_ERR_READ, host_path);
  // Lengths are 32-bit in the table.
  if (size > UINT32_MAX) return edit_fail_on_path(BUILD_ERR_DATA_TOO_LARGE, host_path);
  *length = uint32_t(size);
  return true;
}

EditStepRecord& add_step(EditActionKind kind, const std::string& path) {
  g_edit.steps.emplace_back();
  EditStepRecord& r = g_edit.steps.back();
  std::memset(&r.step, 0, sizeof r.step);
  r.step.kind = kind;
  r.path = path;
  return r;
}

// Points the step's texts at its own strings, which stay where they are.
void finish_step(EditStepRecord& r) {
  r.step.path = r.path.c_str();
  r.step.new_name = r.new_name.c_str();
  r.step.host_path = r.host_path.c_str();
}

// New data for the file node from host_path.
void give_data(EditNode* node, EditStepRecord& r, const std::string& host_path, uint32_t length) {
  r.host_path = host_path;
  r.step.length = length;
  node->source_step = int(g_edit.steps.size() - 1);
  // Replaced data keeps the alignment class of where it was; a new file
  // takes what the builder gives one beside the image's files.
  r.step.alignment = node->is_new ? new_file_alignment(g_edit.kept_alignments, node->name.c_str())
                                  : alignment_class(node->offset);
  finish_step(r);
}

bool replace_data(const std::string& path, const std::string& host_path, bool from_folder) {
  EditNode* node = resolve(path);
  if (!node) return false;
  if (node->is_directory) return edit_fail_on_path(EDIT_ERR_WRONG_KIND, path_of(node));
  uint32_t length = 0;
  if (!measure_host_file(host_path, &length)) return false;
  EditStepRecord& r = add_step(EDIT_REPLACE, path_of(node));
  r.step.from_folder = from_folder;
  r.step.previous_offset = node->is_new ? 0 : node->offset;
  r.step.previous_length = node->is_new ? 0 : node->length;
  give_data(node, r, host_path, length);
  return true;
}

bool add_file(const std::string& path, const std::string& host_path, bool from_folder) {
  std::vector<std::string> names = split_path(path);
  if (names.empty()) return edit_fail_on_path(EDIT_ERR_WRONG_KIND, "/");
  // Every check before the tree changes: the folders that exist, the names
  // of those to make, the file's name and its data.
  EditNode* folder = g_edit.root;
  size_t existing = 0;
  while (existing + 1 < names.size()) {
    EditNode* child = find_child(folder, names[existing]);
    if (!child) break;
    if (!child->is_directory) return edit_fail_on_path(EDIT_ERR_WRONG_KIND, path_of(child));
    folder = child;
    ++existing;
  }
  // names[existing] is the first name to make: a missing folder, or the
  // file itself.
  if (!check_new_name(names[existing], folder, nullptr, joined_path(names, existing + 1))) return false;
  for (size_t i = existing + 1; i < names.size(); ++i) {
    if (const char* problem = builder_edit_name_problem(names[i].c_str()))
      return edit_fail_on_name(joined_path(names, i + 1), problem);
  }
  uint32_t length = 0;
  if (!measure_host_file(host_path, &length)) return false;

  EditStepRecord& r = add_step(EDIT_ADD, joined_path(names, names.size()));
  r.step.from_folder = from_folder;
  for (size_t i = existing; i + 1 < names.size(); ++i) {
    folder = new_node(names[i], true, folder);
    folder->is_new = true;
    ++r.step.folders_created;
  }
  EditNode* file = new_node(names.back(), false, folder);
  file->is_new = true;
  r.path = path_of(file);  // the folders as the image spells them
  give_data(file, r, host_path, length);
  return true;
}

uint32_t count_entries(const EditNode* node) {
  uint32_t count = 0;
  std::vector<const EditNode*> open = {node};
  while (!open.empty()) {
    const EditNode* n = open.back();
    open.pop_back();
    ++count;
    for (const EditNode* child : n->children) open.push_back(child);
  }
  return count;
}

bool remove_entry(const std::string& path) {
  EditNode* node = resolve(path);
  if (!node) return false;
  if (node == g_edit.root) return edit_fail_on_path(EDIT_ERR_WRONG_KIND, "/");
  EditStepRecord& r = add_step(EDIT_REMOVE, path_of(node));
  r.step.entries_removed = count_entries(node);
  finish_step(r);
  std::vector<EditNode*>& siblings = node->parent->children;
  for (size_t i = 0; i < siblings.size(); ++i) {
    if (siblings[i] == node) {
      siblings.erase(siblings.begin() + long(i));
      break;
    }
  }
  node->parent = nullptr;  // out of the tree; its steps' data is not written
  return true;
}

bool rename_entry(const std::string& path, const std::string& new_name) {
  EditNode* node = resolve(path);
  if (!node) return false;
  if (node == g_edit.root) return edit_fail_on_path(EDIT_ERR_WRONG_KIND, "/");
  std::string old_path = path_of(node);
  std::string parent_path = path_of(node->parent);
  std::string new_path = (parent_path == "/" ? "" : parent_path) + "/" + new_name;
  if (!check_new_name(new_name, node->parent, node, new_path)) return false;
  EditStepRecord& r = add_step(EDIT_RENAME, old_path);
  r.new_name = new_name;
  finish_step(r);
  node->name = new_name;
  return true;
}

bool set_header(const EditHeaderFields& f) {
  DiscHeader& h = g_edit.edited_header;
  if (f.set_game_code) std::memcpy(h.game_code, f.game_code, sizeof f.game_code);
  if (f.set_region) h.game_code[3] = f.region_letter;
  if (f.set_maker_code) std::memcpy(h.maker_code, f.maker_code, sizeof f.maker_code);
  if (f.set_game_name) std::memcpy(h.game_name, f.game_name, sizeof f.game_name);
  uint8_t* bytes = reinterpret_cast<uint8_t*>(&h);
  if (f.set_disc_number) bytes[DISC_NUMBER_OFFSET] = f.disc_number;
  if (f.set_revision) bytes[DISC_REVISION_OFFSET] = f.revision;
  g_edit.header_changed = std::memcmp(&g_edit.header, &h, sizeof h) != 0 || g_edit.header_changed;
  EditStepRecord& r = add_step(EDIT_HEADER, "/");
  r.step.header = f;
  finish_step(r);
  return true;
}

// What the tree and the queue were before an action, so that a refused one
// leaves them as they were.
struct Snapshot {
  std::vector<EditNode> values;
  size_t steps;
  DiscHeader header;
  bool header_changed;
};

Snapshot take_snapshot() {
  Snapshot s;
  s.values.reserve(g_edit.nodes.size());
  for (const auto& node : g_edit.nodes) s.values.push_back(*node);
  s.steps = g_edit.steps.size();
  s.header = g_edit.edited_header;
  s.header_changed = g_edit.header_changed;
  return s;
}

void restore(Snapshot& s) {
  g_edit.nodes.resize(s.values.size());
  for (size_t i = 0; i < s.values.size(); ++i) *g_edit.nodes[i] = std::move(s.values[i]);
  g_edit.steps.resize(s.steps);
  g_edit.edited_header = s.header;
  g_edit.header_changed = s.header_changed;
}

// Runs one action on an open image: accepted whole, or refused with the tree
// and queue as they were. Any action makes a new plan necessary.
template <class Action>
bool act(Action&& action) {
  return edit_guard([&] {
    if (!g_edit.root) return edit_fail(EDIT_ERR_NOT_READY);
    g_edit.planned = g_edit.have_plan = false;
    Snapshot before = take_snapshot();
    if (action()) {
      g_edit.last_error = BUILD_OK;
      return true;
    }
    const uint16_t code = g_edit.last_error;
    const std::string path = g_edit.error_path;
    const char* name_problem = g_edit.name_problem;
    restore(before);
    edit_fail_on_path(code, path);
    g_edit.name_problem = name_problem;
    return false;
  });
}

// The host files below folder, each with its in-image path, folders in the
// order Windows lists them.
bool list_host_files(const std::string& folder, std::vector<std::pair<std::string, std::string>>* files) {
  struct Open {
    std::string host, image;
  };
  std::vector<Open> open = {{folder, ""}};
  while (!open.empty()) {
    Open here = open.back();
    open.pop_back();
    std::vector<std::string> names;
    if (!list_folder_names(here.host.c_str(), &names)) return edit_fail_on_path(BUILD_ERR_ENUMERATE, here.host);
    // Folders wait on the stack in reverse, so they come out in order, after
    // this folder's files.
    std::vector<Open> folders;
    for (const std::string& name : names) {
      std::string host_path = here.host + host::PATH_SEPARATOR + name;
      std::string image_path = here.image + "/" + host::disc_name_from_host_name(name);
      switch (host::path_kind(host_path.c_str())) {
        case host::PathKind::Folder: folders.push_back({host_path, image_path}); break;
        case host::PathKind::File: files->push_back({image_path, host_path}); break;
        case host::PathKind::Other: return edit_fail_on_path(BUILD_ERR_NOT_REGULAR_FILE, host_path);
        case host::PathKind::Missing: return edit_fail_on_path(BUILD_ERR_OPEN_INPUT, host_path);
      }
    }
    for (size_t i = folders.size(); i-- > 0;) open.push_back(folders[i]);
  }
  return true;
}

}  // namespace

const char* builder_edit_name_problem(const char* name) {
  const std::string n = name;
  if (n.empty()) return "the name is empty";
  if (n == "." || n == "..") return "the name is \".\" or \"..\"";
  if (n.size() > host::MAX_HOST_NAME) return "the name is longer than 255 bytes";
  std::string utf8;
  if (!host::cp932_to_utf8(n, &utf8)) return "the name is not code page 932 (Shift-JIS)";
  // Separators and control characters, read as code page 932 so that no
  // trail byte counts.
  for (size_t i = 0; i < n.size(); ++i) {
    const unsigned char c = static_cast<unsigned char>(n[i]);
    if (host::is_cp932_lead_byte(c)) {
      ++i;
      continue;
    }
    if (c == '/' || c == '\\') return "the name holds a \"/\" or \"\\\"";
    if (c < 0x20 || c == 0x7F) return "the name holds a control character";
  }
  // The name must come back out as a file of its own: the reader's rule for
  // extraction on this host.
  if (!host::is_safe_host_name(host::host_name_from_disc_name(n).c_str()))
    return "the name is no file name this system takes";
  return nullptr;
}

bool builder_edit_open(const char* image_path) {
  return edit_guard([&] {
    if (!open_image(image_path)) {
      host::file_close(g_edit.image);
      g_edit.image = nullptr;
      g_edit.root = nullptr;
      g_edit.nodes.clear();
      return false;
    }
    g_edit.last_error = BUILD_OK;
    return true;
  });
}

bool builder_edit_replace(const char* image_path, const char* host_path) {
  return act([&] { return replace_data(image_path, host_path, false); });
}

bool builder_edit_add(const char* image_path, const char* host_path) {
  return act([&] { return add_file(image_path, host_path, false); });
}

bool builder_edit_remove(const char* image_path) {
  return act([&] { return remove_entry(image_path); });
}

bool builder_edit_rename(const char* image_path, const char* new_name) {
  return act([&] { return rename_entry(image_path, new_name); });
}

bool builder_edit_set_header(const EditHeaderFields* fields) {
  return act([&] { return set_header(*fields); });
}

bool builder_edit_from_folder(const char* host_folder) {
  return act([&] {
    if (!host::can_enter_directory(host_folder)) return edit_fail_on_path(BUILD_ERR_ENTER_BASE_DIRECTORY, host_folder);
    std::vector<std::pair<std::string, std::string>> files;
    if (!list_host_files(host_folder, &files)) return false;
    for (const auto& file : files) {
      EditNode* existing = resolve(file.first);
      bool ok = existing ? replace_data(file.first, file.second, true) : add_file(file.first, file.second, true);
      if (!ok) return false;
    }
    return true;
  });
}
