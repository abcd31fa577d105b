// MainWindow: the tree of the image's folders, the list of the selected
// folder, the toolbar, the status bar, the menus and keys; opening and
// closing images (also by a file dropped on the window), navigation and the
// commands.
#include <windows.h>

#include <commctrl.h>
#include <shellapi.h>

#include <string>
#include <vector>

#include "explorer/explorer_shell.h"
#include "explorer/resource.h"
#include "win32/file_dialogs.h"
#include "win32/window_text.h"
#include "reader/reader.h"

HWND g_main_window;
HWND g_tree_view;
HWND g_list_view;
ExtractRequest g_extract_request;

namespace {

const char TEXT_CAPTION[] = "Ombrel";
const char TEXT_NO_IMAGE[] = "ISOは読み込まれていません";
const char TEXT_CANNOT_OPEN[] = "ISOを開けません。理由:";
const char TEXT_NOT_IMPLEMENTED[] = "まだ実装してません";
const char CAPTION_SMILE[] = ":)";
const char TEXT_FILTER_IMAGES[] = "GameCube ISO (*.gcm)";
const char TEXT_FILTER_ALL[] = "すべてのファイル (*.*)";
const char TEXT_FILTER_CONTAINERS[] = "圧縮・スパースイメージ (*.rvz;*.wia;*.gcz;*.ciso;*.wdf)";

// Tree images (bitmap 108) and list images (icons 115, 114).
constexpr int TREE_IMAGE_OPEN_FOLDER = 0;
constexpr int TREE_IMAGE_CLOSED_FOLDER = 1;
constexpr int TREE_IMAGE_DISC = 3;
constexpr int TREE_IMAGE_COUNT = 4;
constexpr int LIST_IMAGE_FOLDER = 0;
constexpr int LIST_IMAGE_DOCUMENT = 1;
// The pictures' background, drawn transparent.
constexpr COLORREF ART_BACKGROUND = RGB(255, 0, 255);

// Client pixels of the layout.
constexpr int VIEW_TOP = 28;
constexpr int VIEW_HEIGHT_MARGIN = 49;
constexpr int TREE_LEFT = 2;
constexpr int TREE_WIDTH = 189;
constexpr int LIST_LEFT = 194;
constexpr int LIST_WIDTH_MARGIN = 196;
constexpr int STATUS_SECOND_PART_WIDTH = 175;
// The smallest client area the window is sized to, so that both views stay
// in sight: the list keeps a column of icons beside the tree, and both keep
// a few rows.
constexpr int MIN_LIST_WIDTH = 120;
constexpr int MIN_VIEW_HEIGHT = 96;

constexpr size_t OPEN_PATH_CAPACITY = 260;

HWND g_toolbar;
HWND g_status_bar;
HTREEITEM g_root_item;
NavigationHistory g_history;
EntryCounts g_counts;
// The image names behind the tree items and the list rows (item and row
// parameters index them): the exact bytes of the image, which the
// wide-character texts the views show may not give back.
std::vector<std::string> g_item_names;
std::vector<std::string> g_row_names;
// Set while the tree is emptied: the selection changes that emptying causes
// list nothing.
bool g_clearing_views;
// Counts the tree's selection notices, to tell whether a selection listed.
unsigned g_selection_notices;
// The open dialog starts on the previous choice.
std::string g_last_image_path;
// The window's keys (resource IDA_MAIN_WINDOW) and the filter that applies them.
HACCEL g_keys;
HHOOK g_key_filter;

HINSTANCE instance() { return GetModuleHandleA(nullptr); }

// A square icon of the given size from an icon group.
HICON load_icon(int id, int size) {
  return static_cast<HICON>(
      LoadImageA(instance(), MAKEINTRESOURCEA(id), IMAGE_ICON, size, size, 0));
}

void set_status(int part, const std::string& cp932) {
  status_bar_set_text_932(g_status_bar, part, cp932);
}

void show_no_image_status() {
  set_status(0, TEXT_NO_IMAGE);
  set_status(1, "");
}

// Stops a view's drawing while it is filled, then draws it once: item by item
// (and in the list, arranged anew after each row) a folder of thousands of
// files took seconds.
void pause_drawing(HWND view) { SendMessageA(view, WM_SETREDRAW, FALSE, 0); }
void resume_drawing(HWND view) {
  SendMessageA(view, WM_SETREDRAW, TRUE, 0);
  InvalidateRect(view, nullptr, TRUE);
}

// ---------------------------------------------------------------------------
// Tree
// ---------------------------------------------------------------------------

HTREEITEM tree_next(HTREEITEM item, UINT relation) {
  return reinterpret_cast<HTREEITEM>(
      SendMessageA(g_tree_view, TVM_GETNEXTITEM, relation, reinterpret_cast<LPARAM>(item)));
}

HTREEITEM tree_selection() { return tree_next(nullptr, TVGN_CARET); }

const std::string& tree_item_name(HTREEITEM item) {
  static const std::string none;
  TVITEMA tv = {};
  tv.mask = TVIF_PARAM;
  tv.hItem = item;
  if (!SendMessageA(g_tree_view, TVM_GETITEMA, 0, reinterpret_cast<LPARAM>(&tv))) return none;
  size_t index = size_t(tv.lParam);
  return index < g_item_names.size() ? g_item_names[index] : none;
}

HTREEITEM tree_insert(HTREEITEM parent, const std::string& name, int image, int selected_image) {
  LPARAM index = LPARAM(g_item_names.size());
  g_item_names.push_back(name);
  return tree_insert_932(g_tree_view, parent, name, image, selected_image, index);
}

void FillTree() {
  const FstNode* root = IsoGetRoot();
  g_root_item = tree_insert(TVI_ROOT, root->name, TREE_IMAGE_DISC, TREE_IMAGE_DISC);
  std::vector<TreeFolder> folders = tree_folders(root);
  std::vector<HTREEITEM> items;
  items.reserve(folders.size());
  for (const TreeFolder& folder : folders) {
    HTREEITEM parent = folder.parent < 0 ? g_root_item : items[size_t(folder.parent)];
    items.push_back(tree_insert(parent, folder.node->name, TREE_IMAGE_CLOSED_FOLDER,
                                TREE_IMAGE_OPEN_FOLDER));
  }
  SendMessageA(g_tree_view, TVM_EXPAND, TVE_EXPAND, reinterpret_cast<LPARAM>(g_root_item));
}

// ---------------------------------------------------------------------------
// List
// ---------------------------------------------------------------------------

void clear_list() {
  SendMessageA(g_list_view, LVM_DELETEALLITEMS, 0, 0);
  g_row_names.clear();
}

void ListDirectory(const std::string& path) {
  const FstNode* folder = listed_directory(path);
  g_counts = count_entries(folder);
  if (!folder) return;
  int row = 0;
  for (const FstNode* entry = folder->firstChild; entry; entry = entry->next, ++row) {
    LPARAM index = LPARAM(g_row_names.size());
    g_row_names.push_back(entry->name);
    list_view_insert_932(g_list_view, row, entry->name,
                         entry->isDirectory ? LIST_IMAGE_FOLDER : LIST_IMAGE_DOCUMENT, index);
  }
}

// Lists the tree's selected folder and shows its path and counts.
void list_selected_directory() {
  std::string path = TreeNodePath(tree_selection());
  pause_drawing(g_list_view);
  clear_list();
  ListDirectory(path);
  resume_drawing(g_list_view);
  set_status(0, path);
  set_status(1, counts_status_text(g_counts));
}

// Selects an item (null clears the selection) and lists its folder, also
// when the tree sends no notice for clearing it.
void select_tree_item(HTREEITEM item) {
  unsigned notices = g_selection_notices;
  SendMessageA(g_tree_view, TVM_SELECTITEM, TVGN_CARET, reinterpret_cast<LPARAM>(item));
  if (notices == g_selection_notices && !item) list_selected_directory();
}

// ---------------------------------------------------------------------------
// Opening and closing
// ---------------------------------------------------------------------------

void enable_views(bool enable) {
  EnableWindow(g_tree_view, enable);
  EnableWindow(g_list_view, enable);
}

void clear_tree() {
  g_clearing_views = true;
  SendMessageA(g_tree_view, TVM_DELETEITEM, 0, reinterpret_cast<LPARAM>(TVI_ROOT));
  g_clearing_views = false;
  g_item_names.clear();
  g_root_item = nullptr;
}

// Empties both views and disables them: nothing in them refers to an image.
void reset_views() {
  clear_tree();
  clear_list();
  enable_views(false);
  show_no_image_status();
}

void close_image() {
  IsoUnmount();
  reset_views();
}

void OpenImage(const char* path) {
  IsoUnmount();
  if (!IsoMount(path, 1)) {
    // The reader's text is read before the views are reset.
    std::string text = std::string(TEXT_CANNOT_OPEN) + "\n\n" + IsoGetErrorText();
    reset_views();
    message_box_932(nullptr, text, CAPTION_ERROR, MB_OK | MB_ICONERROR);
    return;
  }
  IsoPrepareBannerPicture();
  history_clear(&g_history);
  clear_tree();
  pause_drawing(g_tree_view);
  FillTree();
  resume_drawing(g_tree_view);
  select_tree_item(g_root_item);
  enable_views(true);
}

// The chosen image path in the system code page, or "" when cancelled.
std::string ChooseImageFile(HWND owner) {
  std::string chosen;
  // The containers other tools keep discs in follow the program's own two.
  ask_file_name(owner, FileDialogMode::Open,
                {{TEXT_FILTER_IMAGES, "*.gcm"},
                 {TEXT_FILTER_ALL, "*.*"},
                 {TEXT_FILTER_CONTAINERS, "*.rvz;*.wia;*.gcz;*.ciso;*.wdf"},
                 {"RVZ (*.rvz)", "*.rvz"},
                 {"WIA (*.wia)", "*.wia"},
                 {"GCZ (*.gcz)", "*.gcz"},
                 {"CISO (*.ciso)", "*.ciso"},
                 {"WDF (*.wdf)", "*.wdf"}},
                OPEN_PATH_CAPACITY, &g_last_image_path, &chosen);
  return chosen;
}

// ---------------------------------------------------------------------------
// Navigation
// ---------------------------------------------------------------------------

// Double-click in the list: a folder row opens that folder in the tree.
void open_focused_row() {
  int row = list_focused_row();
  if (row < 0) return;
  const std::string name = list_row_name(row);
  // With no selection the list shows the root, so its folders are the
  // root item's children.
  HTREEITEM parent = tree_selection();
  if (!parent) parent = g_root_item;
  if (!parent) return;
  HTREEITEM match = nullptr;
  for (HTREEITEM child = tree_next(parent, TVGN_CHILD); child;
       child = tree_next(child, TVGN_NEXT)) {
    if (tree_item_name(child) == name) {
      match = child;
      break;
    }
  }
  if (!match) return;
  SendMessageA(g_tree_view, TVM_EXPAND, TVE_EXPAND, reinterpret_cast<LPARAM>(match));
  SendMessageA(g_tree_view, TVM_ENSUREVISIBLE, 0, reinterpret_cast<LPARAM>(match));
  select_tree_item(match);
  history_push(&g_history, match);
}

void go_back() {
  HistoryItem target = nullptr;
  if (!IsoIsMounted() || !history_back(&g_history, &target)) return;
  select_tree_item(static_cast<HTREEITEM>(const_cast<void*>(target)));
}

void go_forward() {
  HistoryItem target = nullptr;
  if (!IsoIsMounted() || !history_forward(&g_history, &target)) return;
  select_tree_item(static_cast<HTREEITEM>(const_cast<void*>(target)));
}

// Up goes to the parent of the folder shown and records it.
void go_up() {
  if (!IsoIsMounted()) return;
  HTREEITEM selected = tree_selection();
  HTREEITEM parent = selected ? tree_next(selected, TVGN_PARENT) : nullptr;
  if (!parent) return;
  history_push(&g_history, parent);
  select_tree_item(parent);
}

// ---------------------------------------------------------------------------
// Commands
// ---------------------------------------------------------------------------

// Opens the copy dialog for a whole-image or Selection extraction; a
// Selection acts as seen from focus (the tree, the list or another window),
// in the tree on tree_item, or on the selected item when it is null.
void run_copy_dialog(ExtractKind kind, HWND focus, HTREEITEM tree_item) {
  g_extract_request.kind = kind;
  g_extract_request.commandFocus = focus;
  g_extract_request.treeItem = tree_item;
  DialogBoxParamA(instance(), MAKEINTRESOURCEA(IDD_COPY_PROGRESS), g_main_window,
                  CopyProgressDialogProc, 0);
}

void extract_with_dialog(ExtractKind kind) {
  run_copy_dialog(kind, kind == ExtractKind::Selection ? GetFocus() : nullptr, nullptr);
}

// A click beside the rows leaves no row selected but keeps the last focused
// row focused, unseen; the commands act on the focused row, so it goes too.
void drop_hidden_focus() {
  if (SendMessageA(g_list_view, LVM_GETNEXTITEM, WPARAM(-1), LVNI_SELECTED) >= 0) return;
  LVITEMA item = {};
  item.stateMask = LVIS_FOCUSED;
  SendMessageA(g_list_view, LVM_SETITEMSTATE, WPARAM(-1), reinterpret_cast<LPARAM>(&item));
}

// The tree item at a screen point, or null.
HTREEITEM tree_item_at(POINT screen) {
  TVHITTESTINFO hit = {};
  hit.pt = screen;
  ScreenToClient(g_tree_view, &hit.pt);
  TreeView_HitTest(g_tree_view, &hit);
  return (hit.flags & TVHT_ONITEM) ? hit.hItem : nullptr;
}

// The pop-up at a screen point. Its one command extracts what view (the tree
// or the list) shows as selected; in the tree tree_item instead when given,
// marked as the drop target while the menu is open, as Explorer's folder
// tree marks the folder it was opened on. The selection stays as it was.
void show_popup_menu(HWND window, HWND view, POINT at, HTREEITEM tree_item) {
  HMENU menu = LoadMenuA(instance(), MAKEINTRESOURCEA(IDM_POPUP_MENU));
  if (!menu) return;
  if (tree_item) TreeView_SelectDropTarget(g_tree_view, tree_item);
  int chosen = TrackPopupMenu(GetSubMenu(menu, 0), TPM_RETURNCMD, at.x, at.y, 0, window, nullptr);
  if (tree_item) TreeView_SelectDropTarget(g_tree_view, nullptr);
  DestroyMenu(menu);
  if (chosen) run_copy_dialog(ExtractKind::Selection, view, tree_item);
}

// A right-click: the pop-up at the cursor, for the tree item under it (the
// list has already focused and selected the row under it).
void show_popup_at_cursor(HWND window, HWND view) {
  POINT at;
  GetCursorPos(&at);
  if (view == g_list_view) drop_hidden_focus();
  show_popup_menu(window, view, at, view == g_tree_view ? tree_item_at(at) : nullptr);
}

// The context-menu key or Shift+F10: the pop-up for the focused view's
// selected item or focused row, shown below it (at the view's corner when
// there is none).
void show_popup_for_focus(HWND window) {
  HWND view = GetFocus();
  if (view != g_tree_view && view != g_list_view) return;
  RECT item = {};
  bool found = false;
  if (view == g_tree_view) {
    HTREEITEM selected = tree_selection();
    found = selected && TreeView_GetItemRect(g_tree_view, selected, &item, TRUE);
  } else {
    int row = list_focused_row();
    found = row >= 0 && ListView_GetItemRect(g_list_view, row, &item, LVIR_ICON);
  }
  POINT at = found ? POINT{item.left, item.bottom} : POINT{0, 0};
  ClientToScreen(view, &at);
  show_popup_menu(window, view, at, nullptr);
}

// A file dropped on the window is opened as one chosen in the open dialog.
void open_dropped_image(HDROP drop) {
  std::string path;
  bool named = dropped_file(drop, OPEN_PATH_CAPACITY, &path);
  DragFinish(drop);
  if (named) OpenImage(path.c_str());
}

void run_command(HWND window, int id) {
  switch (id) {
    case IDM_QUIT:
      EndDialog(window, 0);
      break;
    case IDM_OPEN: {
      std::string path = ChooseImageFile(window);
      if (!path.empty()) OpenImage(path.c_str());
      break;
    }
    case IDM_CLOSE:
      close_image();
      break;
    case IDM_EXTRACT_SELECTION:
    case IDM_POPUP_EXTRACT:
      extract_with_dialog(ExtractKind::Selection);
      break;
    case IDM_EXTRACT_WHOLE_IMAGE:
      extract_with_dialog(ExtractKind::WholeImage);
      break;
    case IDM_EXTRACT_BOOT_DATA:
      RunExtraction(ExtractKind::BootData);
      break;
    case IDM_EXTRACT_FST:
      RunExtraction(ExtractKind::FileSystemTable);
      break;
    case IDM_EXTRACT_APPLOADER:
      RunExtraction(ExtractKind::Apploader);
      break;
    case IDM_EXTRACT_MAIN_PROGRAM:
      RunExtraction(ExtractKind::MainProgram);
      break;
    case IDM_PROPERTIES:
      open_properties(window);
      break;
    case IDM_EDIT_REPLACE:
      run_edit_command(window, EditCommand::Replace);
      break;
    case IDM_EDIT_ADD:
      run_edit_command(window, EditCommand::Add);
      break;
    case IDM_EDIT_REMOVE:
      run_edit_command(window, EditCommand::Remove);
      break;
    case IDM_EDIT_RENAME:
      run_edit_command(window, EditCommand::Rename);
      break;
    case IDM_EDIT_HEADER:
      run_edit_command(window, EditCommand::Header);
      break;
    case IDM_ONLINE_HELP:
      message_box_932(nullptr, TEXT_NOT_IMPLEMENTED, CAPTION_SMILE, MB_OK | MB_ICONINFORMATION);
      break;
    case IDM_ABOUT:
      DialogBoxParamA(instance(), MAKEINTRESOURCEA(IDD_ABOUT), window, AboutDialogProc, 0);
      break;
    case ID_KEY_OPEN_ROW:
      if (GetFocus() == g_list_view) open_focused_row();
      break;
    case ID_KEY_UP:
      go_up();
      break;
    case ID_KEY_BACK:
      go_back();
      break;
    case ID_KEY_FORWARD:
      go_forward();
      break;
    case ID_KEY_POPUP:
      show_popup_for_focus(window);
      break;
  }
}

// The window runs in the dialog manager's loop, which has no place for an
// accelerator table; that loop hands every message to this filter first,
// where the window's keys become its commands.
LRESULT CALLBACK translate_keys(int code, WPARAM wparam, LPARAM lparam) {
  MSG* message = reinterpret_cast<MSG*>(lparam);
  if (code == MSGF_DIALOGBOX && g_main_window &&
      (message->hwnd == g_main_window || IsChild(g_main_window, message->hwnd)) &&
      TranslateAcceleratorA(g_main_window, g_keys, message)) {
    return TRUE;
  }
  return CallNextHookEx(g_key_filter, code, wparam, lparam);
}

// The toolbar's buttons share their small ids with dialog commands (1 is
// also Enter's IDOK), so only clicks from the toolbar itself count.
void run_toolbar_command(int id) {
  switch (id) {
    case ID_TOOLBAR_BACK:
      go_back();
      break;
    case ID_TOOLBAR_FORWARD:
      go_forward();
      break;
    case ID_TOOLBAR_UP:
      go_up();
      break;
    case ID_TOOLBAR_EXTRACT_SELECTION:
      extract_with_dialog(ExtractKind::Selection);
      break;
  }
}

// ---------------------------------------------------------------------------
// Set-up and layout
// ---------------------------------------------------------------------------

void attach_tree_images() {
  HIMAGELIST images = ImageList_Create(16, 16, ILC_COLOR16 | ILC_MASK, TREE_IMAGE_COUNT, 0);
  HBITMAP strip = static_cast<HBITMAP>(LoadImageA(instance(), MAKEINTRESOURCEA(IDB_TREE_IMAGES),
                                                  IMAGE_BITMAP, 0, 0, LR_CREATEDIBSECTION));
  if (strip) {
    ImageList_AddMasked(images, strip, ART_BACKGROUND);
    DeleteObject(strip);
  }
  SendMessageA(g_tree_view, TVM_SETIMAGELIST, TVSIL_NORMAL, reinterpret_cast<LPARAM>(images));
}

void attach_list_images() {
  HIMAGELIST images = ImageList_Create(32, 32, ILC_COLOR8 | ILC_MASK, 2, 0);
  for (int id : {IDI_FOLDER, IDI_DOCUMENT}) {
    HICON icon = load_icon(id, 32);
    ImageList_AddIcon(images, icon);
    if (icon) DestroyIcon(icon);
  }
  SendMessageA(g_list_view, LVM_SETIMAGELIST, LVSIL_NORMAL, reinterpret_cast<LPARAM>(images));
}

void create_toolbar(HWND window) {
  // Entry i shows image i of the strip; the separators' images are unused.
  TBBUTTON buttons[] = {
      {0, ID_TOOLBAR_BACK, TBSTATE_ENABLED, BTNS_BUTTON, {}, 0, 0},
      {1, ID_TOOLBAR_FORWARD, TBSTATE_ENABLED, BTNS_BUTTON, {}, 0, 0},
      {0, 0, TBSTATE_ENABLED, BTNS_SEP, {}, 0, 0},
      {3, ID_TOOLBAR_UP, TBSTATE_ENABLED, BTNS_BUTTON, {}, 0, 0},
      {0, 0, TBSTATE_ENABLED, BTNS_SEP, {}, 0, 0},
      {5, ID_TOOLBAR_EXTRACT_SELECTION, TBSTATE_ENABLED, BTNS_BUTTON, {}, 0, 0},
  };
  const int count = int(sizeof(buttons) / sizeof(buttons[0]));
  const DWORD style = WS_CHILD | WS_VISIBLE | TBSTYLE_FLAT | TBSTYLE_LIST | TBSTYLE_TOOLTIPS;
  g_toolbar = CreateToolbarEx(window, style, IDC_TOOLBAR, count, instance(), IDB_TOOLBAR_IMAGES,
                              buttons, count, 16, 16, 16, 16, sizeof(TBBUTTON));
}

void create_status_bar(HWND window) {
  g_status_bar =
      CreateStatusWindowA(WS_CHILD | WS_VISIBLE | SBARS_SIZEGRIP, "", window, IDC_STATUS_BAR);
}

void lay_out(HWND window) {
  RECT client;
  GetClientRect(window, &client);
  const int width = client.right;
  const int height = client.bottom;
  SendMessageA(g_toolbar, TB_AUTOSIZE, 0, 0);
  SendMessageA(g_status_bar, WM_SIZE, 0, 0);
  int parts[2] = {width - STATUS_SECOND_PART_WIDTH, -1};
  SendMessageA(g_status_bar, SB_SETPARTS, 2, reinterpret_cast<LPARAM>(parts));
  const int view_height = height > VIEW_HEIGHT_MARGIN ? height - VIEW_HEIGHT_MARGIN : 0;
  const int list_width = width > LIST_WIDTH_MARGIN ? width - LIST_WIDTH_MARGIN : 0;
  MoveWindow(g_tree_view, TREE_LEFT, VIEW_TOP, TREE_WIDTH, view_height, TRUE);
  MoveWindow(g_list_view, LIST_LEFT, VIEW_TOP, list_width, view_height, TRUE);
}

void set_up(HWND window, const char* command_line_image) {
  g_main_window = window;
  g_tree_view = GetDlgItem(window, IDC_TREE);
  g_list_view = GetDlgItem(window, IDC_LIST);
  SetMenu(window, LoadMenuA(instance(), MAKEINTRESOURCEA(IDM_MAIN_MENU)));
  history_clear(&g_history);
  HICON large = load_icon(IDI_LARGE_ICON, 32);
  HICON small = load_icon(IDI_SMALL_ICON, 16);
  SendMessageA(window, WM_SETICON, ICON_BIG, reinterpret_cast<LPARAM>(large));
  SendMessageA(window, WM_SETICON, ICON_SMALL, reinterpret_cast<LPARAM>(small));
  set_window_text_932(window, TEXT_CAPTION);
  attach_tree_images();
  attach_list_images();
  create_toolbar(window);
  create_status_bar(window);
  show_no_image_status();
  lay_out(window);
  g_keys = LoadAcceleratorsA(instance(), MAKEINTRESOURCEA(IDA_MAIN_WINDOW));
  g_key_filter = SetWindowsHookExA(WH_MSGFILTER, translate_keys, nullptr, GetCurrentThreadId());
  DragAcceptFiles(window, TRUE);
  if (command_line_image) OpenImage(command_line_image);
}

// The smallest window whose client area holds both views.
void limit_size(HWND window, MINMAXINFO* limits) {
  RECT smallest = {0, 0, LIST_WIDTH_MARGIN + MIN_LIST_WIDTH, VIEW_HEIGHT_MARGIN + MIN_VIEW_HEIGHT};
  AdjustWindowRectEx(&smallest, DWORD(GetWindowLongPtrA(window, GWL_STYLE)), GetMenu(window) != nullptr,
                     DWORD(GetWindowLongPtrA(window, GWL_EXSTYLE)));
  limits->ptMinTrackSize.x = smallest.right - smallest.left;
  limits->ptMinTrackSize.y = smallest.bottom - smallest.top;
}

// True for the notices handled here. A right-click answers nonzero so the
// views do not go on to their own context menus.
bool on_notify(HWND window, const NMHDR* header) {
  LRESULT result = 0;
  if (header->hwndFrom == g_tree_view) {
    switch (header->code) {
      case TVN_SELCHANGEDA:
      case TVN_SELCHANGEDW:
        ++g_selection_notices;
        if (!g_clearing_views) list_selected_directory();
        break;
      case NM_RCLICK:
        show_popup_at_cursor(window, g_tree_view);
        result = TRUE;
        break;
      default:
        return false;
    }
  } else if (header->hwndFrom == g_list_view) {
    switch (header->code) {
      case NM_CLICK:
        drop_hidden_focus();
        break;
      case NM_DBLCLK:
        open_focused_row();
        break;
      case NM_RCLICK:
        show_popup_at_cursor(window, g_list_view);
        result = TRUE;
        break;
      default:
        return false;
    }
  } else {
    return false;
  }
  SetWindowLongPtrA(window, DWLP_MSGRESULT, result);
  return true;
}

}  // namespace

HTREEITEM main_root_item() { return g_root_item; }

std::string TreeNodePath(HTREEITEM item) {
  std::vector<std::string> names;
  for (HTREEITEM at = item; at && at != g_root_item; at = tree_next(at, TVGN_PARENT)) {
    names.insert(names.begin(), tree_item_name(at));
  }
  return join_tree_path(names);
}

EditSelection edit_selection() {
  const std::string folder = TreeNodePath(tree_selection());
  if (GetFocus() == g_tree_view) return tree_folder_selection(folder);
  EditSelection selection{folder, {}, folder};
  for (int row = ListView_GetNextItem(g_list_view, -1, LVNI_SELECTED); row >= 0;
       row = ListView_GetNextItem(g_list_view, row, LVNI_SELECTED)) {
    LVITEMA item = {};
    item.mask = LVIF_IMAGE;
    item.iItem = row;
    SendMessageA(g_list_view, LVM_GETITEMA, 0, reinterpret_cast<LPARAM>(&item));
    selection.rows.push_back({list_row_name(row), item.iImage == LIST_IMAGE_FOLDER});
  }
  return selection;
}

void reopen_image_at(const std::string& image_path, const EditRestore& restore) {
  OpenImage(image_path.c_str());
  if (!IsoIsMounted()) return;
  // The folder's item, name by name from the root item.
  HTREEITEM item = g_root_item;
  const std::string folder = existing_folder(restore.folder);
  size_t start = 1;
  while (item && start < folder.size()) {
    size_t end = folder.find('/', start);
    if (end == std::string::npos) end = folder.size();
    const std::string name = folder.substr(start, end - start);
    HTREEITEM match = nullptr;
    for (HTREEITEM child = tree_next(item, TVGN_CHILD); child && !match; child = tree_next(child, TVGN_NEXT)) {
      if (tree_item_name(child) == name) match = child;
    }
    item = match;
    start = end + 1;
  }
  if (!item) item = g_root_item;
  SendMessageA(g_tree_view, TVM_ENSUREVISIBLE, 0, reinterpret_cast<LPARAM>(item));
  select_tree_item(item);
  // The rows, the first of them focused; the list takes one selected row.
  bool focused = false;
  const int rows = int(SendMessageA(g_list_view, LVM_GETITEMCOUNT, 0, 0));
  for (int row = 0; row < rows && !focused; ++row) {
    const std::string name = list_row_name(row);
    for (const std::string& wanted : restore.rows) {
      if (name != wanted) continue;
      LVITEMA state = {};
      state.stateMask = LVIS_SELECTED | LVIS_FOCUSED;
      state.state = LVIS_SELECTED | LVIS_FOCUSED;
      SendMessageA(g_list_view, LVM_SETITEMSTATE, WPARAM(row), reinterpret_cast<LPARAM>(&state));
      SendMessageA(g_list_view, LVM_ENSUREVISIBLE, WPARAM(row), FALSE);
      focused = true;
      break;
    }
  }
  SetFocus(g_list_view);
}

int list_focused_row() {
  return int(SendMessageA(g_list_view, LVM_GETNEXTITEM, WPARAM(-1), LVNI_FOCUSED));
}

std::string list_row_name(int row) {
  if (row < 0) return std::string();
  LVITEMA item = {};
  item.mask = LVIF_PARAM;
  item.iItem = row;
  if (!SendMessageA(g_list_view, LVM_GETITEMA, 0, reinterpret_cast<LPARAM>(&item))) {
    return std::string();
  }
  size_t index = size_t(item.lParam);
  if (index >= g_row_names.size()) return std::string();
  // The whole name, however long: a name cut short would name another entry
  // or none.
  return g_row_names[index];
}

INT_PTR CALLBACK MainWindowProc(HWND window, UINT message, WPARAM wparam, LPARAM lparam) {
  switch (message) {
    case WM_INITDIALOG:
      set_up(window, reinterpret_cast<const char*>(lparam));
      return TRUE;
    case WM_SIZE:
      lay_out(window);
      return TRUE;
    case WM_GETMINMAXINFO:
      limit_size(window, reinterpret_cast<MINMAXINFO*>(lparam));
      return TRUE;
    case WM_DROPFILES:
      open_dropped_image(reinterpret_cast<HDROP>(wparam));
      return TRUE;
    case WM_NOTIFY:
      return on_notify(window, reinterpret_cast<const NMHDR*>(lparam));
    case WM_COMMAND:
      if (lparam && reinterpret_cast<HWND>(lparam) == g_toolbar) {
        run_toolbar_command(LOWORD(wparam));
      } else if (!lparam) {
        run_command(window, LOWORD(wparam));
      }
      return TRUE;
    case WM_CLOSE:
      EndDialog(window, 0);
      return TRUE;
    case WM_DESTROY:
      if (g_key_filter) UnhookWindowsHookEx(g_key_filter);
      g_key_filter = nullptr;
      return FALSE;
  }
  return FALSE;
}
