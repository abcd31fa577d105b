// UI test driver for Ombrel: starts Ombrel.exe on images trelvik-cli built and
// works it as a user would, by window and control id: the tree, the list and
// the status bar against the image's own file system table, double-clicks and
// Back/Forward/Up, the keys, Close and reopen, an image that fails to open or
// is dropped on the window, every extraction command with the real folder
// browser (the copied files compared with the source trees), the pop-up's
// target, the system-area messages, the properties dialog of each banner kind
// with its banner picture read back from a screenshot, the help message and
// the about box; the copy dialog watched while it copies an image of large
// files; and the edit menu's commands on a copy of an image (edit.gcm, with
// readonly.gcm, add_me.txt and replacement.bin beside it).
//
//   ombrel_ui_driver --ombrel EXE --work FOLDER [--exchange FOLDER] [--only NAME]
//   ombrel_ui_driver --ombrel EXE --work FOLDER --time-listing IMAGE...
//
// FOLDER holds what the test script prepared: the images (入れ子.gcm,
// sample.gcm, flat.gcm, euro.gcm, large.gcm, broken.gcm), the trees they
// were built from (base_nested, base_sample, base_flat, base_euro,
// base_large), apploader.img and main.dol; extractions go to FOLDER\out.
// With --exchange, screenshots are asked for through that folder
// (ui_driver.h); the helper there also leaves a PPM copy of each, from which
// the banner picture's and the progress bar's pixels are read.
// With --time-listing the driver runs no scenario: it times the listing of
// large folders in the images named (bench/listing_bench.sh).
// Exit status 0 when every check passed.
#include <windows.h>
#include <commctrl.h>

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

#include "disc/disc_format.h"
#include "explorer/resource.h"
#include "reader/reader.h"
#include "ui_driver.h"

using ui::check;
using ui::check_number;
using ui::check_text;
using ui::check_wide;
using ui::control_text;
using ui::cp932_to_utf8;
using ui::format;
using ui::note;
using ui::wait_until;

namespace {

// ---------------------------------------------------------------------------
// The program's texts
// ---------------------------------------------------------------------------

const char kMainCaption[] = "Ombrel";
const char kNoImage[] = "ISOは読み込まれていません";
const char kStatusCounts[] = "%d ﾌｧｲﾙ、%d ﾃﾞｨﾚｸﾄﾘ";
const char kCannotOpen[] = "ISOを開けません。理由:";
const char kError[] = "エラー";
const char kWarning[] = "警告";
const char kSuccess[] = "成功";
const char kSaved[] = "保存しました\n\n";
const char kCannotSave[] = "保存できません！";
const char kSelectSomething[] = "何か選択して下さい。";
const char kNoBanner[] = "バナーがありません。";
const char kCopyDone[] = "コピー完了";
const char kCopyFailed[] = "コピー失敗";
const char kFolderPrompt[] = "\nディレクトリの選択:";
const char kImageFilter[] = "GameCube ISO (*.gcm)";
const char kAllFiles[] = "すべてのファイル (*.*)";
const char* const kContainerFilters[] = {"圧縮・スパースイメージ (*.rvz;*.wia;*.gcz;*.ciso;*.wdf)", "RVZ (*.rvz)",
                                         "WIA (*.wia)", "GCZ (*.gcz)", "CISO (*.ciso)", "WDF (*.wdf)"};
const char kHelpCaption[] = ":)";
const char kHelpText[] = "まだ実装してません";
const char kAboutCaption[] = "Ombrelについて";
const char kAboutVersion[] = "version 1.06";
const char kProperties[] = "プロパティ";
const char kPropertyCounts[] = "(%d ﾃﾞｨﾚｸﾄﾘ、%d ﾌｧｲﾙ)";
const char kSingleRecordLanguage[] = "Japan/USA (NTSC)";

// The six languages; "Français" and "Español" are Windows-1252 texts.
const wchar_t* const kLanguages[] = {L"English", L"Deutsch", L"Fran\u00e7ais", L"Espa\u00f1ol", L"Italiano",
                                     L"Nerderland"};

// Tree images of bitmap 108 and list images.
constexpr int TREE_OPEN_FOLDER = 0, TREE_CLOSED_FOLDER = 1, TREE_DISC = 3;
constexpr int LIST_FOLDER = 0, LIST_DOCUMENT = 1;

// ---------------------------------------------------------------------------
// Inputs
// ---------------------------------------------------------------------------

struct Setup {
  std::string ombrel;
  std::string work;
  std::string exchange;
  std::string only;
  std::string drive;  // a drive ("Y:") whose root is a scratch folder, or empty
  std::string at(const std::string& name) const { return work + "\\" + name; }
  std::string out(const std::string& name) const { return work + "\\out\\" + name; }
};
Setup g_setup;

// What each image should show; the tree and the banner come from the files.
struct Disc {
  const char* file;
  const char* base;
  const char* product_code;
  const char* game_name;
  const char* maker;
  const char* video;
};

const Disc kNested = {"入れ子.gcm", "base_nested", "DOL-NST-JPN", "入れ子テスト ディスク", "Nintendo", "Japan/NTSC"};
const Disc kSample = {"sample.gcm", "base_sample", "DOL-SMP-USA", "Trelvik Sample Disc", "Capcom", "USA/NTSC"};
const Disc kFlat = {"flat.gcm", "base_flat", "DOL-FLT-EUR", "Flat", "Nintendo", "Europe/PAL"};
const Disc kEuro = {"euro.gcm", "base_euro", "DOL-EUR-EUR", "Euro Files Only", "Unknown 'ZZ'", "Europe/PAL"};
const char kBroken[] = "broken.gcm";

// ---------------------------------------------------------------------------
// The image's file system, read from its table (not through the reader)
// ---------------------------------------------------------------------------

struct Entry {
  std::string name;
  bool folder = false;
  uint32_t size = 0;
  std::vector<Entry> children;
};

struct Image {
  std::string path;
  std::vector<uint8_t> bytes;
  Entry root;
  int folders = 0, files = 0;  // root not counted
  uint32_t fst_offset = 0, fst_size = 0;
};

// Entries first..end-1 of the table are the children of one folder.
void read_children(const std::vector<uint8_t>& table, uint32_t count, const char* names, size_t names_size,
                   uint32_t first, uint32_t end, Entry* folder, Image* image) {
  for (uint32_t i = first; i < end && i < count;) {
    const uint8_t* e = &table[i * FST_ENTRY_SIZE];
    Entry entry;
    uint32_t name_offset = (uint32_t(e[1]) << 16) | (uint32_t(e[2]) << 8) | e[3];
    if (name_offset < names_size) entry.name = std::string(names + name_offset, strnlen(names + name_offset, names_size - name_offset));
    entry.folder = e[0] == FST_KIND_DIRECTORY;
    uint32_t third = read_be32(e + 8);
    if (entry.folder) {
      ++image->folders;
      uint32_t next = third > i ? third : i + 1;
      read_children(table, count, names, names_size, i + 1, next, &entry, image);
      i = next;
    } else {
      ++image->files;
      entry.size = third;
      ++i;
    }
    folder->children.push_back(entry);
  }
}

// The tree of an image whose header and table are in `bytes` (the table
// at fst_offset, which must be set).
bool read_table(const std::vector<uint8_t>& bytes, Image* image) {
  if (!check(uint64_t(image->fst_offset) + image->fst_size <= bytes.size() && image->fst_size >= FST_ENTRY_SIZE,
             "%s: table outside the image", image->path.c_str()))
    return false;
  std::vector<uint8_t> table(bytes.begin() + image->fst_offset, bytes.begin() + image->fst_offset + image->fst_size);
  uint32_t count = read_be32(&table[8]);
  if (!check(uint64_t(count) * FST_ENTRY_SIZE <= table.size(), "%s: bad entry count", image->path.c_str())) return false;
  const char* names = reinterpret_cast<const char*>(table.data()) + count * FST_ENTRY_SIZE;
  size_t names_size = table.size() - count * FST_ENTRY_SIZE;
  read_children(table, count, names, names_size, 1, count, &image->root, image);
  return true;
}

bool load_image(const std::string& path, Image* image) {
  image->path = path;
  if (!check(ui::read_whole_file(path, &image->bytes) && image->bytes.size() >= DISC_HEADER_SIZE,
             "cannot read the image %s", cp932_to_utf8(path).c_str()))
    return false;
  image->fst_offset = read_be32(&image->bytes[0x424]);
  image->fst_size = read_be32(&image->bytes[0x428]);
  return read_table(image->bytes, image);
}

// The tree only, for an image too large to hold: the header, then the bytes
// up to the table's end (the table lies before the file data).
bool load_image_table(const std::string& path, Image* image) {
  image->path = path;
  FILE* f = std::fopen(path.c_str(), "rb");
  if (!check(f != nullptr, "cannot read the image %s", cp932_to_utf8(path).c_str())) return false;
  std::vector<uint8_t> bytes(DISC_HEADER_SIZE);
  bool read = std::fread(bytes.data(), 1, bytes.size(), f) == bytes.size();
  if (read) {
    image->fst_offset = read_be32(&bytes[0x424]);
    image->fst_size = read_be32(&bytes[0x428]);
    size_t end = size_t(image->fst_offset) + image->fst_size;
    if (end > bytes.size() && end < (64u << 20)) {
      size_t have = bytes.size();
      bytes.resize(end);
      read = std::fread(bytes.data() + have, 1, end - have, f) == end - have;
    }
  }
  std::fclose(f);
  return check(read, "cannot read the header and table of %s", cp932_to_utf8(path).c_str()) &&
         read_table(bytes, image);
}

const Entry* find_entry(const Entry& folder, const std::string& name) {
  for (const Entry& e : folder.children)
    if (e.name == name) return &e;
  return nullptr;
}

// The folder at an in-image path such as "/a/b" ("/" is the root).
const Entry* entry_at(const Image& image, const std::string& path) {
  const Entry* at = &image.root;
  size_t start = 1;
  while (at && start < path.size()) {
    size_t slash = path.find('/', start);
    if (slash == std::string::npos) slash = path.size();
    at = find_entry(*at, path.substr(start, slash - start));
    start = slash + 1;
  }
  return at;
}

// Host path of the last file an extraction of `folder` into `destination`
// writes (table order is the order of writing); empty when it has none.
std::string last_file(const Entry& folder, const std::string& destination) {
  std::string last;
  for (const Entry& e : folder.children) {
    std::string here = destination + "\\" + e.name;
    if (e.folder) {
      std::string inner = last_file(e, here);
      if (!inner.empty()) last = inner;
    } else {
      last = here;
    }
  }
  return last;
}

uint32_t last_file_size(const Entry& folder, bool* found) {
  uint32_t size = 0;
  for (const Entry& e : folder.children) {
    if (e.folder) {
      bool inner = false;
      uint32_t s = last_file_size(e, &inner);
      if (inner) size = s, *found = true;
    } else {
      size = e.size;
      *found = true;
    }
  }
  return size;
}

// ---------------------------------------------------------------------------
// Banner files, read from the source trees
// ---------------------------------------------------------------------------

struct BannerFields {
  std::string description, short_name, long_name, short_maker, long_maker;
};

struct Banner {
  bool present = false;
  bool six_languages = false;
  std::vector<uint8_t> bytes;
  BannerFields record(int language) const {
    BannerFields f;
    size_t base = BANNER_TEXT_OFFSET + (six_languages ? size_t(language) * BANNER_RECORD_SIZE : 0);
    auto field = [&](uint32_t offset, uint32_t width) {
      const char* p = reinterpret_cast<const char*>(&bytes[base + offset]);
      return std::string(p, strnlen(p, width));
    };
    f.short_name = field(BANNER_SHORT_NAME_OFFSET, BANNER_SHORT_NAME_SIZE);
    f.short_maker = field(BANNER_SHORT_MAKER_OFFSET, BANNER_SHORT_MAKER_SIZE);
    f.long_name = field(BANNER_LONG_NAME_OFFSET, BANNER_LONG_NAME_SIZE);
    f.long_maker = field(BANNER_LONG_MAKER_OFFSET, BANNER_LONG_MAKER_SIZE);
    f.description = field(BANNER_DESCRIPTION_OFFSET, BANNER_DESCRIPTION_SIZE);
    return f;
  }
  // Screen colour of picture pixel (x, y).
  BannerRgb pixel(int x, int y) const {
    for (int i = 0; i < BANNER_PIXEL_COUNT; ++i) {
      int px, py;
      banner_pixel_position(i, &px, &py);
      if (px == x && py == y) return banner_pixel_rgb(read_be16(&bytes[BANNER_PICTURE_OFFSET + 2 * i]));
    }
    return {0, 0, 0};
  }
};

Banner load_banner(const Disc& disc) {
  Banner banner;
  std::string path = g_setup.at(std::string(disc.base) + "\\opening.bnr");
  if (!ui::file_exists(path)) return banner;
  banner.present = ui::read_whole_file(path, &banner.bytes) && banner.bytes.size() >= BANNER_TEXT_OFFSET + BANNER_RECORD_SIZE;
  banner.six_languages = banner.bytes.size() != BANNER_SINGLE_RECORD_SIZE;
  if (banner.six_languages && banner.bytes.size() < BANNER_SIX_LANGUAGE_SIZE) banner.present = false;
  return banner;
}

// ---------------------------------------------------------------------------
// Waiting
// ---------------------------------------------------------------------------

// Time for a posted action that should change nothing to have been handled.
void let_it_act(HWND window) {
  Sleep(300);
  DWORD_PTR result = 0;
  SendMessageTimeoutW(window, WM_NULL, 0, 0, SMTO_NORMAL, 2000, &result);
  Sleep(100);
}

// ---------------------------------------------------------------------------
// One run of Ombrel
// ---------------------------------------------------------------------------

struct ViewState {
  std::string path, counts;
  HTREEITEM selected = nullptr;
  std::vector<std::string> rows;
};

class Ombrel {
 public:
  ~Ombrel() {
    if (ui::is_running(process_) && main_) PostMessageW(main_, WM_COMMAND, IDM_QUIT, 0);
    DWORD code = 0;
    ui::wait_for_exit(process_, 5000, &code);
    ui::end_process(process_);
  }

  // Starts the program with the command line's image part as given ("" for
  // the quoted program path and a blank only).
  bool launch(const std::string& image_argument) {
    std::string line = "\"" + g_setup.ombrel + "\" " + image_argument;
    note("start Ombrel %s", cp932_to_utf8(image_argument).c_str());
    return ui::start_process(line, g_setup.work, &process_);
  }

  bool start(const std::string& image_argument) { return launch(image_argument) && find_main(); }

  bool find_main() {
    ui::WindowMatch match;
    match.caption = kMainCaption;
    match.control_id = IDC_LIST;
    main_ = ui::wait_for_window(pid(), match, ui::DEFAULT_TIMEOUT_MS, "Ombrel main window");
    if (!main_) return false;
    tree_ = ui::control(main_, IDC_TREE);
    if (ui::class_of(tree_) != L"SysTreeView32") tree_ = ui::child_of_class(main_, L"SysTreeView32");
    list_ = ui::control(main_, IDC_LIST);
    status_ = ui::control(main_, IDC_STATUS_BAR);
    toolbar_ = ui::child_of_class(main_, L"ToolbarWindow32");
    check(tree_ != nullptr, "main window has no tree view");
    check(ui::class_of(list_) == L"SysListView32", "control 1001 is a list view");
    check(ui::class_of(status_) == L"msctls_statusbar32", "control 10000 is a status bar");
    check(toolbar_ != nullptr && GetDlgCtrlID(toolbar_) == IDC_TOOLBAR, "the toolbar has id 1000");
    return tree_ && list_ && status_;
  }

  DWORD pid() const { return process_.id; }
  HANDLE handle() const { return process_.handle; }
  HWND main() const { return main_; }
  HWND tree() const { return tree_; }
  HWND list() const { return list_; }
  HWND toolbar() const { return toolbar_; }
  HWND status_bar() const { return status_; }

  void command(int id) { PostMessageW(main_, WM_COMMAND, MAKEWPARAM(id, 0), 0); }
  // A toolbar button's command as the toolbar sends it (from its window).
  void toolbar_command(int id) { PostMessageW(main_, WM_COMMAND, MAKEWPARAM(id, 0), LPARAM(toolbar_)); }

  std::string status(int part) const { return ui::status_text(process_.handle, status_, part); }
  HTREEITEM selected() const {
    return reinterpret_cast<HTREEITEM>(SendMessageW(tree_, TVM_GETNEXTITEM, TVGN_CARET, 0));
  }
  HTREEITEM root_item() const {
    return reinterpret_cast<HTREEITEM>(SendMessageW(tree_, TVM_GETNEXTITEM, TVGN_ROOT, 0));
  }
  std::vector<ui::ListRow> rows() const { return ui::list_view_rows(process_.handle, list_); }
  std::vector<std::string> row_names() const {
    std::vector<std::string> names;
    for (const ui::ListRow& row : rows()) names.push_back(row.text);
    return names;
  }
  ViewState state() const { return ViewState{status(0), status(1), selected(), row_names()}; }

  // The window that has the keyboard focus in Ombrel's thread.
  HWND focus() const { return ui::focus_of_thread(main_); }

  int row_index(const std::string& name) const {
    std::vector<std::string> names = row_names();
    for (size_t i = 0; i < names.size(); ++i)
      if (names[i] == name) return int(i);
    return -1;
  }

  // Clicks the row, which focuses the list and the row.
  bool click_row(const std::string& name) {
    int index = row_index(name);
    RECT rect;
    if (!check(index >= 0 && ui::list_view_item_rect(handle(), list_, index, &rect), "no list row \"%s\"",
               cp932_to_utf8(name).c_str()))
      return false;
    ui::post_click(list_, ui::centre_of(rect));
    return check(wait_until([&] { return focus() == list_ && focused_row() == index; }),
                 "clicking row \"%s\" did not focus it", cp932_to_utf8(name).c_str());
  }

  // Double-clicks the row as the mouse does: the row becomes the focused
  // one, then the list tells its window about the double-click.
  bool double_click_row(const std::string& name) {
    int index = row_index(name);
    RECT rect;
    if (!check(index >= 0 && ui::list_view_item_rect(handle(), list_, index, &rect), "no list row \"%s\"",
               cp932_to_utf8(name).c_str()))
      return false;
    ui::list_view_set_state(handle(), list_, index, LVIS_FOCUSED | LVIS_SELECTED, LVIS_FOCUSED | LVIS_SELECTED);
    ui::post_double_click(list_, ui::centre_of(rect));
    return true;
  }

  int focused_row() const { return int(SendMessageW(list_, LVM_GETNEXTITEM, WPARAM(-1), LVNI_FOCUSED)); }

  // Clicks a tree item, which focuses the tree and selects the item.
  bool click_tree_item(HTREEITEM item) {
    RECT rect;
    if (!check(ui::tree_item_rect(handle(), tree_, item, &rect), "tree item has no rectangle")) return false;
    ui::post_click(tree_, ui::centre_of(rect));
    return check(wait_until([&] { return focus() == tree_ && selected() == item; }), "clicking a tree item did not select it");
  }

  bool toolbar_click(int index) {
    RECT rect;
    if (!check(toolbar_ && ui::toolbar_item_rect(handle(), toolbar_, index, &rect), "toolbar button %d missing", index))
      return false;
    ui::post_click(toolbar_, ui::centre_of(rect));
    return true;
  }

  // The tree item at an in-image path, by the items' texts.
  HTREEITEM item_at(const std::string& path) const {
    HTREEITEM item = root_item();
    size_t start = 1;
    while (item && start < path.size()) {
      size_t slash = path.find('/', start);
      if (slash == std::string::npos) slash = path.size();
      std::string name = path.substr(start, slash - start);
      HTREEITEM child = reinterpret_cast<HTREEITEM>(SendMessageW(tree_, TVM_GETNEXTITEM, TVGN_CHILD, LPARAM(item)));
      while (child && ui::tree_item_text(handle(), tree_, child) != name)
        child = reinterpret_cast<HTREEITEM>(SendMessageW(tree_, TVM_GETNEXTITEM, TVGN_NEXT, LPARAM(child)));
      item = child;
      start = slash + 1;
    }
    return item;
  }

  bool wait_exit(DWORD* code) { return ui::wait_for_exit(process_, ui::DEFAULT_TIMEOUT_MS, code); }

  bool quit() {
    command(IDM_QUIT);
    DWORD code = ~0u;
    bool ended = ui::wait_for_exit(process_, ui::DEFAULT_TIMEOUT_MS, &code);
    check(ended, "Ombrel did not end after Quit");
    if (ended) check_number(code, 0, "exit status after Quit");
    return ended;
  }

 private:
  ui::Process process_;
  HWND main_ = nullptr, tree_ = nullptr, list_ = nullptr, status_ = nullptr, toolbar_ = nullptr;
};

std::string quoted(const std::string& path) { return "\"" + path + "\""; }

// ---------------------------------------------------------------------------
// Checks of the main window
// ---------------------------------------------------------------------------

std::vector<std::string> child_names(const Entry& folder, bool folders_only) {
  std::vector<std::string> names;
  for (const Entry& e : folder.children)
    if (!folders_only || e.folder) names.push_back(e.name);
  return names;
}

std::string joined(const std::vector<std::string>& names) {
  std::string text;
  for (const std::string& n : names) text += (text.empty() ? "" : " | ") + n;
  return text;
}

// The tree below `item` holds exactly the folders of `folder`, in order.
void check_tree_below(Ombrel& o, HTREEITEM item, const Entry& folder, const std::string& path) {
  std::vector<HTREEITEM> items = ui::tree_child_items(o.tree(), item);
  std::vector<std::string> texts;
  for (HTREEITEM child : items) texts.push_back(ui::tree_item_text(o.handle(), o.tree(), child));
  if (!check_text(joined(texts), joined(child_names(folder, true)), format("tree folders under %s", path.c_str()).c_str()))
    return;
  size_t i = 0;
  for (const Entry& e : folder.children) {
    if (!e.folder) continue;
    ui::TreeItemInfo info = ui::tree_item_info(o.handle(), o.tree(), items[i++]);
    std::string here = (path == "/" ? "/" : path + "/") + e.name;
    check(info.image == TREE_CLOSED_FOLDER && info.selected_image == TREE_OPEN_FOLDER,
          "tree item %s: images %d/%d, expected closed folder 1 / open folder 0", cp932_to_utf8(here).c_str(),
          info.image, info.selected_image);
    check_tree_below(o, items[i - 1], e, here);
  }
}

void check_tree(Ombrel& o, const Image& image, const Disc& disc) {
  HTREEITEM root = o.root_item();
  if (!check(root != nullptr, "the tree has no root item")) return;
  check(SendMessageW(o.tree(), TVM_GETNEXTITEM, TVGN_NEXT, LPARAM(root)) == 0, "the root is the only top-level item");
  ui::TreeItemInfo info = ui::tree_item_info(o.handle(), o.tree(), root);
  check_text(info.text, disc.product_code, "tree root label");
  check(info.image == TREE_DISC && info.selected_image == TREE_DISC, "tree root images %d/%d, expected 3/3", info.image,
        info.selected_image);
  // A root without folders has nothing to expand.
  if (!child_names(image.root, true).empty()) check((info.state & TVIS_EXPANDED) != 0, "the root item is expanded");
  check_tree_below(o, root, image.root, "/");
}

// The list and the status bar show the folder at path; waits for the status.
void check_listing(Ombrel& o, const Image& image, const std::string& path, const char* when) {
  bool shown = wait_until([&] { return o.status(0) == path; });
  check_text(o.status(0), path, format("status part 0 %s", when).c_str());
  if (!shown) return;
  const Entry* folder = entry_at(image, path);
  if (!check(folder != nullptr, "%s is no folder of the image", path.c_str())) return;
  int files = 0, folders = 0;
  for (const Entry& e : folder->children) (e.folder ? folders : files)++;
  check_text(o.status(1), format(kStatusCounts, files, folders), format("status part 1 %s", when).c_str());
  std::vector<ui::ListRow> rows = o.rows();
  std::vector<std::string> names;
  for (const ui::ListRow& row : rows) names.push_back(row.text);
  if (!check_text(joined(names), joined(child_names(*folder, false)), format("list rows %s", when).c_str())) return;
  for (size_t i = 0; i < rows.size(); ++i) {
    int expected = folder->children[i].folder ? LIST_FOLDER : LIST_DOCUMENT;
    check(rows[i].image == expected, "list row %s %s: image %d, expected %d", cp932_to_utf8(rows[i].text).c_str(),
          when, rows[i].image, expected);
  }
}

// Selected tree item by path ("" for no selection).
void check_selection(Ombrel& o, const std::string& path, const char* when) {
  HTREEITEM expected = path.empty() ? nullptr : o.item_at(path);
  check(path.empty() || expected != nullptr, "no tree item for %s", path.c_str());
  bool ok = wait_until([&] { return o.selected() == expected; }, 3000);
  check(ok, "tree selection %s: expected %s", when, path.empty() ? "none" : cp932_to_utf8(path).c_str());
}

// The tree item at path is selected and its folder listed.
void check_at(Ombrel& o, const Image& image, const std::string& path, const char* when) {
  check_listing(o, image, path, when);
  check_selection(o, path, when);
}

void check_unchanged(Ombrel& o, const ViewState& before, const char* what) {
  let_it_act(o.main());
  ViewState now = o.state();
  check(now.selected == before.selected, "%s changed the tree selection", what);
  check_text(now.path, before.path, format("%s: status part 0 unchanged", what).c_str());
  check_text(now.counts, before.counts, format("%s: status part 1 unchanged", what).c_str());
  check_text(joined(now.rows), joined(before.rows), format("%s: list unchanged", what).c_str());
}

void check_no_image(Ombrel& o, const char* when) {
  wait_until([&] { return o.status(0) == kNoImage; });
  check_text(o.status(0), kNoImage, format("status part 0 %s", when).c_str());
  check_text(o.status(1), "", format("status part 1 %s", when).c_str());
  check(o.root_item() == nullptr, "tree empty %s", when);
  check_number(SendMessageW(o.list(), LVM_GETITEMCOUNT, 0, 0), 0, format("list rows %s", when).c_str());
  check(!IsWindowEnabled(o.tree()) && !IsWindowEnabled(o.list()), "tree and list disabled %s", when);
}

void check_opened(Ombrel& o, const Image& image, const Disc& disc, const char* when) {
  check_listing(o, image, "/", when);
  check_selection(o, "/", when);
  check(IsWindowEnabled(o.tree()) && IsWindowEnabled(o.list()), "tree and list enabled %s", when);
  check_tree(o, image, disc);
}

// Nothing visible comes of the command: no message box, no dialog.
void check_command_shows_nothing(Ombrel& o, int id, const char* what, bool from_toolbar = false) {
  size_t before = ui::visible_windows(o.pid()).size();
  if (from_toolbar) {
    o.toolbar_command(id);
  } else {
    o.command(id);
  }
  let_it_act(o.main());
  bool quiet = ui::no_message_box_within(o.pid(), 400) && ui::visible_windows(o.pid()).size() == before;
  if (!check(quiet, "command %d (%s) showed something with no image", id, what)) {
    ui::describe_windows(o.pid());
    for (HWND w : ui::visible_windows(o.pid()))
      if (w != o.main()) PostMessageW(w, WM_COMMAND, IDOK, 0), PostMessageW(w, WM_COMMAND, IDCANCEL, 0);
  }
}

// Layout in client pixels: tree at (2, 28), 189 wide; list from x 194 to 2
// pixels before the right edge; both end 21 pixels above the bottom; the
// status bar's first part ends 175 pixels before the right edge.
void check_layout(Ombrel& o, const char* when) {
  RECT client, tree_rect, list_rect;
  GetClientRect(o.main(), &client);
  GetWindowRect(o.tree(), &tree_rect);
  GetWindowRect(o.list(), &list_rect);
  MapWindowPoints(nullptr, o.main(), reinterpret_cast<POINT*>(&tree_rect), 2);
  MapWindowPoints(nullptr, o.main(), reinterpret_cast<POINT*>(&list_rect), 2);
  check(tree_rect.left == 2 && tree_rect.top == 28 && tree_rect.right - tree_rect.left == 189 &&
            tree_rect.bottom - tree_rect.top == client.bottom - 49,
        "tree at (2, 28), 189 x H-49 %s: got (%ld, %ld) %ld x %ld, H %ld", when, tree_rect.left, tree_rect.top,
        tree_rect.right - tree_rect.left, tree_rect.bottom - tree_rect.top, client.bottom);
  check(list_rect.left == 194 && list_rect.top == 28 && list_rect.right - list_rect.left == client.right - 196 &&
            list_rect.bottom - list_rect.top == client.bottom - 49,
        "list at (194, 28), W-196 x H-49 %s: got (%ld, %ld) %ld x %ld, client %ld x %ld", when, list_rect.left,
        list_rect.top, list_rect.right - list_rect.left, list_rect.bottom - list_rect.top, client.right, client.bottom);
  std::vector<int> parts = ui::status_parts(o.handle(), o.status_bar());
  check(parts.size() == 2 && parts[0] == client.right - 175 && (parts[1] == -1 || parts[1] == client.right),
        "status bar parts %s: %zu parts, first ending at %d (client width %ld)", when, parts.size(),
        parts.empty() ? 0 : parts[0], client.right);
  RECT status_rect;
  GetWindowRect(o.status_bar(), &status_rect);
  MapWindowPoints(nullptr, o.main(), reinterpret_cast<POINT*>(&status_rect), 2);
  check(status_rect.bottom == client.bottom && status_rect.left == 0 && status_rect.right == client.right,
        "status bar along the bottom edge %s", when);
}

bool load(const Disc& disc, Image* image) { return load_image(g_setup.at(disc.file), image); }

// ---------------------------------------------------------------------------
// Folder browser, copy dialog, messages
// ---------------------------------------------------------------------------

// Answers the folder browser with the folder (created first).
bool choose_folder(Ombrel& o, const std::string& folder) {
  ui::make_folder(folder);
  HWND browser = ui::wait_for_folder_browser(o.pid(), ui::DEFAULT_TIMEOUT_MS);
  if (!browser) return false;
  check_text(control_text(browser, ui::FOLDER_PROMPT_ID), kFolderPrompt, "folder browser prompt");
  return ui::folder_browser_accept(o.handle(), browser, folder);
}

bool cancel_folder(Ombrel& o) {
  HWND browser = ui::wait_for_folder_browser(o.pid(), ui::DEFAULT_TIMEOUT_MS);
  return browser && ui::dialog_cancel(browser);
}

HWND find_copy_dialog(Ombrel& o) {
  ui::WindowMatch match;
  match.control_id = IDC_COPY_BAR;
  return ui::match_window(o.pid(), match);
}

// Waits for the copy dialog's end state and checks it; closes it with OK.
void finish_copy(Ombrel& o, const std::string& last_path, bool last_has_bytes, const char* what,
                 const char* shot = nullptr, bool close_instead_of_ok = false) {
  HWND dialog = nullptr;
  bool finished = wait_until([&] {
    dialog = find_copy_dialog(o);
    return dialog && ui::window_text(dialog) == kCopyDone;
  }, 60000);
  if (!check(finished, "%s: no finished copy dialog (\"%s\")", what, kCopyDone)) {
    ui::describe_windows(o.pid());
    if (dialog) PostMessageW(dialog, WM_CLOSE, 0, 0);
    return;
  }
  check(ui::is_enabled(dialog, IDOK), "%s: OK enabled at the end", what);
  check(GetWindow(dialog, GW_OWNER) == o.main(), "%s: the copy dialog is owned by the main window", what);
  check(!(ui::window_style(dialog) & WS_SYSMENU), "%s: the copy dialog has no system menu", what);
  check_text(control_text(dialog, IDC_COPY_TEXT), last_path, format("%s: copy dialog text line", what).c_str());
  HWND animation = ui::control(dialog, IDC_COPY_ANIMATION);
  check(animation != nullptr && ui::class_of(animation) == L"SysAnimate32", "%s: animation control 100001", what);
  check(animation && !IsWindowVisible(animation), "%s: animation hidden at the end", what);
  if (last_has_bytes)
    check_number(SendMessageW(ui::control(dialog, IDC_COPY_BAR), PBM_GETPOS, 0, 0), 100,
                 format("%s: progress bar at the end", what).c_str());
  if (shot) ui::screenshot(shot, {dialog});
  ui::press_escape(dialog);
  let_it_act(dialog);
  check(IsWindow(dialog) && IsWindowVisible(dialog), "%s: Escape closed the copy dialog", what);
  if (close_instead_of_ok) {
    PostMessageW(dialog, WM_CLOSE, 0, 0);
    check(ui::wait_until_gone(dialog, ui::DEFAULT_TIMEOUT_MS), "%s: copy dialog stayed after WM_CLOSE", what);
  } else if (ui::click(dialog, IDOK)) {
    check(ui::wait_until_gone(dialog, ui::DEFAULT_TIMEOUT_MS), "%s: copy dialog stayed after OK", what);
  }
}

// A Selection or whole-image extraction into out\<name>: the browser answered,
// the copy dialog's end state checked; `written` holds what is copied.
// Returns the destination folder, or "" when the browser did not work.
std::string extract_into(Ombrel& o, const std::string& name, const Entry& written, const char* what,
                         const char* shot = nullptr) {
  std::string folder = g_setup.out(name);
  if (!choose_folder(o, folder)) return std::string();
  bool has_file = false;
  uint32_t size = last_file_size(written, &has_file);
  finish_copy(o, last_file(written, folder), has_file && size > 0, what, shot);
  return folder;
}

// A folder holding just `folder` (for extractions that write it by name).
Entry holding(const Entry& folder) {
  Entry wrapper;
  wrapper.folder = true;
  wrapper.children.push_back(folder);
  return wrapper;
}

// The pop-up menu once it shows, or null.
HWND wait_for_popup() {
  HWND menu = nullptr;
  bool shown = wait_until([&] {
    menu = FindWindowW(L"#32768", nullptr);
    return menu && IsWindowVisible(menu);
  }, 5000);
  return check(shown, "no pop-up menu after a right-click") ? menu : nullptr;
}

// Waits for the right-click pop-up and chooses its one item, "展開(&E)...".
bool choose_from_popup(Ombrel& o, const char* shot) {
  HWND menu = wait_for_popup();
  if (!menu) return false;
  if (*shot) ui::screenshot(shot, {o.main()});
  // The menu loop reads keys from the thread's queue.
  PostMessageW(menu, WM_KEYDOWN, VK_DOWN, 0);
  PostMessageW(menu, WM_KEYUP, VK_DOWN, 0);
  PostMessageW(menu, WM_KEYDOWN, VK_RETURN, 0);
  PostMessageW(menu, WM_KEYUP, VK_RETURN, 0);
  return check(ui::wait_until_gone(menu, ui::DEFAULT_TIMEOUT_MS), "the pop-up menu stayed open");
}

// ---------------------------------------------------------------------------
// Scenarios
// ---------------------------------------------------------------------------

// The tree, list and status of an image with nested and Japanese folders;
// double-clicks, Back, Forward, Up and their history; Close; commands with
// no image; Open through the open dialog; help and about.
void scenario_browse() {
  Image image;
  if (!load(kNested, &image)) return;
  Ombrel o;
  if (!o.start(quoted(g_setup.at(kNested.file)))) return;
  check_text(ui::window_text(o.main()), kMainCaption, "main window caption");
  LONG_PTR tree_style = ui::window_style(o.tree()), list_style = ui::window_style(o.list());
  const LONG_PTR tree_wanted = TVS_HASBUTTONS | TVS_HASLINES | TVS_LINESATROOT | TVS_SHOWSELALWAYS;
  check((tree_style & tree_wanted) == tree_wanted, "tree styles: buttons, lines, lines at the root, selection always shown");
  check((list_style & LVS_TYPEMASK) == LVS_ICON && (list_style & LVS_SINGLESEL) && (list_style & LVS_AUTOARRANGE),
        "list styles: large icons, single selection, automatic arrangement");
  LONG_PTR main_style = ui::window_style(o.main());
  check((main_style & WS_THICKFRAME) && (main_style & WS_MINIMIZEBOX) && (main_style & WS_MAXIMIZEBOX),
        "main window resizable with minimise and maximise boxes");
  check_layout(o, "at the start");
  check_opened(o, image, kNested, "after the start");

  // Right after an open, Back, Forward and Up do nothing.
  ViewState start = o.state();
  o.toolbar_command(ID_TOOLBAR_BACK);
  check_unchanged(o, start, "Back right after the open");
  o.toolbar_command(ID_TOOLBAR_FORWARD);
  check_unchanged(o, start, "Forward right after the open");
  o.toolbar_command(ID_TOOLBAR_UP);
  check_unchanged(o, start, "Up right after the open");
  // A double-click beside the rows, with no row focused, goes nowhere.
  check_number(o.focused_row(), -1, "focused row right after the open");
  RECT client;
  GetClientRect(o.list(), &client);
  ui::post_double_click(o.list(), POINT{client.right - 4, client.bottom - 4});
  check_unchanged(o, start, "double-clicking beside the rows");

  // Into データ (2 files, 1 folder), then a file row, then 深い.
  o.double_click_row("データ");
  check_at(o, image, "/データ", "after double-clicking データ");
  check(o.status(1) == format(kStatusCounts, 2, 1), "データ holds 2 files and 1 folder");
  ViewState in_data = o.state();
  o.double_click_row("表.bin");
  check_unchanged(o, in_data, "double-clicking a file row");
  o.double_click_row("深い");
  check_at(o, image, "/データ/深い", "after double-clicking 深い");
  check((ui::tree_item_info(o.handle(), o.tree(), o.item_at("/データ")).state & TVIS_EXPANDED) != 0,
        "データ expanded on the way in");

  o.toolbar_click(0);  // Back through the toolbar button
  check_at(o, image, "/データ", "after Back");
  o.toolbar_command(ID_TOOLBAR_BACK);  // entry 0: no selection, the root listed
  check_listing(o, image, "/", "after Back to the first entry");
  check_selection(o, "", "after Back to the first entry");
  ViewState first = o.state();
  o.toolbar_command(ID_TOOLBAR_BACK);
  check_unchanged(o, first, "Back at the first entry");
  o.toolbar_click(1);  // Forward
  check_listing(o, image, "/データ", "after Forward");
  o.toolbar_command(ID_TOOLBAR_FORWARD);
  check_at(o, image, "/データ/深い", "after Forward twice");
  ViewState last = o.state();
  o.toolbar_command(ID_TOOLBAR_FORWARD);
  check_unchanged(o, last, "Forward at the last entry");
  o.toolbar_click(3);  // Up
  check_at(o, image, "/データ", "after Up");
  o.toolbar_command(ID_TOOLBAR_UP);
  check_at(o, image, "/", "after Up twice");
  ViewState top = o.state();
  o.toolbar_command(ID_TOOLBAR_UP);
  check_unchanged(o, top, "Up at the root");
  // Up recorded both steps: Back returns to データ.
  o.toolbar_command(ID_TOOLBAR_BACK);
  check_listing(o, image, "/データ", "after Back behind two Ups");

  // A folder three levels down, selected by clicks in the list.
  o.toolbar_command(ID_TOOLBAR_UP);
  check_listing(o, image, "/", "back at the root");
  o.double_click_row("alpha");
  check_listing(o, image, "/alpha", "after double-clicking alpha");
  o.double_click_row("beta");
  check_listing(o, image, "/alpha/beta", "after double-clicking beta");
  o.double_click_row("gamma");
  check_listing(o, image, "/alpha/beta/gamma", "after double-clicking gamma");
  SendMessageW(o.tree(), TVM_EXPAND, TVE_EXPAND, LPARAM(o.item_at("/データ")));
  // Resized, the views follow the window's edges.
  RECT window;
  GetWindowRect(o.main(), &window);
  SetWindowPos(o.main(), nullptr, 0, 0, 720, 420, SWP_NOMOVE | SWP_NOZORDER | SWP_NOACTIVATE);
  let_it_act(o.main());
  check_layout(o, "after a resize");
  // A folder chosen in the tree itself, for the picture.
  if (o.click_tree_item(o.item_at("/データ"))) check_listing(o, image, "/データ", "after clicking データ in the tree");
  ui::screenshot("main", {o.main()});
  // Sized down far, the window keeps both views in sight.
  SetWindowPos(o.main(), nullptr, 0, 0, 150, 120, SWP_NOMOVE | SWP_NOZORDER | SWP_NOACTIVATE);
  let_it_act(o.main());
  check_layout(o, "at the smallest size");
  ui::screenshot("main-smallest", {o.main()});
  RECT list_rect;
  GetWindowRect(o.list(), &list_rect);
  check(list_rect.right - list_rect.left >= 100 && list_rect.bottom - list_rect.top >= 80, "the list shrank to %ld x %ld",
        list_rect.right - list_rect.left, list_rect.bottom - list_rect.top);
  SetWindowPos(o.main(), nullptr, 0, 0, window.right - window.left, window.bottom - window.top,
               SWP_NOMOVE | SWP_NOZORDER | SWP_NOACTIVATE);

  // Close, and what does nothing without an image.
  o.command(IDM_CLOSE);
  check_no_image(o, "after Close");
  o.toolbar_command(ID_TOOLBAR_BACK);
  o.toolbar_command(ID_TOOLBAR_FORWARD);
  o.toolbar_command(ID_TOOLBAR_UP);
  let_it_act(o.main());
  check_no_image(o, "after Back, Forward and Up with no image");
  const struct {
    int id;
    const char* what;
  } idle[] = {{IDM_EXTRACT_SELECTION, "extract selection"}, {IDM_EXTRACT_WHOLE_IMAGE, "extract everything"},
              {IDM_EXTRACT_BOOT_DATA, "boot information"},   {IDM_EXTRACT_FST, "file structure"},
              {IDM_EXTRACT_APPLOADER, "game loader"},        {IDM_EXTRACT_MAIN_PROGRAM, "main DOL"},
              {IDM_PROPERTIES, "properties"},                {ID_TOOLBAR_EXTRACT_SELECTION, "toolbar extract"}};
  for (const auto& c : idle) check_command_shows_nothing(o, c.id, c.what, c.id == ID_TOOLBAR_EXTRACT_SELECTION);

  // Reopen through the open dialog: another image, then the same one again.
  Image sample;
  if (!load(kSample, &sample)) return;
  o.command(IDM_OPEN);
  HWND dialog = ui::wait_for_file_dialog(o.pid(), ui::DEFAULT_TIMEOUT_MS);
  if (!dialog) return;
  std::vector<std::string> filters = ui::file_dialog_filters(dialog);
  std::vector<std::string> expected_filters = {kImageFilter, kAllFiles};
  expected_filters.insert(expected_filters.end(), std::begin(kContainerFilters), std::end(kContainerFilters));
  check_text(joined(filters), joined(expected_filters), "open dialog filters");
  // A picture of the file type list dropped down (cmb1), to look at.
  if (HWND types = GetDlgItem(dialog, 0x470)) {
    SendMessageW(types, CB_SHOWDROPDOWN, TRUE, 0);
    // The dropped list is a top-level "ComboLBox" window of the dialog's thread.
    std::vector<HWND> shown = {dialog};
    HWND list = nullptr;
    while ((list = FindWindowExW(nullptr, list, L"ComboLBox", nullptr)) != nullptr) {
      if (IsWindowVisible(list) &&
          GetWindowThreadProcessId(list, nullptr) == GetWindowThreadProcessId(dialog, nullptr)) {
        shown.push_back(list);
      }
    }
    ui::screenshot("open-dialog-types", shown);
    SendMessageW(types, CB_SHOWDROPDOWN, FALSE, 0);
  }
  ui::file_dialog_accept(dialog, g_setup.at(kSample.file));
  check_opened(o, sample, kSample, "after File > Open");
  // The picture for the documentation, without the last clicked button lit.
  PostMessageW(o.toolbar(), WM_MOUSELEAVE, 0, 0);
  ui::screenshot("main-sample", {o.main()});

  // The dialog opens on the previous choice; cancelling it changes nothing.
  ViewState opened = o.state();
  o.command(IDM_OPEN);
  dialog = ui::wait_for_file_dialog(o.pid(), ui::DEFAULT_TIMEOUT_MS);
  if (!dialog) return;
  std::string offered = ui::file_dialog_name(dialog);
  check(offered.find(kSample.file) != std::string::npos, "open dialog offers the previous choice (got \"%s\")",
        cp932_to_utf8(offered).c_str());
  ui::dialog_cancel(dialog);
  check_unchanged(o, opened, "cancelling the open dialog");

  // The first image again, through the dialog: a new open clears the history.
  o.double_click_row("data");
  check_listing(o, sample, "/data", "in the sample's data folder");
  o.command(IDM_OPEN);
  dialog = ui::wait_for_file_dialog(o.pid(), ui::DEFAULT_TIMEOUT_MS);
  if (!dialog) return;
  ui::file_dialog_accept(dialog, g_setup.at(kNested.file));
  check_opened(o, image, kNested, "after opening the first image again");
  ViewState reopened = o.state();
  o.toolbar_command(ID_TOOLBAR_BACK);
  check_unchanged(o, reopened, "Back after a new open");

  // Help and about.
  o.command(IDM_ONLINE_HELP);
  ui::answer_message_box(o.pid(), kHelpCaption, kHelpText, IDOK, "online help message");
  o.command(IDM_ABOUT);
  ui::WindowMatch about_match;
  about_match.caption = kAboutCaption;
  about_match.control_id = IDC_ABOUT_TITLE;
  HWND about = ui::wait_for_window(o.pid(), about_match, ui::DEFAULT_TIMEOUT_MS, "about box");
  if (about) {
    check_text(control_text(about, IDC_ABOUT_TITLE), "Ombrel", "about title line");
    check_text(control_text(about, IDC_ABOUT_VERSION), kAboutVersion, "about version line");
    check(!control_text(about, IDC_ABOUT_AUTHOR).empty(), "about box has an author line");
    HWND terms = ui::control(about, IDC_ABOUT_TERMS);
    check(terms && ui::window_text(terms).size() > 40, "about box shows distribution terms");
    check(terms && (ui::window_style(terms) & ES_READONLY) && (ui::window_style(terms) & ES_MULTILINE) &&
              (ui::window_style(terms) & WS_VSCROLL),
          "terms are a read-only multi-line text with a vertical scroll bar");
    ui::screenshot("about", {about});
    check(GetWindow(about, GW_OWNER) == o.main(), "the about box is owned by the main window");
    if (ui::click(about, IDOK)) check(ui::wait_until_gone(about, ui::DEFAULT_TIMEOUT_MS), "about box stayed after OK");
  }
  o.quit();
}

// Images that cannot be opened: named on the command line (the message comes
// before the window shows) and chosen in the open dialog (the views reset).
void scenario_open_failure() {
  // The reader's own text for this file.
  IsoReset();
  bool mounted = IsoMount(g_setup.at(kBroken).c_str(), 1);
  check(!mounted, "the reader mounts broken.gcm");
  std::string expected = std::string(kCannotOpen) + "\n\n" + IsoGetErrorText();
  IsoReset();

  Ombrel o;
  if (!o.launch(quoted(g_setup.at(kBroken)))) return;
  HWND box = ui::wait_for_message_box(o.pid(), kError, ui::DEFAULT_TIMEOUT_MS,
                                      "open-failure message for an image on the command line");
  if (!box) return;
  HWND hidden_main = FindWindowW(L"#32770", ui::from_cp932(kMainCaption).c_str());
  check(!hidden_main || !IsWindowVisible(hidden_main), "the main window shows before the open-failure message");
  check_text(control_text(box, ui::MESSAGE_TEXT_ID), expected, "open-failure message");
  check(GetWindow(box, GW_OWNER) == nullptr, "the open-failure message has no owner window");
  ui::screenshot("open-failure", {box});
  ui::click(box, IDOK);
  ui::wait_until_gone(box, ui::DEFAULT_TIMEOUT_MS);
  if (!o.find_main()) return;
  check_no_image(o, "after a failed start-up open");

  // A good image, then the broken one through the dialog.
  Image flat;
  if (!load(kFlat, &flat)) return;
  o.command(IDM_OPEN);
  HWND dialog = ui::wait_for_file_dialog(o.pid(), ui::DEFAULT_TIMEOUT_MS);
  if (!dialog || !ui::file_dialog_accept(dialog, g_setup.at(kFlat.file))) return;
  check_opened(o, flat, kFlat, "after opening flat.gcm");
  // An image without a banner has no properties dialog.
  o.command(IDM_PROPERTIES);
  ui::answer_message_box(o.pid(), kWarning, kNoBanner, IDOK, "no-banner warning");
  check(ui::no_message_box_within(o.pid(), 300), "another message after the no-banner warning");
  ui::WindowMatch properties;
  properties.caption = kProperties;
  check(ui::match_window(o.pid(), properties) == nullptr, "a properties dialog opened for an image without a banner");

  o.command(IDM_OPEN);
  dialog = ui::wait_for_file_dialog(o.pid(), ui::DEFAULT_TIMEOUT_MS);
  if (!dialog || !ui::file_dialog_accept(dialog, g_setup.at(kBroken))) return;
  ui::answer_message_box(o.pid(), kError, expected, IDOK, "open-failure message after File > Open");
  check_no_image(o, "after a failed open");
  check_command_shows_nothing(o, IDM_PROPERTIES, "properties after a failed open");
  check_command_shows_nothing(o, IDM_EXTRACT_WHOLE_IMAGE, "extract everything after a failed open");

  // Cancelling the open dialog changes nothing.
  o.command(IDM_OPEN);
  dialog = ui::wait_for_file_dialog(o.pid(), ui::DEFAULT_TIMEOUT_MS);
  if (dialog) ui::dialog_cancel(dialog);
  check_no_image(o, "after cancelling the open dialog");

  // A file dropped on the window opens as one chosen in the open dialog.
  check(GetWindowLongPtrW(o.main(), GWL_EXSTYLE) & WS_EX_ACCEPTFILES, "the window takes no dropped files");
  if (ui::drop_file(o.handle(), o.main(), g_setup.at(kFlat.file))) check_opened(o, flat, kFlat, "after a drop");
  if (ui::drop_file(o.handle(), o.main(), g_setup.at(kBroken))) {
    ui::answer_message_box(o.pid(), kError, expected, IDOK, "open-failure message after a drop");
    check_no_image(o, "after dropping a file that is no image");
  }
  o.quit();

  // The program path alone (with its trailing blank) opens nothing; an
  // unquoted image path, as typed in a console, is opened.
  {
    Ombrel bare;
    if (bare.start("")) {
      check(ui::no_message_box_within(bare.pid(), 300), "a message with no image on the command line");
      check_no_image(bare, "started without an image");
      // Closing the window ends the program as Quit does.
      ui::close_from_title_bar(bare.main());
      DWORD code = ~0u;
      if (check(bare.wait_exit(&code), "Ombrel did not end when its window was closed"))
        check_number(code, 0, "exit status after closing the window");
    }
  }
  Image euro;
  if (!load(kEuro, &euro)) return;
  Ombrel unquoted;
  if (unquoted.start(g_setup.at(kEuro.file))) {
    check_opened(unquoted, euro, kEuro, "started with an unquoted image path");
    unquoted.quit();
  }
}

// Every extraction command: Selection from the list (file, folder, empty
// folder, no focused row), from the tree (root, a folder), the toolbar and
// the pop-up; the whole image; the four system areas; a cancelled browser;
// failures.
void scenario_extract() {
  Image image;
  if (!load(kNested, &image)) return;
  std::string base = g_setup.at(kNested.base);
  Ombrel o;
  if (!o.start(quoted(g_setup.at(kNested.file)))) return;
  check_listing(o, image, "/", "after the start");

  // A file row of データ: one file straight into the folder.
  o.double_click_row("データ");
  check_listing(o, image, "/データ", "in データ");
  const Entry* data = entry_at(image, "/データ");
  if (!data) return;
  if (o.click_row("表.bin")) {
    o.command(IDM_EXTRACT_SELECTION);
    std::string folder = g_setup.out("file");
    if (choose_folder(o, folder)) {
      finish_copy(o, folder + "\\表.bin", true, "extract a file row", "copy-finished");
      ui::files_equal(folder + "\\表.bin", base + "\\データ\\表.bin", "extracted file row");
      check(ui::file_exists(folder + "\\表.bin") && !ui::file_exists(folder + "\\notes.txt"),
            "only the chosen file was written");
    }
  }

  // A folder row: the folder with everything in it.
  o.toolbar_command(ID_TOOLBAR_BACK);
  check_listing(o, image, "/", "back at the root");
  if (o.click_row("データ")) {
    o.command(IDM_EXTRACT_SELECTION);
    std::string folder = extract_into(o, "folder", holding(*data), "extract a folder row");
    if (!folder.empty()) ui::folders_equal(folder + "\\データ", base + "\\データ", "extracted folder row");
  }

  // An empty folder row: nothing to copy, but the dialog must not hang
  // hidden over a disabled window.
  if (o.click_row("空")) {
    o.command(IDM_EXTRACT_SELECTION);
    std::string folder = g_setup.out("empty");
    if (choose_folder(o, folder)) {
      HWND dialog = nullptr;
      bool shown = wait_until([&] { return (dialog = find_copy_dialog(o)) != nullptr; }, 5000);
      if (check(shown, "extracting an empty folder leaves no visible copy dialog (the window is blocked)")) {
        check_text(ui::window_text(dialog), kCopyDone, "copy dialog caption after an empty folder");
        if (ui::click(dialog, IDOK)) ui::wait_until_gone(dialog, ui::DEFAULT_TIMEOUT_MS);
      } else {
        // Free the window for what follows: end the hidden dialog.
        HWND hidden = nullptr;
        for (HWND w = FindWindowExW(nullptr, nullptr, L"#32770", nullptr); w; w = FindWindowExW(nullptr, w, L"#32770", nullptr)) {
          DWORD owner = 0;
          GetWindowThreadProcessId(w, &owner);
          if (owner == o.pid() && GetDlgItem(w, IDC_COPY_BAR)) hidden = w;
        }
        if (hidden) PostMessageW(hidden, WM_COMMAND, IDOK, 0), PostMessageW(hidden, WM_CLOSE, 0, 0);
        let_it_act(o.main());
      }
      check(ui::folders_equal(folder + "\\空", base + "\\空", "extracted empty folder"), "empty folder extracted");
    }
  }

  // The list focused with no focused row: the browser first, then the message.
  RECT last_row;
  int count = int(SendMessageW(o.list(), LVM_GETITEMCOUNT, 0, 0));
  if (count > 0 && ui::list_view_item_rect(o.handle(), o.list(), count - 1, &last_row)) {
    RECT client;
    GetClientRect(o.list(), &client);
    ui::post_click(o.list(), POINT{client.right - 4, client.bottom - 4});
    // The click beside the rows leaves no row focused, so nothing unseen is
    // extracted.
    wait_until([&] { return o.focus() == o.list() && o.focused_row() == -1; }, 3000);
  }
  if (check(o.focus() == o.list() && o.focused_row() == -1, "list focused with no focused row")) {
    o.command(IDM_EXTRACT_SELECTION);
    if (choose_folder(o, g_setup.out("nothing"))) {
      ui::answer_message_box(o.pid(), kError, kSelectSomething, IDOK, "nothing selected");
      let_it_act(o.main());
      check(find_copy_dialog(o) == nullptr, "copy dialog shown after \"nothing selected\"");
    }
  }

  // The tree focused on the root item: every entry straight into the folder.
  if (o.click_tree_item(o.root_item())) {
    o.command(IDM_EXTRACT_SELECTION);
    std::string folder = extract_into(o, "root", image.root, "extract the root from the tree");
    if (!folder.empty()) ui::folders_equal(folder, base, "root extracted from the tree");
  }

  // The tree focused on a folder, through the toolbar's extract button.
  HTREEITEM alpha = o.item_at("/alpha");
  if (alpha && o.click_tree_item(alpha)) {
    check_listing(o, image, "/alpha", "alpha selected in the tree");
    o.toolbar_click(5);
    std::string folder = extract_into(o, "tree-folder", holding(*entry_at(image, "/alpha")),
                                      "extract a tree folder by the toolbar");
    if (!folder.empty()) ui::folders_equal(folder + "\\alpha", base + "\\alpha", "extracted tree folder");
  }

  // The pop-up on a list row, then on the tree's selected folder.
  o.toolbar_command(ID_TOOLBAR_UP);
  check_listing(o, image, "/", "back at the root for the pop-up");
  int row = o.row_index("はじめに.txt");
  RECT rect;
  if (check(row >= 0 && ui::list_view_item_rect(o.handle(), o.list(), row, &rect), "no row はじめに.txt")) {
    ui::post_right_click(o.list(), ui::centre_of(rect));
    std::string folder = g_setup.out("popup");
    if (choose_from_popup(o, "popup") && choose_folder(o, folder)) {
      finish_copy(o, folder + "\\はじめに.txt", true, "extract through the pop-up", nullptr, true);
      ui::files_equal(folder + "\\はじめに.txt", base + "\\はじめに.txt", "file extracted through the pop-up");
    }
  }
  HTREEITEM data_item = o.item_at("/データ");
  if (data_item && o.click_tree_item(data_item) && ui::tree_item_rect(o.handle(), o.tree(), data_item, &rect)) {
    check_listing(o, image, "/データ", "データ selected in the tree for the pop-up");
    ui::post_right_click(o.tree(), ui::centre_of(rect));
    std::string folder = g_setup.out("popup-tree");
    if (choose_from_popup(o, "") && choose_folder(o, folder)) {
      finish_copy(o, last_file(*data, folder + "\\データ"), true, "extract through the tree's pop-up");
      ui::folders_equal(folder + "\\データ", base + "\\データ", "folder extracted through the tree's pop-up");
    }
    // Another folder right-clicked: marked while the pop-up is open, and the
    // one extracted; the selection and the list stay.
    HTREEITEM other = o.item_at("/alpha");
    ViewState before = o.state();
    if (other && ui::tree_item_rect(o.handle(), o.tree(), other, &rect)) {
      ui::post_right_click(o.tree(), ui::centre_of(rect));
      if (wait_for_popup())
        check(ui::tree_item_info(o.handle(), o.tree(), other).state & TVIS_DROPHILITED,
              "the right-clicked folder is not marked while the pop-up is open");
      folder = g_setup.out("popup-other");
      if (choose_from_popup(o, "popup-tree") && choose_folder(o, folder)) {
        finish_copy(o, last_file(*entry_at(image, "/alpha"), folder + "\\alpha"), true, "extract a right-clicked folder");
        ui::folders_equal(folder + "\\alpha", base + "\\alpha", "right-clicked folder extracted");
      }
      check_unchanged(o, before, "the pop-up on another folder");
      check(!(ui::tree_item_info(o.handle(), o.tree(), other).state & TVIS_DROPHILITED),
            "the right-clicked folder stays marked after the pop-up");
    }
  }

  // Everything in the image.
  o.command(IDM_EXTRACT_WHOLE_IMAGE);
  std::string whole = extract_into(o, "whole", image.root, "extract everything");
  if (!whole.empty()) ui::folders_equal(whole, base, "everything extracted");

  // A cancelled browser: nothing shows, nothing is written.
  o.command(IDM_EXTRACT_WHOLE_IMAGE);
  if (cancel_folder(o)) {
    let_it_act(o.main());
    check(find_copy_dialog(o) == nullptr && ui::no_message_box_within(o.pid(), 300),
          "something showed after the folder browser was cancelled");
  }

  // The four system areas.
  std::string sys = g_setup.out("system");
  const auto& bytes = image.bytes;
  uint32_t main_offset = read_be32(&bytes[0x420]);
  struct Area {
    int command;
    const char* file;
    uint32_t offset, size;
    const char* input;  // the builder's input it must equal, or null
  } areas[] = {
      {IDM_EXTRACT_BOOT_DATA, "boot.bin", 0, DISC_HEADER_SIZE, nullptr},
      {IDM_EXTRACT_FST, "fst", image.fst_offset, image.fst_size, nullptr},
      {IDM_EXTRACT_APPLOADER, "apploader", APPLOADER_OFFSET, main_offset - APPLOADER_OFFSET, "apploader.img"},
      {IDM_EXTRACT_MAIN_PROGRAM, "default.dol", main_offset, image.fst_offset - main_offset, "main.dol"},
  };
  for (const Area& area : areas) {
    o.command(area.command);
    if (!choose_folder(o, sys)) continue;
    std::string file = sys + "\\" + area.file;
    ui::answer_message_box(o.pid(), kSuccess, kSaved + file, IDOK, format("%s saved", area.file).c_str());
    std::vector<uint8_t> got;
    if (!check(ui::read_whole_file(file, &got), "%s was not written", area.file)) continue;
    std::vector<uint8_t> want(bytes.begin() + area.offset, bytes.begin() + area.offset + area.size);
    check_number(got.size(), area.size, format("%s size", area.file).c_str());
    check(got == want, "%s holds the image's bytes", area.file);
    if (area.input) ui::files_equal(file, g_setup.at(area.input), format("%s equals %s", area.file, area.input).c_str());
  }
  // A drive root: its path already ends in "\\", and none is added.
  if (!g_setup.drive.empty()) {
    o.command(IDM_EXTRACT_BOOT_DATA);
    std::string root = g_setup.drive + "\\";
    if (choose_folder(o, root)) {
      std::string file = root + "boot.bin";
      ui::answer_message_box(o.pid(), kSuccess, kSaved + file, IDOK, "boot.bin saved in a drive root");
      std::vector<uint8_t> got;
      check(ui::read_whole_file(file, &got) && got == std::vector<uint8_t>(bytes.begin(), bytes.begin() + DISC_HEADER_SIZE),
            "boot.bin in the drive root holds the image's header");
    }
  } else {
    note("no scratch drive given: extraction into a drive root not tried");
  }
  // A destination that cannot be written: a folder named boot.bin is in the way.
  std::string blocked = g_setup.out("blocked");
  ui::make_folder(blocked + "\\boot.bin");
  o.command(IDM_EXTRACT_BOOT_DATA);
  if (choose_folder(o, blocked)) ui::answer_message_box(o.pid(), kError, kCannotSave, IDOK, "boot.bin cannot be saved");

  // A single file that cannot be written: the reader's text, empty caption.
  check_listing(o, image, "/データ", "still in データ");
  std::string stuck = g_setup.out("stuck");
  ui::make_folder(stuck + "\\notes.txt");
  IsoReset();
  std::string reader_text;
  if (IsoMount(g_setup.at(kNested.file).c_str(), 1)) {
    IsoExtractFile("/データ/notes.txt", (stuck + "\\notes.txt").c_str());
    reader_text = IsoGetErrorText();
  }
  IsoReset();
  if (o.click_row("notes.txt")) {
    o.command(IDM_EXTRACT_SELECTION);
    if (choose_folder(o, stuck)) {
      ui::answer_message_box(o.pid(), "", reader_text, IDOK, "single-file copy failure");
      let_it_act(o.main());
      check(find_copy_dialog(o) == nullptr, "the copy dialog stays after a failed single-file copy");
    }
  }
  o.quit();
}

// The window's keys, typed as on a keyboard: Enter on a folder row (and on a
// file row, which changes nothing), Backspace, Alt+Left, Alt+Right, the
// context-menu key on a row, Shift+F10 in the tree and Ctrl+O.
void scenario_keys() {
  Image image;
  if (!load(kNested, &image)) return;
  Ombrel o;
  if (!o.start(quoted(g_setup.at(kNested.file))) || !o.click_row("データ")) return;
  ui::type_keys(o.list(), {VK_RETURN});
  check_at(o, image, "/データ", "after Enter on データ");
  ui::type_keys(o.list(), {VK_BACK});
  check_at(o, image, "/", "after Backspace");
  ui::type_keys(o.list(), {VK_MENU, VK_LEFT});
  check_at(o, image, "/データ", "after Alt+Left");
  ui::type_keys(o.list(), {VK_MENU, VK_RIGHT});
  check_at(o, image, "/", "after Alt+Right");
  if (!o.click_row("はじめに.txt")) return;
  ViewState on_file = o.state();
  ui::type_keys(o.list(), {VK_RETURN});
  check_unchanged(o, on_file, "Enter on a file row");

  // The context-menu key: the pop-up for the focused row, which it extracts.
  ui::type_keys(o.list(), {VK_APPS});
  std::string folder = g_setup.out("keys");
  if (choose_from_popup(o, "") && choose_folder(o, folder)) {
    finish_copy(o, folder + "\\はじめに.txt", true, "extract through the context-menu key");
    ui::files_equal(folder + "\\はじめに.txt", g_setup.at(kNested.base) + "\\はじめに.txt",
                    "file extracted through the context-menu key");
  }
  // Shift+F10 in the tree: its pop-up, dismissed with Escape.
  if (o.click_tree_item(o.item_at("/alpha"))) {
    ui::type_keys(o.tree(), {VK_SHIFT, VK_F10});
    if (HWND menu = wait_for_popup()) {
      PostMessageW(menu, WM_KEYDOWN, VK_ESCAPE, 0);
      check(ui::wait_until_gone(menu, ui::DEFAULT_TIMEOUT_MS), "Escape left the pop-up open");
    }
  }
  // Ctrl+O: the open dialog.
  ui::type_keys(o.tree(), {VK_CONTROL, 'O'});
  if (HWND dialog = ui::wait_for_file_dialog(o.pid(), ui::DEFAULT_TIMEOUT_MS)) ui::dialog_cancel(dialog);
  o.quit();
}

// A crafted image whose root holds fine.txt, then ..\escape.txt: extracting
// that row is refused with the reader's text, as any failed single-file copy,
// and nothing is written beside the chosen folder or in it. The whole image's
// copy stops there too: after fine.txt, which the dialog still shows, the box
// names the refused entry on its second line.
void scenario_hostile_name() {
  Ombrel o;
  if (!o.start(quoted(g_setup.at("hostile.gcm")))) return;
  const std::string name = "..\\escape.txt";
  o.command(IDM_EXTRACT_WHOLE_IMAGE);
  const std::string all = g_setup.out("hostile-all");
  if (choose_folder(o, all)) {
    const std::string text = std::string(IsoErrorTextFor(IsoErrUnsafeName)) + "\n/" + name;
    if (HWND box = ui::wait_for_message_box(o.pid(), "", ui::DEFAULT_TIMEOUT_MS, "unsafe name in a whole-image copy")) {
      check_text(control_text(box, ui::MESSAGE_TEXT_ID), text, "unsafe name in a whole-image copy");
      HWND dialog = find_copy_dialog(o);
      ui::screenshot("hostile-whole-image", {dialog, box});
      ui::click(box, IDOK);
      ui::wait_until_gone(box, ui::DEFAULT_TIMEOUT_MS);
      if (check(dialog != nullptr, "no copy dialog behind the unsafe-name box")) {
        check_text(ui::window_text(dialog), kCopyFailed, "copy dialog caption after the refusal");
        ui::click(dialog, IDOK);
        ui::wait_until_gone(dialog, ui::DEFAULT_TIMEOUT_MS);
      }
    }
    check(ui::file_exists(all + "\\fine.txt"), "fine.txt, before the refused entry, was not copied");
    check(!ui::file_exists(g_setup.out("escape.txt")), "a file was written for ..\\escape.txt");
  }
  if (o.click_row(name)) {
    o.command(IDM_EXTRACT_SELECTION);
    std::string folder = g_setup.out("hostile");
    if (choose_folder(o, folder)) {
      ui::answer_message_box(o.pid(), "", IsoErrorTextFor(IsoErrUnsafeName), IDOK, "unsafe file name");
      let_it_act(o.main());
      check(!ui::file_exists(g_setup.out("escape.txt")) && !ui::file_exists(folder + "\\escape.txt"),
            "a file was written for ..\\escape.txt");
    }
  }
  o.quit();
}

// The nested image in every container other tools keep discs in: Ombrel
// opens each, from its command line and through ISO > 開く, and shows exactly
// what it shows for the plain image.
void scenario_containers() {
  Image image;
  if (!load(kNested, &image)) return;
  Ombrel o;
  bool started = false;
  for (const char* kind : {"rvz", "wia", "gcz", "ciso", "wdf"}) {
    const std::string file = g_setup.at(std::string("入れ子.") + kind);
    if (!check(ui::file_exists(file), "the test script made no %s container", kind)) continue;
    if (!started) {
      if (!o.start(quoted(file))) return;
      started = true;
    } else {
      o.command(IDM_OPEN);
      HWND dialog = ui::wait_for_file_dialog(o.pid(), ui::DEFAULT_TIMEOUT_MS);
      if (!check(dialog && ui::file_dialog_accept(dialog, file), "the open dialog did not take the %s", kind))
        continue;
    }
    check_opened(o, image, kNested, format("with the image in a %s container", kind).c_str());
    note("opened the %s container: %s", kind, o.status(0).c_str());
  }
  if (started) o.quit();
}

// ---------------------------------------------------------------------------
// The edit menu
// ---------------------------------------------------------------------------

const char kNoImageToEdit[] = "ISOが開かれていません。先にISOを開いて下さい。";
const char kReadOnlyImage[] = "ISOファイルは読み取り専用です。編集するには読み取り専用の属性を外して下さい。";
const char kRemoveCaption[] = "削除の確認";
const char kRemoveOne[] = "1 個の項目をISOから削除しますか？";
const char kBadName[] = "ファイル名が不正です";
const char kRenameCaption[] = "名前の変更";
const char kHeaderCaption[] = "ヘッダーの編集";

// The list shows folder with exactly the named row selected and focused.
void check_edited_row(Ombrel& o, const std::string& folder, const std::string& row, const char* when) {
  check(wait_until([&] { return o.status(0) == folder && o.row_index(row) >= 0; }), "%s: %s is not listed with row %s",
        when, folder.c_str(), cp932_to_utf8(row).c_str());
  check_selection(o, folder, when);
  std::vector<ui::ListRow> rows = o.rows();
  for (size_t i = 0; i < rows.size(); ++i) {
    const bool wanted = rows[i].text == row;
    check(bool(rows[i].state & LVIS_SELECTED) == wanted, "%s: row %s %s", when, cp932_to_utf8(rows[i].text).c_str(),
          wanted ? "not selected" : "selected");
  }
  check(o.focus() == o.list(), "%s: the list has the focus", when);
}

// The entry at path in the image file's table, read again; false when the
// image has none there.
bool edited_entry(const std::string& path, Entry* entry = nullptr) {
  Image image;
  if (!load_image(g_setup.at("edit.gcm"), &image)) return false;
  const Entry* found = entry_at(image, path);
  if (found && entry) *entry = *found;
  return found != nullptr;
}

HWND wait_for_dialog_with(Ombrel& o, int control_id, const char* what) {
  ui::WindowMatch match;
  match.control_id = control_id;
  return ui::wait_for_window(o.pid(), match, ui::DEFAULT_TIMEOUT_MS, what);
}

// Alt+E opens the edit menu (its picture is taken); Escape closes it.
void show_edit_menu(Ombrel& o) {
  ui::type_keys(o.main(), {VK_MENU, 'E'});
  if (HWND menu = wait_for_popup()) {
    // Only the menu is settled: a repaint of the main window would cover it.
    ui::settle(menu);
    ui::screenshot_as_shown("edit-menu", {o.main(), menu});
    PostMessageW(menu, WM_KEYDOWN, VK_ESCAPE, 0);
    PostMessageW(menu, WM_KEYDOWN, VK_ESCAPE, 0);
    check(ui::wait_until_gone(menu, ui::DEFAULT_TIMEOUT_MS), "Escape left the edit menu open");
  }
}

// Every edit command through the window on a copy of the flat image: each
// reaches its dialog, changes the image file (read back from its table),
// and the view comes back to the same folder with the edited row selected;
// the commands' refusals without an image and on a read-only one.
void scenario_edit() {
  {
    Ombrel o;
    if (!o.start("")) return;
    o.command(IDM_EDIT_REMOVE);
    ui::answer_message_box(o.pid(), kError, kNoImageToEdit, IDOK, "removing with no image");
    o.quit();
  }
  {
    Ombrel o;
    if (!o.start(quoted(g_setup.at("readonly.gcm")))) return;
    o.command(IDM_EDIT_HEADER);
    ui::answer_message_box(o.pid(), kError, kReadOnlyImage, IDOK, "editing a read-only image");
    o.quit();
  }
  Ombrel o;
  if (!o.start(quoted(g_setup.at("edit.gcm")))) return;
  show_edit_menu(o);
  if (!o.double_click_row("sub") || !wait_until([&] { return o.status(0) == "/sub"; })) return;

  // Rename (F2): the dialog holds the old name; a bad name is refused with
  // the engine's text and the dialog stays; a good one renames.
  if (!o.click_row("c.txt")) return;
  ui::type_keys(o.list(), {VK_F2});
  if (HWND dialog = wait_for_dialog_with(o, IDC_RENAME_NAME, "rename dialog")) {
    check_text(ui::window_text(dialog), kRenameCaption, "rename dialog caption");
    check_text(control_text(dialog, IDC_RENAME_NAME), "c.txt", "rename dialog's name");
    ui::screenshot("rename", {dialog});
    ui::set_control_text(dialog, IDC_RENAME_NAME, "a/b");
    ui::click(dialog, IDOK);
    ui::answer_message_box(o.pid(), kError, kBadName, IDOK, "a name with a slash");
    check(IsWindow(dialog), "the rename dialog stays after a refused name");
    ui::set_control_text(dialog, IDC_RENAME_NAME, "名前.txt");
    ui::click(dialog, IDOK);
    check(ui::wait_until_gone(dialog, ui::DEFAULT_TIMEOUT_MS), "the rename dialog closes");
    check_edited_row(o, "/sub", "名前.txt", "after renaming");
    check(edited_entry("/sub/名前.txt") && !edited_entry("/sub/c.txt"), "the image has the new name");
  }

  // Add through the open dialog: the file lands in the folder shown.
  o.command(IDM_EDIT_ADD);
  if (HWND dialog = ui::wait_for_file_dialog(o.pid(), ui::DEFAULT_TIMEOUT_MS)) {
    ui::file_dialog_accept(dialog, g_setup.at("add_me.txt"));
    check_edited_row(o, "/sub", "add_me.txt", "after adding");
    Entry added;
    check(edited_entry("/sub/add_me.txt", &added) && added.size == 12, "the image holds the added file (12 bytes)");
  }

  // Replace the selected row with a large file: the copy dialog shows it.
  o.command(IDM_EDIT_REPLACE);
  if (HWND dialog = ui::wait_for_file_dialog(o.pid(), ui::DEFAULT_TIMEOUT_MS)) {
    ui::file_dialog_accept(dialog, g_setup.at("replacement.bin"));
    check_edited_row(o, "/sub", "add_me.txt", "after replacing");
    Entry replaced;
    check(edited_entry("/sub/add_me.txt", &replaced) && replaced.size == 24u << 20,
          "the image holds the replacement (24 MiB)");
  }

  // Two files at once, named in the open dialog (which starts in the folder
  // of the last file chosen): both are added, the first selected.
  o.command(IDM_EDIT_ADD);
  if (HWND dialog = ui::wait_for_file_dialog(o.pid(), ui::DEFAULT_TIMEOUT_MS)) {
    ui::file_dialog_accept(dialog, "\"add_two.txt\" \"add_three.txt\"");
    check_edited_row(o, "/sub", "add_two.txt", "after adding two files");
    Entry two, three;
    check(edited_entry("/sub/add_two.txt", &two) && two.size == 4 && edited_entry("/sub/add_three.txt", &three) &&
              three.size == 6,
          "the image holds both added files");
  }

  // Remove (Del) after one confirmation naming one entry.
  if (o.click_row("名前.txt")) {
    ui::type_keys(o.list(), {VK_DELETE});
    if (HWND box = ui::wait_for_message_box(o.pid(), kRemoveCaption, ui::DEFAULT_TIMEOUT_MS, "removal confirmation"))
      ui::screenshot("remove-confirmation", {box});
    ui::answer_message_box(o.pid(), kRemoveCaption, kRemoveOne, IDYES, "removal confirmation");
    check(wait_until([&] { return o.row_index("名前.txt") < 0 && o.status(0) == "/sub"; }),
          "the removed row is gone and /sub is still shown");
    check(edited_entry("/sub") && !edited_entry("/sub/名前.txt"), "the image lost the file");
  }

  // Del in the tree acts on its selected folder, counting what it holds;
  // いいえ keeps it.
  if (o.click_tree_item(o.item_at("/sub"))) {
    ui::type_keys(o.tree(), {VK_DELETE});
    ui::answer_message_box(o.pid(), kRemoveCaption, "1 個の項目 (フォルダの中身を含めて 4 個) をISOから削除しますか？",
                           IDNO, "removing a folder from the tree");
    check(edited_entry("/sub/add_me.txt"), "いいえ removed nothing");
  }

  // Header, through the menu's keys (Alt+E, H): the fields as the image has
  // them; a changed game ID is written.
  ui::type_keys(o.main(), {VK_MENU, 'E'});
  if (HWND menu = wait_for_popup()) {
    PostMessageW(menu, WM_CHAR, 'h', 0);
  }
  if (HWND dialog = wait_for_dialog_with(o, IDC_HEADER_GAME_CODE, "header dialog")) {
    check_text(ui::window_text(dialog), kHeaderCaption, "header dialog caption");
    check_text(control_text(dialog, IDC_HEADER_GAME_CODE), "FLT", "header dialog's game ID");
    check_text(control_text(dialog, IDC_HEADER_MAKER_CODE), "01", "header dialog's maker ID");
    check_text(control_text(dialog, IDC_HEADER_GAME_NAME), "Flat", "header dialog's game name");
    check_number(ui::combo_selection(ui::control(dialog, IDC_HEADER_REGION)), 2, "header dialog's region (Europe)");
    ui::screenshot("edit-header", {dialog});
    ui::set_control_text(dialog, IDC_HEADER_GAME_CODE, "QRS");
    ui::click(dialog, IDOK);
    check(ui::wait_until_gone(dialog, ui::DEFAULT_TIMEOUT_MS), "the header dialog closes");
    check(wait_until([&] { return o.status(0) == "/sub"; }), "the header edit keeps /sub shown");
    std::vector<uint8_t> bytes;
    check(ui::read_whole_file(g_setup.at("edit.gcm"), &bytes) && bytes.size() > 6 &&
              std::string(bytes.begin(), bytes.begin() + 3) == "QRS" &&
              std::string(bytes.begin() + 4, bytes.begin() + 6) == "01",
          "the image's game ID starts QRS, its maker stays 01");
  }
  o.quit();
}

// Reads the screenshot's pixel copy (binary PPM) left by the helper.
bool read_ppm(const std::string& path, int* width, int* height, std::vector<uint8_t>* rgb) {
  std::vector<uint8_t> bytes;
  if (!ui::read_whole_file(path, &bytes)) return false;
  size_t at = 0;
  auto token = [&]() {
    std::string t;
    while (at < bytes.size()) {
      char c = char(bytes[at]);
      if (c == '#') {
        while (at < bytes.size() && bytes[at] != '\n') ++at;
      } else if (isspace(static_cast<unsigned char>(c))) {
        if (!t.empty()) break;
        ++at;
      } else {
        t += c;
        ++at;
      }
    }
    return t;
  };
  if (token() != "P6") return false;
  *width = std::atoi(token().c_str());
  *height = std::atoi(token().c_str());
  if (std::atoi(token().c_str()) != 255) return false;
  ++at;  // the single blank after the header
  size_t size = size_t(*width) * size_t(*height) * 3;
  if (bytes.size() < at + size) return false;
  rgb->assign(bytes.begin() + at, bytes.begin() + at + size);
  return true;
}

// A screenshot's pixels, with the screen area it covers.
struct Capture {
  RECT area = {};
  int width = 0, height = 0;
  std::vector<uint8_t> rgb;
  // The pixel at a screen point, or null outside the picture.
  const uint8_t* at(int screen_x, int screen_y) const {
    int x = screen_x - area.left, y = screen_y - area.top;
    if (x < 0 || y < 0 || x >= width || y >= height) return nullptr;
    return &rgb[(size_t(y) * width + x) * 3];
  }
};

// Takes the screenshot and reads its pixels back; false without a helper.
// `as_shown` takes the screen as it is, for a window whose thread is busy.
bool capture(HWND window, const std::string& shot, Capture* picture, bool as_shown = false) {
  if (as_shown) {
    ui::screenshot_as_shown(shot, {window}, &picture->area);
  } else {
    ui::screenshot(shot, {window}, &picture->area);
  }
  if (g_setup.exchange.empty()) {
    note("no screenshot helper: the pixels of %s are not compared", shot.c_str());
    return false;
  }
  std::string ppm = g_setup.exchange + "\\" + shot + ".ppm";
  return check(read_ppm(ppm, &picture->width, &picture->height, &picture->rgb), "cannot read the screenshot's pixels %s",
               ppm.c_str());
}

// The banner picture on the screen, pixel for pixel, at the frame's corner.
void check_banner_picture(HWND dialog, const Banner& banner, const Capture& picture, const char* when) {
  RECT frame;
  GetWindowRect(ui::control(dialog, IDC_PROP_BANNER_FRAME), &frame);
  int wrong = 0, first_x = -1, first_y = -1;
  for (int y = 0; y < BANNER_HEIGHT; ++y) {
    for (int x = 0; x < BANNER_WIDTH; ++x) {
      BannerRgb want = banner.pixel(x, y);
      const uint8_t* got = picture.at(frame.left + x, frame.top + y);
      if (!got || got[0] != want.red || got[1] != want.green || got[2] != want.blue) {
        if (wrong++ == 0) first_x = x, first_y = y;
      }
    }
  }
  if (!check(wrong == 0, "banner picture %s: %d of %d pixels differ from the banner (first at %d,%d)", when, wrong,
             BANNER_PIXEL_COUNT, first_x, first_y)) {
    BannerRgb want = banner.pixel(first_x, first_y);
    if (const uint8_t* got = picture.at(frame.left + first_x, frame.top + first_y))
      std::printf("      pixel %d,%d: expected %d,%d,%d, screen %d,%d,%d\n", first_x, first_y, want.red, want.green,
                  want.blue, got[0], got[1], got[2]);
  }
}

// The etched rule along the top of a separator: 345 pixels of dark grey
// over 345 of white.
void check_separator(HWND dialog, int id, const Capture& picture, const char* when) {
  RECT rule;
  GetWindowRect(ui::control(dialog, id), &rule);
  int wrong = 0;
  for (int x = 0; x < 345; ++x) {
    const uint8_t* dark = picture.at(rule.left + x, rule.top);
    const uint8_t* light = picture.at(rule.left + x, rule.top + 1);
    if (!dark || dark[0] != 64 || dark[1] != 64 || dark[2] != 64) ++wrong;
    if (!light || light[0] != 255 || light[1] != 255 || light[2] != 255) ++wrong;
  }
  check(wrong == 0, "separator %d %s: %d of 690 rule pixels are not dark grey over white", id, when, wrong);
}

void check_banner_texts(HWND dialog, const Banner& banner, int language, const char* when) {
  BannerFields f = banner.record(language);
  const struct {
    int id;
    const std::string* text;
    const char* name;
  } fields[] = {{IDC_PROP_DESCRIPTION, &f.description, "description"}, {IDC_PROP_SHORT_NAME, &f.short_name, "short name"},
                {IDC_PROP_LONG_NAME, &f.long_name, "long name"},       {IDC_PROP_SHORT_MAKER, &f.short_maker, "short maker"},
                {IDC_PROP_LONG_MAKER, &f.long_maker, "long maker"}};
  for (const auto& field : fields) {
    std::string what = format("banner %s %s", field.name, when);
    if (banner.six_languages) {
      check_wide(ui::window_text_wide(ui::control(dialog, field.id)), ui::from_code_page(*field.text, 1252), what.c_str());
    } else {
      check_text(control_text(dialog, field.id), *field.text, what.c_str());
    }
  }
}

// Changes the language as the user does: the list's selection, then its
// notification to the dialog.
void choose_language(HWND dialog, int index) {
  HWND combo = ui::control(dialog, IDC_PROP_LANGUAGE);
  ui::combo_select(combo, index);
  PostMessageW(dialog, WM_COMMAND, MAKEWPARAM(IDC_PROP_LANGUAGE, CBN_SELCHANGE), LPARAM(combo));
  let_it_act(dialog);
}

void check_properties(const Disc& disc, const char* shot, bool close_from_title_bar = false) {
  Image image;
  if (!load(disc, &image)) return;
  Banner banner = load_banner(disc);
  if (!check(banner.present, "%s: the test tree has no banner", disc.file)) return;
  Ombrel o;
  if (!o.start(quoted(g_setup.at(disc.file)))) return;
  check_listing(o, image, "/", "before the properties");
  o.command(IDM_PROPERTIES);
  ui::WindowMatch match;
  match.caption = kProperties;
  match.control_id = IDC_PROP_LANGUAGE;
  HWND dialog = ui::wait_for_window(o.pid(), match, ui::DEFAULT_TIMEOUT_MS, "properties dialog");
  if (!dialog) return;
  std::string where = disc.file;
  check(GetWindow(dialog, GW_OWNER) == o.main(), "%s: the properties dialog is owned by the main window", disc.file);
  auto field = [&](int id, const std::string& expected, const char* name) {
    check_text(control_text(dialog, id), expected, (where + ": " + name).c_str());
  };
  field(IDC_PROP_NAME_LABEL, "名前 :", "name label");
  field(IDC_PROP_MAKER_LABEL, "開発元 :", "maker label");
  field(IDC_PROP_PRODUCT_CODE_LABEL, "製品番号 :", "product code label");
  field(IDC_PROP_VIDEO_LABEL, "ビデオタイプ :", "video label");
  field(IDC_PROP_BANNER_LABEL, "バナー", "banner label");
  field(IDC_PROP_IMAGE_PATH, g_setup.at(disc.file), "image path");
  field(IDC_PROP_COUNTS, format(kPropertyCounts, image.folders, image.files), "counts");
  field(IDC_PROP_NAME, disc.game_name, "game name");
  field(IDC_PROP_MAKER, disc.maker, "maker");
  field(IDC_PROP_PRODUCT_CODE, disc.product_code, "product code");
  field(IDC_PROP_VIDEO, disc.video, "video type");

  HWND tab = ui::control(dialog, IDC_PROP_TAB);
  if (check(tab && ui::class_of(tab) == L"SysTabControl32", "%s: tab control 10000", where.c_str())) {
    check_number(SendMessageW(tab, TCM_GETITEMCOUNT, 0, 0), 1, "tab count");
    check_text(ui::tab_text(o.handle(), tab, 0), kProperties, "tab label");
    RECT client, tab_rect;
    GetClientRect(dialog, &client);
    GetWindowRect(tab, &tab_rect);
    MapWindowPoints(nullptr, dialog, reinterpret_cast<POINT*>(&tab_rect), 2);
    check(tab_rect.left == 6 && tab_rect.top == 6 && tab_rect.right - tab_rect.left == client.right - 12 &&
              tab_rect.bottom - tab_rect.top == client.bottom - 44,
          "%s: tab control at (6, 6), W-12 x H-44: got (%ld, %ld) %ld x %ld in %ld x %ld", where.c_str(), tab_rect.left,
          tab_rect.top, tab_rect.right - tab_rect.left, tab_rect.bottom - tab_rect.top, client.right, client.bottom);
  }

  HWND combo = ui::control(dialog, IDC_PROP_LANGUAGE);
  check_number(ui::combo_selection(combo), 0, (where + ": language selection").c_str());
  if (banner.six_languages) {
    std::vector<std::wstring> items = ui::combo_items_wide(combo);
    check_number(items.size(), 6, (where + ": language count").c_str());
    for (size_t i = 0; i < items.size() && i < 6; ++i)
      check_wide(items[i], kLanguages[i], format("%s: language %zu", where.c_str(), i).c_str());
    check(IsWindowEnabled(combo), "%s: language list enabled", where.c_str());
    check_banner_texts(dialog, banner, 0, "in English");
    choose_language(dialog, 1);
    check_banner_texts(dialog, banner, 1, "after choosing Deutsch");
    choose_language(dialog, 2);
    check_banner_texts(dialog, banner, 2, "after choosing Francais");
    ui::screenshot(std::string(shot) + "-francais", {dialog});
    choose_language(dialog, 4);
    check_banner_texts(dialog, banner, 4, "after choosing Italiano");
    choose_language(dialog, 5);
    check_banner_texts(dialog, banner, 5, "after choosing Nerderland");
  } else {
    check_text(joined(ui::combo_items(combo)), kSingleRecordLanguage, (where + ": language list").c_str());
    check(!IsWindowEnabled(combo), "%s: language list disabled", where.c_str());
    check_banner_texts(dialog, banner, 0, "of the single record");
  }
  // The picture and rules as shown, then again after the dialog was
  // covered by another window and painted anew.
  Capture picture;
  if (capture(dialog, shot, &picture)) {
    check_banner_picture(dialog, banner, picture, where.c_str());
    check_separator(dialog, IDC_PROP_UPPER_SEPARATOR, picture, where.c_str());
    check_separator(dialog, IDC_PROP_LOWER_SEPARATOR, picture, where.c_str());
  }
  RECT dialog_rect;
  GetWindowRect(dialog, &dialog_rect);
  HWND cover = CreateWindowExW(WS_EX_TOPMOST, L"STATIC", L"", WS_POPUP | WS_VISIBLE | SS_BLACKRECT, dialog_rect.left,
                               dialog_rect.top, dialog_rect.right - dialog_rect.left,
                               dialog_rect.bottom - dialog_rect.top, nullptr, nullptr, nullptr, nullptr);
  UpdateWindow(cover);
  Sleep(300);
  DestroyWindow(cover);
  let_it_act(dialog);
  Capture again;
  if (capture(dialog, std::string(shot) + "-repainted", &again))
    check_banner_picture(dialog, banner, again, (where + " after being covered").c_str());

  if (close_from_title_bar) {
    ui::close_from_title_bar(dialog);
    check(ui::wait_until_gone(dialog, ui::DEFAULT_TIMEOUT_MS), "properties stayed after its close box");
  } else if (ui::click(dialog, IDOK)) {
    check(ui::wait_until_gone(dialog, ui::DEFAULT_TIMEOUT_MS), "properties stayed after OK");
  }
  o.quit();
}

void scenario_properties() {
  check_properties(kNested, "properties-single");
  check_properties(kSample, "properties-six", true);
  check_properties(kEuro, "properties-euro");
}

// ---------------------------------------------------------------------------
// The copy dialog while it copies
// ---------------------------------------------------------------------------

const char kCopying[] = "コピー中...";
// An image of a few large files, so a copy lasts long enough to be watched.
const char kLargeImage[] = "large.gcm";
const char kLargeBase[] = "base_large";

bool same_colour(const uint8_t* a, const uint8_t* b) { return a && b && a[0] == b[0] && a[1] == b[1] && a[2] == b[2]; }

std::string colour_text(const uint8_t* c) { return c ? format("%d,%d,%d", c[0], c[1], c[2]) : std::string("none"); }

// The progress bar's inside along its middle row in a picture: the pixels
// from its left to its right end, inside the border.
std::vector<const uint8_t*> bar_row(HWND bar, const Capture& picture) {
  RECT r;
  GetWindowRect(bar, &r);
  constexpr int BORDER = 2;
  std::vector<const uint8_t*> row;
  int y = (r.top + r.bottom) / 2;
  for (int x = r.left + BORDER; x < r.right - BORDER; ++x) row.push_back(picture.at(x, y));
  return row;
}

// Whole-image extraction of the large image, watched from outside while the
// dialog's thread copies and answers no messages: the dialog is shown with
// its copying caption, OK disabled and the animation shown, and a picture
// taken mid-copy shows the bar partly filled. Then the end state and the
// copied files.
void scenario_copying() {
  Image image;
  if (!load_image_table(g_setup.at(kLargeImage), &image)) return;
  Ombrel o;
  if (!o.start(quoted(g_setup.at(kLargeImage)))) return;
  check_listing(o, image, "/", "large image opened");

  o.command(IDM_EXTRACT_WHOLE_IMAGE);
  std::string folder = g_setup.out("copying");
  if (!choose_folder(o, folder)) return;

  // Only calls that need no answer from Ombrel's thread are used until the
  // copy ends: window lists, styles and the stored caption, and pictures of
  // the screen. The text line is an edit that keeps its text to itself, so
  // it cannot be read this way.
  HWND dialog = nullptr;
  bool shown = wait_until([&] { return (dialog = find_copy_dialog(o)) != nullptr; }, 30000);
  if (!check(shown, "no copy dialog came for the large image")) return;
  DWORD shown_at = GetTickCount();
  std::string caption = ui::stored_window_text(dialog);
  bool copying = caption == kCopying;
  if (!copying && caption == kCopyDone) {
    check(false, "the large image's copy ended before the dialog could be watched; make its files larger");
  } else {
    check_text(caption, kCopying, "copy dialog caption while copying");
  }
  // A real click on the disabled OK, and Enter, while the copy runs (made at
  // once, as a copy from the page cache is quick): they wait in the queue
  // and must not act once the copy ends.
  RECT ok;
  const bool queued = ui::stored_window_text(dialog) == kCopying && GetWindowRect(ui::control(dialog, IDOK), &ok);
  check(queued, "the large image's copy ended before a click could be made during it; make its files larger");
  if (queued) {
    const POINT at = ui::centre_of(ok);
    SetCursorPos(at.x, at.y);
    INPUT input[4] = {};
    input[0].type = input[1].type = INPUT_MOUSE;
    input[0].mi.dwFlags = MOUSEEVENTF_LEFTDOWN;
    input[1].mi.dwFlags = MOUSEEVENTF_LEFTUP;
    input[2].type = input[3].type = INPUT_KEYBOARD;
    input[2].ki.wVk = input[3].ki.wVk = VK_RETURN;
    input[3].ki.dwFlags = KEYEVENTF_KEYUP;
    SendInput(4, input, sizeof(INPUT));
  }

  HWND bar = ui::control(dialog, IDC_COPY_BAR);
  HWND animation = ui::control(dialog, IDC_COPY_ANIMATION);
  Capture mid;
  std::vector<const uint8_t*> mid_row;
  bool partly = false;
  int attempts = 0;
  // A picture may fall between two files (bar at 0) or at a file's end (at
  // 100); another is taken then, while the copy lasts.
  while (copying && attempts < 6 && !partly) {
    ++attempts;
    if (attempts == 1) {
      check(!ui::is_enabled(dialog, IDOK), "OK disabled while copying");
      // Shown just after the dialog itself.
      check(animation && wait_until([&] { return IsWindowVisible(animation) != FALSE; }, 2000),
            "animation shown while copying");
    }
    if (!capture(dialog, "copying", &mid, true)) break;
    copying = ui::stored_window_text(dialog) == kCopying;
    mid_row = bar_row(bar, mid);
    partly = !mid_row.empty() && !same_colour(mid_row.front(), mid_row.back());
  }
  note("copy dialog watched for %.1f s, %d picture(s) taken mid-copy", (GetTickCount() - shown_at) / 1000.0, attempts);
  if (!g_setup.exchange.empty())
    check(partly, "no picture taken mid-copy shows the progress bar partly filled (%d taken)", attempts);

  // The end state; the full bar's colour tells which mid-copy pixels were
  // filled.
  bool finished = wait_until([&] { return ui::stored_window_text(dialog) == kCopyDone; }, 120000);
  if (!check(finished, "the large image's copy did not finish")) return;
  if (queued) {
    let_it_act(dialog);
    check(IsWindow(dialog) && IsWindowVisible(dialog), "input made during the copy closed the copy dialog after it");
  }
  Capture end;
  if (partly && capture(dialog, "copying-finished", &end)) {
    std::vector<const uint8_t*> end_row = bar_row(bar, end);
    const uint8_t* fill = end_row.empty() ? nullptr : end_row.front();
    check(same_colour(fill, end_row.back()), "full bar at the end: %s at its left, %s at its right",
          colour_text(fill).c_str(), colour_text(end_row.back()).c_str());
    size_t filled = 0;
    while (filled < mid_row.size() && same_colour(mid_row[filled], fill)) ++filled;
    size_t rest = filled;
    while (rest < mid_row.size() && !same_colour(mid_row[rest], fill)) ++rest;
    note("mid-copy bar filled %zu of %zu pixels", filled, mid_row.size());
    check(filled > 0 && filled < mid_row.size() && rest == mid_row.size(),
          "mid-copy bar is filled from its left end to a point short of its right end (%zu of %zu pixels, "
          "fill %s, then %s)",
          filled, mid_row.size(), colour_text(fill).c_str(), colour_text(mid_row.empty() ? nullptr : mid_row.back()).c_str());
  }
  finish_copy(o, last_file(image.root, folder), true, "extract the large image");
  ui::folders_equal(folder, g_setup.at(kLargeBase), "large image extracted");
  // The copies take as much disk as the image; they go at once.
  for (const Entry& e : image.root.children)
    if (!e.folder) DeleteFileA((folder + "\\" + e.name).c_str());
  o.quit();
}

// ---------------------------------------------------------------------------
// Listing time (bench/listing_bench.sh; a measure, not a test)
// ---------------------------------------------------------------------------

double seconds_since(const LARGE_INTEGER& start) {
  LARGE_INTEGER now, frequency;
  QueryPerformanceCounter(&now);
  QueryPerformanceFrequency(&frequency);
  return double(now.QuadPart - start.QuadPart) / double(frequency.QuadPart);
}

// Seconds from a double-click on the root's row `name` until the list holds
// the folder's rows and the status bar names it; then Back to the root.
double time_visit(Ombrel& o, const std::string& name, long long rows) {
  const std::string path = "/" + name;
  LARGE_INTEGER start;
  QueryPerformanceCounter(&start);
  if (!o.double_click_row(name)) return -1;
  // Each question waits for Ombrel's thread, so the answer comes once the
  // listing is done; then the list is painted as it now stands.
  bool listed = false;
  while (!listed && seconds_since(start) < 120) {
    listed = SendMessageW(o.list(), LVM_GETITEMCOUNT, 0, 0) == rows && o.status(0) == path;
    if (!listed) Sleep(1);
  }
  RedrawWindow(o.list(), nullptr, nullptr, RDW_UPDATENOW);
  double seconds = seconds_since(start);
  if (!check(listed, "%s was not listed with its %lld rows", path.c_str(), rows)) return -1;
  o.toolbar_command(ID_TOOLBAR_BACK);
  check(wait_until([&] { return o.status(0) == "/"; }, 120000), "Back from %s did not list the root", path.c_str());
  return seconds;
}

// Each image holds the folders three (3 files) and many (its other files):
// the best of three visits of each is printed, with the ratio of many's time
// to three's.
void time_listing(const std::vector<std::string>& images) {
  for (const std::string& file : images) {
    Image image;
    if (!load_image_table(g_setup.at(file), &image)) continue;
    const Entry* three = find_entry(image.root, "three");
    const Entry* many = find_entry(image.root, "many");
    if (!check(three && many, "%s has no folders three and many", file.c_str())) continue;
    Ombrel o;
    if (!o.start(quoted(g_setup.at(file)))) continue;
    double best_three = 1e9, best_many = 1e9;
    for (int round = 0; round < 3; ++round) {
      best_three = std::min(best_three, time_visit(o, "three", three->children.size()));
      best_many = std::min(best_many, time_visit(o, "many", many->children.size()));
    }
    std::printf("listing %zu rows: %.3f s; 3 rows: %.3f s; ratio %.1f\n", many->children.size(), best_many, best_three,
                best_many / best_three);
    std::fflush(stdout);
    o.quit();
  }
}

}  // namespace

int main(int argc, char** argv) {
  std::vector<std::string> timed_images;
  for (int i = 1; i < argc; ++i) {
    std::string timed;
    if (ui::take_argument(i, argc, argv, "--time-listing", &timed)) {
      timed_images.push_back(timed);
      continue;
    }
    if (ui::take_argument(i, argc, argv, "--ombrel", &g_setup.ombrel) ||
        ui::take_argument(i, argc, argv, "--work", &g_setup.work) ||
        ui::take_argument(i, argc, argv, "--exchange", &g_setup.exchange) ||
        ui::take_argument(i, argc, argv, "--only", &g_setup.only) ||
        ui::take_argument(i, argc, argv, "--drive", &g_setup.drive))
      continue;
    std::fprintf(stderr, "ombrel_ui_driver: unknown argument %s\n", argv[i]);
    return 2;
  }
  if (g_setup.ombrel.empty() || g_setup.work.empty()) {
    std::fprintf(stderr,
                 "usage: ombrel_ui_driver --ombrel EXE --work FOLDER [--exchange FOLDER] [--drive X:] [--only NAME]\n"
                 "       ombrel_ui_driver --ombrel EXE --work FOLDER --time-listing IMAGE...\n");
    return 2;
  }
  ui::set_screenshot_exchange(g_setup.exchange);
  if (!timed_images.empty()) {
    time_listing(timed_images);
    return ui::checks_failed() == 0 ? 0 : 1;
  }
  return ui::run_scenarios({{"browse", scenario_browse},
                            {"open-failure", scenario_open_failure},
                            {"properties", scenario_properties},
                            {"extract", scenario_extract},
                            {"copying", scenario_copying},
                            {"keys", scenario_keys},
                            {"hostile-name", scenario_hostile_name},
                            {"containers", scenario_containers},
                            {"edit", scenario_edit}},
                           g_setup.only);
}
