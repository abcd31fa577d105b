// Driving another process's dialogs by class, caption and control id.
#include "ui_driver.h"

#include <commctrl.h>
#include <shlobj.h>

#include <cstdarg>
#include <cstdio>
#include <cstring>
#include <algorithm>
#include <iterator>
#include <utility>

namespace ui {

// ---------------------------------------------------------------------------
// Texts
// ---------------------------------------------------------------------------

std::wstring from_code_page(const std::string& bytes, UINT code_page) {
  if (bytes.empty()) return std::wstring();
  int n = MultiByteToWideChar(code_page, 0, bytes.data(), int(bytes.size()), nullptr, 0);
  std::wstring wide(size_t(n), L'\0');
  MultiByteToWideChar(code_page, 0, bytes.data(), int(bytes.size()), &wide[0], n);
  return wide;
}

std::string to_code_page(const std::wstring& text, UINT code_page) {
  if (text.empty()) return std::string();
  int n = WideCharToMultiByte(code_page, 0, text.data(), int(text.size()), nullptr, 0, nullptr, nullptr);
  std::string bytes(size_t(n), '\0');
  WideCharToMultiByte(code_page, 0, text.data(), int(text.size()), &bytes[0], n, nullptr, nullptr);
  return bytes;
}

std::wstring from_cp932(const std::string& bytes) { return from_code_page(bytes, 932); }

std::string to_cp932(const std::wstring& text) { return to_code_page(text, 932); }

std::string cp932_to_utf8(const std::string& bytes) { return to_code_page(from_cp932(bytes), CP_UTF8); }

static std::string vformat(const char* fmt, va_list args) {
  char buffer[2048];
  vsnprintf(buffer, sizeof buffer, fmt, args);
  return buffer;
}

std::string format(const char* fmt, ...) {
  va_list args;
  va_start(args, fmt);
  std::string text = vformat(fmt, args);
  va_end(args);
  return text;
}

// ---------------------------------------------------------------------------
// Results
// ---------------------------------------------------------------------------

static int g_checks = 0;
static int g_failures = 0;

void note(const char* fmt, ...) {
  va_list args;
  va_start(args, fmt);
  std::string text = vformat(fmt, args);
  va_end(args);
  static DWORD start = GetTickCount();
  std::printf("  %6.1f s  %s\n", (GetTickCount() - start) / 1000.0, text.c_str());
  std::fflush(stdout);
}

bool check(bool ok, const char* what, ...) {
  ++g_checks;
  if (!ok) {
    ++g_failures;
    va_list args;
    va_start(args, what);
    std::string text = vformat(what, args);
    va_end(args);
    std::printf("FAIL: %s\n", text.c_str());
    std::fflush(stdout);
  }
  return ok;
}

bool check_text(const std::string& actual, const std::string& expected, const char* what) {
  bool ok = actual == expected;
  if (!check(ok, "%s", what)) {
    std::printf("      expected: \"%s\"\n      actual:   \"%s\"\n", cp932_to_utf8(expected).c_str(),
                cp932_to_utf8(actual).c_str());
    std::fflush(stdout);
  }
  return ok;
}

bool check_number(long long actual, long long expected, const char* what) {
  return check(actual == expected, "%s: expected %lld, got %lld", what, expected, actual);
}

bool check_wide(const std::wstring& actual, const std::wstring& expected, const char* what) {
  bool ok = actual == expected;
  if (!check(ok, "%s", what)) {
    std::printf("      expected: \"%s\"\n      actual:   \"%s\"\n", to_code_page(expected, CP_UTF8).c_str(),
                to_code_page(actual, CP_UTF8).c_str());
    std::fflush(stdout);
  }
  return ok;
}

int checks_run() { return g_checks; }
int checks_failed() { return g_failures; }

int run_scenarios(const std::vector<Scenario>& scenarios, const std::string& only) {
  for (const Scenario& scenario : scenarios) {
    if (!only.empty() && only != scenario.name) continue;
    int failed_before = g_failures;
    DWORD start = GetTickCount();
    std::printf("== %s\n", scenario.name);
    std::fflush(stdout);
    scenario.run();
    std::printf("== %s: %s (%.1f s)\n", scenario.name, g_failures == failed_before ? "ok" : "FAILED",
                (GetTickCount() - start) / 1000.0);
    std::fflush(stdout);
  }
  std::printf("%d checks, %d failed\n", g_checks, g_failures);
  return g_failures == 0 ? 0 : 1;
}

bool take_argument(int& i, int argc, char** argv, const char* flag, std::string* value) {
  if (std::strcmp(argv[i], flag) != 0 || i + 1 >= argc) return false;
  *value = argv[++i];
  return true;
}

// ---------------------------------------------------------------------------
// Processes
// ---------------------------------------------------------------------------

bool start_process(const std::string& command_line, const std::string& working_folder,
                   Process* process) {
  std::wstring line = from_cp932(command_line);
  std::wstring folder = from_cp932(working_folder);
  STARTUPINFOW startup = {};
  startup.cb = sizeof startup;
  PROCESS_INFORMATION info = {};
  if (!CreateProcessW(nullptr, &line[0], nullptr, nullptr, FALSE, 0, nullptr,
                      folder.empty() ? nullptr : folder.c_str(), &startup, &info)) {
    check(false, "cannot start %s (error %lu)", cp932_to_utf8(command_line).c_str(), GetLastError());
    return false;
  }
  CloseHandle(info.hThread);
  process->handle = info.hProcess;
  process->id = info.dwProcessId;
  return true;
}

bool wait_for_exit(Process& process, DWORD timeout_ms, DWORD* exit_code) {
  if (!process.handle) return false;
  if (WaitForSingleObject(process.handle, timeout_ms) != WAIT_OBJECT_0) return false;
  DWORD code = 0;
  GetExitCodeProcess(process.handle, &code);
  if (exit_code) *exit_code = code;
  return true;
}

bool is_running(const Process& process) {
  return process.handle && WaitForSingleObject(process.handle, 0) == WAIT_TIMEOUT;
}

void end_process(Process& process) {
  if (!process.handle) return;
  if (is_running(process)) {
    TerminateProcess(process.handle, 99);
    WaitForSingleObject(process.handle, 5000);
  }
  CloseHandle(process.handle);
  process.handle = nullptr;
  process.id = 0;
}

bool run_program(const std::wstring& command_line, DWORD timeout_ms, DWORD* exit_code) {
  std::wstring line = command_line;
  STARTUPINFOW startup = {};
  startup.cb = sizeof startup;
  PROCESS_INFORMATION info = {};
  if (!CreateProcessW(nullptr, &line[0], nullptr, nullptr, TRUE, 0, nullptr, nullptr, &startup, &info))
    return false;
  CloseHandle(info.hThread);
  bool ended = WaitForSingleObject(info.hProcess, timeout_ms) == WAIT_OBJECT_0;
  if (ended) {
    GetExitCodeProcess(info.hProcess, exit_code);
  } else {
    TerminateProcess(info.hProcess, 99);
  }
  CloseHandle(info.hProcess);
  return ended;
}

// ---------------------------------------------------------------------------
// Windows
// ---------------------------------------------------------------------------

struct EnumContext {
  DWORD process_id;
  std::vector<HWND> windows;
};

static BOOL CALLBACK collect_window(HWND window, LPARAM param) {
  EnumContext* context = reinterpret_cast<EnumContext*>(param);
  DWORD owner = 0;
  GetWindowThreadProcessId(window, &owner);
  if (owner == context->process_id && IsWindowVisible(window)) context->windows.push_back(window);
  return TRUE;
}

std::vector<HWND> visible_windows(DWORD process_id) {
  EnumContext context = {process_id, {}};
  EnumWindows(collect_window, reinterpret_cast<LPARAM>(&context));
  return context.windows;
}

std::wstring class_of(HWND window) {
  wchar_t name[128] = {};
  GetClassNameW(window, name, 128);
  return name;
}

std::wstring window_text_wide(HWND window) {
  if (!window) return std::wstring();
  LRESULT length = SendMessageW(window, WM_GETTEXTLENGTH, 0, 0);
  std::wstring text(size_t(length) + 1, L'\0');
  LRESULT got = SendMessageW(window, WM_GETTEXT, WPARAM(text.size()), reinterpret_cast<LPARAM>(&text[0]));
  text.resize(size_t(got));
  return text;
}

std::string window_text(HWND window) { return to_cp932(window_text_wide(window)); }

HWND match_window(DWORD process_id, const WindowMatch& match) {
  for (HWND window : visible_windows(process_id)) {
    if (window == match.not_this) continue;
    if (match.class_name && class_of(window) != match.class_name) continue;
    if (match.caption && window_text(window) != match.caption) continue;
    if (match.control_id && !GetDlgItem(window, match.control_id)) continue;
    return window;
  }
  return nullptr;
}

void describe_windows(DWORD process_id) {
  std::printf("      visible windows of process %lu:\n", process_id);
  for (HWND window : visible_windows(process_id)) {
    std::printf("      - %ls \"%s\"\n", class_of(window).c_str(), cp932_to_utf8(window_text(window)).c_str());
    for (HWND child = GetWindow(window, GW_CHILD); child; child = GetWindow(child, GW_HWNDNEXT)) {
      std::string text = window_text(child);
      if (!text.empty())
        std::printf("          %d %ls \"%s\"\n", GetDlgCtrlID(child), class_of(child).c_str(),
                    cp932_to_utf8(text).c_str());
    }
  }
  std::fflush(stdout);
}

HWND wait_for_window(DWORD process_id, const WindowMatch& match, DWORD timeout_ms, const char* what) {
  HWND found = nullptr;
  wait_until([&] { return (found = match_window(process_id, match)) != nullptr; }, timeout_ms);
  if (!check(found != nullptr, "no window appeared: %s", what)) describe_windows(process_id);
  return found;
}

bool wait_until_gone(HWND window, DWORD timeout_ms) {
  return wait_until([&] { return !IsWindow(window) || !IsWindowVisible(window); }, timeout_ms);
}

HWND control(HWND dialog, int id) { return GetDlgItem(dialog, id); }

std::string control_text(HWND dialog, int id) { return window_text(control(dialog, id)); }

std::string stored_window_text(HWND window) {
  wchar_t text[512] = {};
  int n = GetWindowTextW(window, text, int(sizeof text / sizeof text[0]));
  return to_cp932(std::wstring(text, n > 0 ? size_t(n) : 0));
}

void set_control_text(HWND dialog, int id, const std::string& cp932) {
  std::wstring text = from_cp932(cp932);
  SendMessageW(control(dialog, id), WM_SETTEXT, 0, reinterpret_cast<LPARAM>(text.c_str()));
}

bool is_enabled(HWND dialog, int id) {
  HWND window = control(dialog, id);
  return window && IsWindowEnabled(window);
}

bool is_checked(HWND dialog, int id) {
  return SendMessageW(control(dialog, id), BM_GETCHECK, 0, 0) == BST_CHECKED;
}

LONG_PTR window_style(HWND window) { return GetWindowLongPtrW(window, GWL_STYLE); }

HWND focus_of_thread(HWND window) {
  GUITHREADINFO info = {};
  info.cbSize = sizeof info;
  if (!GetGUIThreadInfo(GetWindowThreadProcessId(window, nullptr), &info)) return nullptr;
  return info.hwndFocus;
}

bool click(HWND dialog, int id) {
  HWND button = control(dialog, id);
  if (!check(button != nullptr, "control %d is missing", id)) return false;
  if (!check(IsWindowVisible(button) && IsWindowEnabled(button), "control %d (\"%s\") cannot be clicked",
             id, cp932_to_utf8(window_text(button)).c_str()))
    return false;
  PostMessageW(button, BM_CLICK, 0, 0);
  return true;
}

bool toggle_check_box(HWND dialog, int id) {
  bool before = is_checked(dialog, id);
  if (!click(dialog, id)) return false;
  return check(wait_until([&] { return is_checked(dialog, id) != before; }, DEFAULT_TIMEOUT_MS),
               "check box %d did not change", id);
}

void press_escape(HWND dialog) {
  PostMessageW(dialog, WM_KEYDOWN, VK_ESCAPE, 0x00010001);
  PostMessageW(dialog, WM_KEYUP, VK_ESCAPE, 0xC0010001);
}

void close_from_title_bar(HWND window) { PostMessageW(window, WM_SYSCOMMAND, SC_CLOSE, 0); }

void settle(HWND window) {
  DWORD_PTR result = 0;
  // A message sent to the window returns once its thread takes messages again;
  // the repaint that follows is then done before the picture is taken.
  SendMessageTimeoutW(window, WM_NULL, 0, 0, SMTO_NORMAL, 2000, &result);
  RedrawWindow(window, nullptr, nullptr, RDW_INVALIDATE | RDW_ERASE | RDW_ALLCHILDREN | RDW_UPDATENOW);
  Sleep(300);
}

// The lines of a list box or a combo box's list, read with the control's own
// count, length and text messages.
static std::vector<std::wstring> control_lines_wide(HWND control, UINT count_message, UINT length_message,
                                                   UINT text_message) {
  std::vector<std::wstring> lines;
  LRESULT count = SendMessageW(control, count_message, 0, 0);
  for (LRESULT i = 0; i < count; ++i) {
    LRESULT length = SendMessageW(control, length_message, WPARAM(i), 0);
    if (length < 0) length = 0;
    std::wstring text(size_t(length) + 1, L'\0');
    LRESULT got = SendMessageW(control, text_message, WPARAM(i), reinterpret_cast<LPARAM>(&text[0]));
    text.resize(got < 0 ? 0 : size_t(got));
    lines.push_back(text);
  }
  return lines;
}

static std::vector<std::string> control_lines(HWND control, UINT count_message, UINT length_message,
                                              UINT text_message) {
  std::vector<std::string> lines;
  for (const std::wstring& line : control_lines_wide(control, count_message, length_message, text_message))
    lines.push_back(to_cp932(line));
  return lines;
}

std::vector<std::string> list_box_lines(HWND list) {
  return control_lines(list, LB_GETCOUNT, LB_GETTEXTLEN, LB_GETTEXT);
}

std::vector<std::string> combo_items(HWND combo) {
  return control_lines(combo, CB_GETCOUNT, CB_GETLBTEXTLEN, CB_GETLBTEXT);
}

std::vector<std::wstring> combo_items_wide(HWND combo) {
  return control_lines_wide(combo, CB_GETCOUNT, CB_GETLBTEXTLEN, CB_GETLBTEXT);
}

int combo_selection(HWND combo) { return int(SendMessageW(combo, CB_GETCURSEL, 0, 0)); }

void combo_select(HWND combo, int index) { SendMessageW(combo, CB_SETCURSEL, WPARAM(index), 0); }

// ---------------------------------------------------------------------------
// Message boxes
// ---------------------------------------------------------------------------

HWND wait_for_message_box(DWORD process_id, const char* caption, DWORD timeout_ms, const char* what) {
  WindowMatch match;
  match.caption = caption;
  match.control_id = MESSAGE_TEXT_ID;
  return wait_for_window(process_id, match, timeout_ms,
                         format("message box \"%s\": %s", cp932_to_utf8(caption).c_str(), what).c_str());
}

bool answer_message_box(DWORD process_id, const char* caption, const std::string& expected_text,
                        int button_id, const char* what) {
  HWND box = wait_for_message_box(process_id, caption, DEFAULT_TIMEOUT_MS, what);
  if (!box) return false;
  check_text(control_text(box, MESSAGE_TEXT_ID), expected_text, what);
  if (!click(box, button_id)) return false;
  return check(wait_until_gone(box, DEFAULT_TIMEOUT_MS), "message box stayed open: %s", what);
}

bool no_message_box_within(DWORD process_id, DWORD milliseconds) {
  WindowMatch match;
  match.control_id = MESSAGE_TEXT_ID;
  return !wait_until([&] { return match_window(process_id, match) != nullptr; }, milliseconds);
}

// ---------------------------------------------------------------------------
// Tree views
// ---------------------------------------------------------------------------

// A block of memory in another process, for messages that carry pointers.
class RemoteBlock {
 public:
  RemoteBlock(HANDLE process, size_t size) : process_(process) {
    address_ = VirtualAllocEx(process, nullptr, size, MEM_COMMIT | MEM_RESERVE, PAGE_READWRITE);
  }
  ~RemoteBlock() {
    if (address_) VirtualFreeEx(process_, address_, 0, MEM_RELEASE);
  }
  RemoteBlock(const RemoteBlock&) = delete;
  RemoteBlock& operator=(const RemoteBlock&) = delete;

  void* address() const { return address_; }
  bool write(size_t offset, const void* bytes, size_t n) {
    return WriteProcessMemory(process_, static_cast<char*>(address_) + offset, bytes, n, nullptr);
  }
  bool read(size_t offset, void* bytes, size_t n) {
    return ReadProcessMemory(process_, static_cast<char*>(address_) + offset, bytes, n, nullptr);
  }

 private:
  HANDLE process_;
  void* address_;
};

std::string tree_item_text(HANDLE process, HWND tree, HTREEITEM item) {
  return tree_item_info(process, tree, item).text;
}

std::vector<HTREEITEM> tree_child_items(HWND tree, HTREEITEM parent) {
  std::vector<HTREEITEM> children;
  HTREEITEM child = reinterpret_cast<HTREEITEM>(
      SendMessageW(tree, TVM_GETNEXTITEM, TVGN_CHILD, reinterpret_cast<LPARAM>(parent)));
  while (child) {
    children.push_back(child);
    child = reinterpret_cast<HTREEITEM>(
        SendMessageW(tree, TVM_GETNEXTITEM, TVGN_NEXT, reinterpret_cast<LPARAM>(child)));
  }
  return children;
}

std::vector<HTREEITEM> tree_children(HWND tree, HTREEITEM parent) {
  SendMessageW(tree, TVM_EXPAND, TVE_EXPAND, reinterpret_cast<LPARAM>(parent));
  return tree_child_items(tree, parent);
}

static bool ends_with(const std::string& text, const std::string& tail) {
  return text.size() >= tail.size() && text.compare(text.size() - tail.size(), tail.size(), tail) == 0;
}

static std::vector<std::string> split_path(const std::string& path) {
  std::vector<std::string> parts;
  std::string part;
  for (size_t i = 0; i < path.size(); ++i) {
    unsigned char c = static_cast<unsigned char>(path[i]);
    bool lead = (c >= 0x81 && c <= 0x9F) || (c >= 0xE0 && c <= 0xFC);
    if (lead && i + 1 < path.size()) {  // a double-byte character: its trail may be 0x5C
      part += path[i];
      part += path[++i];
    } else if (c == '\\') {
      if (!part.empty()) parts.push_back(part);
      part.clear();
    } else {
      part += char(c);
    }
  }
  if (!part.empty()) parts.push_back(part);
  return parts;
}

bool tree_select_path(HANDLE process, HWND tree, const std::string& windows_path) {
  std::vector<std::string> parts = split_path(windows_path);
  if (parts.empty()) return false;
  std::string drive_tail = "(" + parts[0] + ")";  // " (Z:)"

  HTREEITEM root = reinterpret_cast<HTREEITEM>(SendMessageW(tree, TVM_GETNEXTITEM, TVGN_ROOT, 0));
  if (!root) return false;
  // The drives sit one level below the desktop's children ("My Computer").
  HTREEITEM current = nullptr;
  for (HTREEITEM place : tree_children(tree, root)) {
    for (HTREEITEM drive : tree_children(tree, place)) {
      if (ends_with(tree_item_text(process, tree, drive), drive_tail)) {
        current = drive;
        break;
      }
    }
    if (current) break;
  }
  if (!check(current != nullptr, "folder tree has no drive %s", parts[0].c_str())) return false;

  for (size_t i = 1; i < parts.size(); ++i) {
    HTREEITEM next = nullptr;
    for (HTREEITEM child : tree_children(tree, current)) {
      if (lstrcmpiW(from_cp932(tree_item_text(process, tree, child)).c_str(), from_cp932(parts[i]).c_str()) == 0) {
        next = child;
        break;
      }
    }
    if (!check(next != nullptr, "folder tree has no \"%s\"", cp932_to_utf8(parts[i]).c_str())) return false;
    current = next;
  }
  SendMessageW(tree, TVM_SELECTITEM, TVGN_CARET, reinterpret_cast<LPARAM>(current));
  SendMessageW(tree, TVM_ENSUREVISIBLE, 0, reinterpret_cast<LPARAM>(current));
  return check(SendMessageW(tree, TVM_GETNEXTITEM, TVGN_CARET, 0) == reinterpret_cast<LRESULT>(current),
               "folder tree did not select %s", cp932_to_utf8(windows_path).c_str());
}

// ---------------------------------------------------------------------------
// Other common controls
// ---------------------------------------------------------------------------

namespace {

constexpr int REMOTE_TEXT_CHARS = 512;

// A struct followed by a text buffer in the target; the struct's text
// pointer is set to the buffer before it is written there.
template <class Record>
struct RemoteRecord {
  RemoteBlock block;
  RemoteRecord(HANDLE process) : block(process, sizeof(Record) + REMOTE_TEXT_CHARS * sizeof(wchar_t)) {}
  bool ok() const { return block.address() != nullptr; }
  wchar_t* remote_text() const {
    return reinterpret_cast<wchar_t*>(static_cast<char*>(block.address()) + sizeof(Record));
  }
  LPARAM remote() const { return reinterpret_cast<LPARAM>(block.address()); }
  void put(const Record& record) {
    wchar_t empty[1] = {L'\0'};
    block.write(0, &record, sizeof record);
    block.write(sizeof(Record), empty, sizeof empty);
  }
  Record get() {
    Record record = {};
    block.read(0, &record, sizeof record);
    return record;
  }
  std::string text() {
    wchar_t buffer[REMOTE_TEXT_CHARS] = {};
    block.read(sizeof(Record), buffer, sizeof buffer);
    buffer[REMOTE_TEXT_CHARS - 1] = L'\0';
    return to_cp932(buffer);
  }
};

LPARAM point_param(POINT at) { return MAKELPARAM(at.x, at.y); }

}  // namespace

TreeItemInfo tree_item_info(HANDLE process, HWND tree, HTREEITEM item) {
  TreeItemInfo info;
  RemoteRecord<TVITEMW> remote(process);
  if (!remote.ok()) return info;
  TVITEMW request = {};
  request.mask = TVIF_TEXT | TVIF_HANDLE | TVIF_IMAGE | TVIF_SELECTEDIMAGE | TVIF_STATE;
  request.hItem = item;
  request.stateMask = UINT(-1);
  request.pszText = remote.remote_text();
  request.cchTextMax = REMOTE_TEXT_CHARS;
  remote.put(request);
  if (!SendMessageW(tree, TVM_GETITEMW, 0, remote.remote())) return info;
  TVITEMW answer = remote.get();
  info.text = remote.text();
  info.image = answer.iImage;
  info.selected_image = answer.iSelectedImage;
  info.state = answer.state;
  return info;
}

std::vector<ListRow> list_view_rows(HANDLE process, HWND list) {
  std::vector<ListRow> rows;
  RemoteRecord<LVITEMW> remote(process);
  if (!remote.ok()) return rows;
  LRESULT count = SendMessageW(list, LVM_GETITEMCOUNT, 0, 0);
  for (LRESULT i = 0; i < count; ++i) {
    LVITEMW request = {};
    request.mask = LVIF_TEXT | LVIF_IMAGE | LVIF_STATE;
    request.iItem = int(i);
    request.stateMask = LVIS_FOCUSED | LVIS_SELECTED;
    request.pszText = remote.remote_text();
    request.cchTextMax = REMOTE_TEXT_CHARS;
    remote.put(request);
    ListRow row;
    if (SendMessageW(list, LVM_GETITEMW, 0, remote.remote())) {
      LVITEMW answer = remote.get();
      row.text = remote.text();
      row.image = answer.iImage;
      row.state = answer.state;
    }
    rows.push_back(row);
  }
  return rows;
}

bool list_view_set_state(HANDLE process, HWND list, int index, UINT state, UINT mask) {
  RemoteRecord<LVITEMW> remote(process);
  if (!remote.ok()) return false;
  LVITEMW request = {};
  request.state = state;
  request.stateMask = mask;
  remote.put(request);
  return SendMessageW(list, LVM_SETITEMSTATE, WPARAM(index), remote.remote()) != 0;
}

bool list_view_item_rect(HANDLE process, HWND list, int index, RECT* rect) {
  RemoteBlock block(process, sizeof(RECT));
  if (!block.address()) return false;
  RECT request = {};
  request.left = LVIR_BOUNDS;
  block.write(0, &request, sizeof request);
  if (!SendMessageW(list, LVM_GETITEMRECT, WPARAM(index), reinterpret_cast<LPARAM>(block.address()))) return false;
  return block.read(0, rect, sizeof *rect);
}

bool tree_item_rect(HANDLE process, HWND tree, HTREEITEM item, RECT* rect) {
  RemoteBlock block(process, sizeof(RECT));
  if (!block.address()) return false;
  // TVM_GETITEMRECT takes the item handle in the rectangle's place.
  block.write(0, &item, sizeof item);
  if (!SendMessageW(tree, TVM_GETITEMRECT, TRUE, reinterpret_cast<LPARAM>(block.address()))) return false;
  return block.read(0, rect, sizeof *rect);
}

std::string status_text(HANDLE process, HWND status_bar, int part) {
  RemoteBlock block(process, REMOTE_TEXT_CHARS * sizeof(wchar_t));
  if (!block.address()) return std::string();
  wchar_t empty[1] = {L'\0'};
  block.write(0, empty, sizeof empty);
  LRESULT length = LOWORD(SendMessageW(status_bar, SB_GETTEXTLENGTHW, WPARAM(part), 0));
  if (length >= REMOTE_TEXT_CHARS) return std::string("<status text too long>");
  SendMessageW(status_bar, SB_GETTEXTW, WPARAM(part), reinterpret_cast<LPARAM>(block.address()));
  wchar_t text[REMOTE_TEXT_CHARS] = {};
  block.read(0, text, sizeof text);
  text[REMOTE_TEXT_CHARS - 1] = L'\0';
  return to_cp932(text);
}

std::vector<int> status_parts(HANDLE process, HWND status_bar) {
  constexpr int MOST = 256;
  RemoteBlock block(process, MOST * sizeof(int));
  if (!block.address()) return {};
  int count = int(SendMessageW(status_bar, SB_GETPARTS, MOST, reinterpret_cast<LPARAM>(block.address())));
  if (count <= 0 || count > MOST) return {};
  std::vector<int> edges(size_t(count), 0);
  block.read(0, edges.data(), edges.size() * sizeof(int));
  return edges;
}

std::string tab_text(HANDLE process, HWND tab, int index) {
  RemoteRecord<TCITEMW> remote(process);
  if (!remote.ok()) return std::string();
  TCITEMW request = {};
  request.mask = TCIF_TEXT;
  request.pszText = remote.remote_text();
  request.cchTextMax = REMOTE_TEXT_CHARS;
  remote.put(request);
  if (!SendMessageW(tab, TCM_GETITEMW, WPARAM(index), remote.remote())) return std::string();
  return remote.text();
}

bool toolbar_item_rect(HANDLE process, HWND toolbar, int index, RECT* rect) {
  RemoteBlock block(process, sizeof(RECT));
  if (!block.address()) return false;
  if (!SendMessageW(toolbar, TB_GETITEMRECT, WPARAM(index), reinterpret_cast<LPARAM>(block.address())))
    return false;
  return block.read(0, rect, sizeof *rect);
}

void post_click(HWND window, POINT at) {
  PostMessageW(window, WM_LBUTTONDOWN, MK_LBUTTON, point_param(at));
  PostMessageW(window, WM_LBUTTONUP, 0, point_param(at));
}

// A double click arrives as down, up, double-click, up.
void post_double_click(HWND window, POINT at) {
  post_click(window, at);
  PostMessageW(window, WM_LBUTTONDBLCLK, MK_LBUTTON, point_param(at));
  PostMessageW(window, WM_LBUTTONUP, 0, point_param(at));
}

void post_right_click(HWND window, POINT at) {
  // Context menus open at the cursor, so it goes where the click is.
  POINT screen = at;
  ClientToScreen(window, &screen);
  SetCursorPos(screen.x, screen.y);
  PostMessageW(window, WM_RBUTTONDOWN, MK_RBUTTON, point_param(at));
  PostMessageW(window, WM_RBUTTONUP, 0, point_param(at));
}

POINT centre_of(const RECT& rect) { return POINT{(rect.left + rect.right) / 2, (rect.top + rect.bottom) / 2}; }

void type_keys(HWND window, std::initializer_list<WORD> keys) {
  SetForegroundWindow(GetAncestor(window, GA_ROOT));
  std::vector<INPUT> inputs;
  for (WORD key : keys) {
    INPUT input = {};
    input.type = INPUT_KEYBOARD;
    input.ki.wVk = key;
    inputs.push_back(input);
  }
  for (auto key = std::rbegin(keys); key != std::rend(keys); ++key) {
    INPUT input = {};
    input.type = INPUT_KEYBOARD;
    input.ki.wVk = *key;
    input.ki.dwFlags = KEYEVENTF_KEYUP;
    inputs.push_back(input);
  }
  SendInput(UINT(inputs.size()), inputs.data(), sizeof(INPUT));
}

bool drop_file(HANDLE process, HWND window, const std::string& path) {
  std::wstring name = from_cp932(path);
  // The header, the name and the two NULs that end the list of names.
  std::vector<char> block(sizeof(DROPFILES) + (name.size() + 2) * sizeof(wchar_t), 0);
  DROPFILES header = {};
  header.pFiles = sizeof(DROPFILES);
  header.fWide = TRUE;
  std::memcpy(block.data(), &header, sizeof header);
  std::memcpy(block.data() + sizeof header, name.data(), name.size() * sizeof(wchar_t));
  void* remote = VirtualAllocEx(process, nullptr, block.size(), MEM_COMMIT | MEM_RESERVE, PAGE_READWRITE);
  return check(remote && WriteProcessMemory(process, remote, block.data(), block.size(), nullptr) &&
                   PostMessageW(window, WM_DROPFILES, reinterpret_cast<WPARAM>(remote), 0),
               "cannot drop %s on the window", cp932_to_utf8(path).c_str());
}

HWND child_of_class(HWND parent, const wchar_t* class_name) {
  for (HWND child = GetWindow(parent, GW_CHILD); child; child = GetWindow(child, GW_HWNDNEXT))
    if (lstrcmpiW(class_of(child).c_str(), class_name) == 0) return child;
  return nullptr;
}

// ---------------------------------------------------------------------------
// Common dialogs
// ---------------------------------------------------------------------------

HWND wait_for_file_dialog(DWORD process_id, DWORD timeout_ms) {
  WindowMatch match;
  match.control_id = FILE_NAME_FIELD_ID;
  return wait_for_window(process_id, match, timeout_ms, "open or save dialog");
}

std::vector<std::string> file_dialog_filters(HWND dialog) {
  return combo_items(control(dialog, FILE_TYPE_LIST_ID));
}

std::string file_dialog_name(HWND dialog) { return control_text(dialog, FILE_NAME_FIELD_ID); }

// The OK button: id 1 and class Button (a toolbar in the dialog has id 1 too).
static HWND ok_button(HWND dialog) {
  for (HWND child = GetWindow(dialog, GW_CHILD); child; child = GetWindow(child, GW_HWNDNEXT)) {
    if (GetDlgCtrlID(child) == IDOK && lstrcmpiW(class_of(child).c_str(), L"Button") == 0) return child;
  }
  return nullptr;
}

bool file_dialog_accept(HWND dialog, const std::string& name) {
  set_control_text(dialog, FILE_NAME_FIELD_ID, name);
  HWND ok = ok_button(dialog);
  if (!check(ok != nullptr, "file dialog has no OK button")) return false;
  PostMessageW(ok, BM_CLICK, 0, 0);
  return check(wait_until_gone(dialog, DEFAULT_TIMEOUT_MS), "file dialog stayed open after OK");
}

bool dialog_cancel(HWND dialog) {
  PostMessageW(control(dialog, IDCANCEL), BM_CLICK, 0, 0);
  return check(wait_until_gone(dialog, DEFAULT_TIMEOUT_MS), "dialog stayed open after Cancel");
}

HWND wait_for_folder_browser(DWORD process_id, DWORD timeout_ms) {
  WindowMatch match;
  match.control_id = FOLDER_TREE_ID;
  return wait_for_window(process_id, match, timeout_ms, "folder browser");
}

bool folder_browser_select(HANDLE process, HWND browser, const std::string& windows_path) {
  return tree_select_path(process, control(browser, FOLDER_TREE_ID), windows_path);
}

bool folder_browser_accept(HANDLE process, HWND browser, const std::string& windows_path) {
  return folder_browser_select(process, browser, windows_path) && folder_browser_ok(browser);
}

bool folder_browser_ok(HWND browser) {
  HWND ok = ok_button(browser);
  if (!check(ok != nullptr, "folder browser has no OK button")) return false;
  PostMessageW(ok, BM_CLICK, 0, 0);
  return check(wait_until_gone(browser, DEFAULT_TIMEOUT_MS), "folder browser stayed open after OK");
}

// ---------------------------------------------------------------------------
// Screenshots
// ---------------------------------------------------------------------------

static std::string g_exchange;

void set_screenshot_exchange(const std::string& folder) { g_exchange = folder; }

// Asks the helper for the area covering the windows; settles them first
// unless their thread is known to be busy.
static bool take_screenshot(const std::string& name, const std::vector<HWND>& windows, bool settle_first,
                            RECT* taken) {
  RECT area = {};
  bool first = true;
  for (HWND window : windows) {
    if (settle_first) settle(window);
    RECT r;
    if (!GetWindowRect(window, &r)) continue;
    if (first) area = r; else UnionRect(&area, &area, &r);
    first = false;
  }
  constexpr int MARGIN = 6;
  int x = area.left - MARGIN < 0 ? 0 : area.left - MARGIN;
  int y = area.top - MARGIN < 0 ? 0 : area.top - MARGIN;
  int width = area.right + MARGIN - x, height = area.bottom + MARGIN - y;
  if (taken) *taken = RECT{x, y, x + width, y + height};
  if (g_exchange.empty()) return true;  // nobody to take it

  std::string request = g_exchange + "\\request.txt";
  std::string pending = g_exchange + "\\request.tmp";
  FILE* f = std::fopen(pending.c_str(), "wb");
  if (!check(f != nullptr, "cannot write the screenshot request")) return false;
  std::fprintf(f, "%s %d %d %d %d\n", name.c_str(), x, y, width, height);
  std::fclose(f);
  // Renamed into place whole, so the helper never reads half a request.
  MoveFileExA(pending.c_str(), request.c_str(), MOVEFILE_REPLACE_EXISTING);
  bool done = wait_until([&] { return GetFileAttributesA(request.c_str()) == INVALID_FILE_ATTRIBUTES; }, 30000);
  return check(done, "screenshot %s was not taken", name.c_str());
}

bool screenshot(const std::string& name, const std::vector<HWND>& windows, RECT* taken) {
  return take_screenshot(name, windows, true, taken);
}

bool screenshot_as_shown(const std::string& name, const std::vector<HWND>& windows, RECT* taken) {
  return take_screenshot(name, windows, false, taken);
}

// ---------------------------------------------------------------------------
// Shell associations
// ---------------------------------------------------------------------------

namespace {

// File types are written to HKEY_CLASSES_ROOT itself: wine 8 reads them only
// from there (its machine-wide classes), not from the user's
// HKCU\Software\Classes. The test prefix is private, so this is seen by the
// test run alone.

// The key's default value; false when there is none.
bool read_default(const std::wstring& key, std::wstring* value) {
  DWORD size = 0;
  if (RegGetValueW(HKEY_CLASSES_ROOT, key.c_str(), nullptr, RRF_RT_REG_SZ, nullptr, nullptr, &size) != ERROR_SUCCESS)
    return false;
  std::wstring buffer(size / sizeof(wchar_t) + 1, L'\0');
  size = DWORD(buffer.size() * sizeof(wchar_t));
  if (RegGetValueW(HKEY_CLASSES_ROOT, key.c_str(), nullptr, RRF_RT_REG_SZ, nullptr, &buffer[0], &size) !=
      ERROR_SUCCESS)
    return false;
  *value = buffer.c_str();
  return true;
}

bool write_default(const std::wstring& key, const std::wstring& value) {
  HKEY handle;
  if (RegCreateKeyExW(HKEY_CLASSES_ROOT, key.c_str(), 0, nullptr, 0, KEY_SET_VALUE, nullptr, &handle,
                      nullptr) != ERROR_SUCCESS)
    return false;
  LONG result = RegSetValueExW(handle, nullptr, 0, REG_SZ, reinterpret_cast<const BYTE*>(value.c_str()),
                               DWORD((value.size() + 1) * sizeof(wchar_t)));
  RegCloseKey(handle);
  return result == ERROR_SUCCESS;
}

// Removes the key's default value, and the key itself when nothing else is
// left in it (other programs may keep their own values there).
void drop_default(const std::wstring& key) {
  HKEY handle;
  if (RegOpenKeyExW(HKEY_CLASSES_ROOT, key.c_str(), 0, KEY_SET_VALUE | KEY_QUERY_VALUE, &handle) !=
      ERROR_SUCCESS)
    return;
  RegDeleteValueW(handle, nullptr);
  DWORD subkeys = 1, values = 1;
  RegQueryInfoKeyW(handle, nullptr, nullptr, nullptr, &subkeys, nullptr, nullptr, &values, nullptr, nullptr, nullptr,
                   nullptr);
  RegCloseKey(handle);
  if (subkeys == 0 && values == 0) RegDeleteKeyW(HKEY_CLASSES_ROOT, key.c_str());
}

}  // namespace

TemporaryOpenCommand::TemporaryOpenCommand(const std::wstring& extension, const std::wstring& prog_id,
                                           const std::wstring& command)
    : extension_(extension), prog_id_(prog_id) {
  std::wstring current;
  if (read_default(extension_, &current)) {
    if (current == prog_id_) {
      drop_default(extension_);
    } else {
      had_former_ = true;
      former_prog_id_ = current;
    }
  }
  RegDeleteTreeW(HKEY_CLASSES_ROOT, prog_id_.c_str());
  registered_ = write_default(prog_id_ + L"\\shell\\open\\command", command) && write_default(extension_, prog_id_);
  check(registered_, "cannot make the test program the open command of %s files",
        to_cp932(extension_).c_str());
}

TemporaryOpenCommand::~TemporaryOpenCommand() {
  if (had_former_) {
    write_default(extension_, former_prog_id_);
  } else {
    drop_default(extension_);
  }
  RegDeleteTreeW(HKEY_CLASSES_ROOT, prog_id_.c_str());
}

// ---------------------------------------------------------------------------
// Host files
// ---------------------------------------------------------------------------

bool file_exists(const std::string& path) { return GetFileAttributesA(path.c_str()) != INVALID_FILE_ATTRIBUTES; }

bool read_whole_file(const std::string& path, std::vector<uint8_t>* bytes) {
  FILE* f = std::fopen(path.c_str(), "rb");
  if (!f) return false;
  bytes->clear();
  uint8_t buffer[65536];
  size_t n;
  while ((n = std::fread(buffer, 1, sizeof buffer, f)) > 0) bytes->insert(bytes->end(), buffer, buffer + n);
  std::fclose(f);
  return true;
}

bool files_equal(const std::string& a, const std::string& b, const char* what) {
  FILE* first = std::fopen(a.c_str(), "rb");
  FILE* second = std::fopen(b.c_str(), "rb");
  bool opened = check(first != nullptr, "%s: cannot read %s", what, cp932_to_utf8(a).c_str()) &&
                check(second != nullptr, "%s: cannot read %s", what, cp932_to_utf8(b).c_str());
  bool same = opened;
  uint64_t offset = 0;
  if (opened) {
    // Streamed: a maximised image is 1.4 GB.
    static uint8_t x[1 << 20], y[1 << 20];
    for (;;) {
      size_t n = std::fread(x, 1, sizeof x, first);
      size_t m = std::fread(y, 1, sizeof y, second);
      size_t common = n < m ? n : m;
      size_t at = 0;
      while (at < common && x[at] == y[at]) ++at;
      offset += at;
      if (at < common || n != m) {
        same = false;
        break;
      }
      if (n == 0) break;
    }
  }
  if (first) std::fclose(first);
  if (second) std::fclose(second);
  if (!opened) return false;
  if (same) note("%s: %llu bytes", what, (unsigned long long)offset);
  return check(same, "%s: first difference (or end of one file) at offset %llu (0x%llx)", what,
               (unsigned long long)offset, (unsigned long long)offset);
}

namespace {

// The names in a folder (no "." or ".."), each marked as folder or file.
std::vector<std::pair<std::string, bool>> folder_entries(const std::string& folder) {
  std::vector<std::pair<std::string, bool>> entries;
  WIN32_FIND_DATAA data;
  HANDLE find = FindFirstFileA((folder + "\\*").c_str(), &data);
  if (find == INVALID_HANDLE_VALUE) return entries;
  do {
    std::string name = data.cFileName;
    if (name == "." || name == "..") continue;
    entries.emplace_back(name, (data.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) != 0);
  } while (FindNextFileA(find, &data));
  FindClose(find);
  std::sort(entries.begin(), entries.end());
  return entries;
}

}  // namespace

bool folders_equal(const std::string& actual, const std::string& expected, const char* what) {
  DWORD attributes = GetFileAttributesA(actual.c_str());
  if (!check(attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_DIRECTORY), "%s: no folder %s",
             what, cp932_to_utf8(actual).c_str()))
    return false;
  auto have = folder_entries(actual);
  auto want = folder_entries(expected);
  std::string have_names, want_names;
  for (auto& e : have) have_names += e.first + (e.second ? "\\ " : " ");
  for (auto& e : want) want_names += e.first + (e.second ? "\\ " : " ");
  if (!check_text(have_names, want_names, format("%s: entries of %s", what, cp932_to_utf8(actual).c_str()).c_str()))
    return false;
  bool same = true;
  for (auto& e : want) {
    std::string a = actual + "\\" + e.first, b = expected + "\\" + e.first;
    std::string inner = format("%s: %s", what, cp932_to_utf8(e.first).c_str());
    if (e.second) {
      same = folders_equal(a, b, inner.c_str()) && same;
    } else {
      same = files_equal(a, b, inner.c_str()) && same;
    }
  }
  return same;
}

static bool make_folder_wide(const std::wstring& path) {
  if (CreateDirectoryW(path.c_str(), nullptr) || GetLastError() == ERROR_ALREADY_EXISTS) return true;
  size_t cut = path.find_last_of(L'\\');
  if (cut == std::wstring::npos || cut == 0) return false;
  return make_folder_wide(path.substr(0, cut)) && CreateDirectoryW(path.c_str(), nullptr);
}

// Split as UTF-16: a double-byte character's trail byte may be 0x5C.
bool make_folder(const std::string& path) { return make_folder_wide(from_cp932(path)); }

}  // namespace ui
