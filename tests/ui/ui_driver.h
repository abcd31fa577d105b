// Helpers for UI test drivers: small Windows programs that start one of our
// dialog programs and work it as a user would, by window class, caption and
// control id. Texts travel as UTF-16 (the only form that crosses processes
// intact under wine) and are compared as code page 932 bytes, the form the
// programs hold them in.
//
// Clicks are posted, never sent: a button whose handler opens a modal window
// would otherwise block the driver until that window closes. Every action is
// therefore followed by a wait for its visible effect.
#pragma once

#include <windows.h>
#include <commctrl.h>

#include <cstdint>
#include <initializer_list>
#include <string>
#include <vector>

namespace ui {

constexpr DWORD DEFAULT_TIMEOUT_MS = 15000;

// ---------------------------------------------------------------------------
// Texts
// ---------------------------------------------------------------------------

// Between UTF-16 and the bytes of a Windows code page (932, 1252, CP_UTF8).
std::wstring from_code_page(const std::string& bytes, UINT code_page);
std::string to_code_page(const std::wstring& text, UINT code_page);
std::wstring from_cp932(const std::string& bytes);
std::string to_cp932(const std::wstring& text);
// For the driver's own output, which goes to a UTF-8 terminal or log.
std::string cp932_to_utf8(const std::string& bytes);
std::string format(const char* fmt, ...);

// ---------------------------------------------------------------------------
// Results: every check is counted; a failed one is printed with its context.
// ---------------------------------------------------------------------------

// Prints a progress line (CP932 arguments are shown as UTF-8 by the callers).
void note(const char* fmt, ...);
// Counts one check; prints "FAIL: what" when ok is false. Returns ok.
bool check(bool ok, const char* what, ...);
// Compares texts as bytes; on a mismatch prints both, converted to UTF-8.
bool check_text(const std::string& actual, const std::string& expected, const char* what);
bool check_number(long long actual, long long expected, const char* what);
// Compares texts as UTF-16, for texts outside code page 932.
bool check_wide(const std::wstring& actual, const std::wstring& expected, const char* what);
int checks_run();
int checks_failed();

// A driver's scenarios: each runs in turn (or only the one named), framed by
// "== name" lines with its result and time; then the totals. Returns the
// driver's exit status: 0 when every check passed.
struct Scenario {
  const char* name;
  void (*run)();
};
int run_scenarios(const std::vector<Scenario>& scenarios, const std::string& only);
// Takes "--flag VALUE" at argv[i] into *value (and steps over the value).
bool take_argument(int& i, int argc, char** argv, const char* flag, std::string* value);

// ---------------------------------------------------------------------------
// Waiting
// ---------------------------------------------------------------------------

// Asks the condition every 20 ms until it holds or the time is up; the
// condition's last answer.
template <class Condition>
bool wait_until(Condition condition, DWORD timeout_ms = DEFAULT_TIMEOUT_MS) {
  DWORD start = GetTickCount();
  for (;;) {
    if (condition()) return true;
    if (GetTickCount() - start >= timeout_ms) return condition();
    Sleep(20);
  }
}

// ---------------------------------------------------------------------------
// Processes
// ---------------------------------------------------------------------------

struct Process {
  HANDLE handle = nullptr;
  DWORD id = 0;
};

// command_line in code page 932; working_folder may be empty.
bool start_process(const std::string& command_line, const std::string& working_folder,
                   Process* process);
// True when the process ended within the time; its exit status in *exit_code.
bool wait_for_exit(Process& process, DWORD timeout_ms, DWORD* exit_code);
bool is_running(const Process& process);
// Terminates the process if it still runs and releases the handle.
void end_process(Process& process);

// Runs a console program to its end; false when it cannot start or times out.
bool run_program(const std::wstring& command_line, DWORD timeout_ms, DWORD* exit_code);

// ---------------------------------------------------------------------------
// Windows
// ---------------------------------------------------------------------------

// The visible top-level windows of a process.
std::vector<HWND> visible_windows(DWORD process_id);

struct WindowMatch {
  const wchar_t* class_name = L"#32770";
  const char* caption = nullptr;  // CP932; null matches any caption
  int control_id = 0;             // a child the window must have; 0 for none
  HWND not_this = nullptr;        // skip this window (the one being replaced)
};

// A visible top-level window of the process that matches, or null.
HWND match_window(DWORD process_id, const WindowMatch& match);
// Waits for such a window; prints the process's windows when none comes.
HWND wait_for_window(DWORD process_id, const WindowMatch& match, DWORD timeout_ms,
                     const char* what);
// Waits until the window is destroyed or hidden.
bool wait_until_gone(HWND window, DWORD timeout_ms);
// Lists the process's visible windows and their controls' texts on stdout.
void describe_windows(DWORD process_id);

HWND control(HWND dialog, int id);
std::string window_text(HWND window);  // WM_GETTEXT, as CP932 bytes
std::wstring window_text_wide(HWND window);  // WM_GETTEXT as the control holds it
std::string control_text(HWND dialog, int id);
// The caption the system stores for a window of another process
// (GetWindowTextW), read without sending the window a message, so it works
// while the window's thread is busy. Controls that keep their own text (edits)
// give "".
std::string stored_window_text(HWND window);
void set_control_text(HWND dialog, int id, const std::string& cp932);
bool is_enabled(HWND dialog, int id);
bool is_checked(HWND dialog, int id);
LONG_PTR window_style(HWND window);
// The window with the keyboard focus in the thread of the given window.
HWND focus_of_thread(HWND window);
std::wstring class_of(HWND window);

// Posts a click to the control as the mouse would give it. False (and a
// failed check) when the control is missing, hidden or disabled.
bool click(HWND dialog, int id);
// Clicks a check box and waits until its state has flipped.
bool toggle_check_box(HWND dialog, int id);
// The Esc key as the dialog manager receives it.
void press_escape(HWND dialog);
// The title bar's close button.
void close_from_title_bar(HWND window);
// Makes the window paint what it has now, then gives the display a moment.
void settle(HWND window);

// List boxes and combo boxes (item texts through the wide messages).
std::vector<std::string> list_box_lines(HWND list);
std::vector<std::string> combo_items(HWND combo);
// The same, unconverted: for texts outside code page 932 (Windows-1252 ones).
std::vector<std::wstring> combo_items_wide(HWND combo);
int combo_selection(HWND combo);
void combo_select(HWND combo, int index);

// ---------------------------------------------------------------------------
// Message boxes: #32770 windows with the text in static 0xFFFF.
// ---------------------------------------------------------------------------

constexpr int MESSAGE_TEXT_ID = 0xFFFF;

// Waits for a box with the caption; a failed check (with the process's
// windows listed) when none comes.
HWND wait_for_message_box(DWORD process_id, const char* caption, DWORD timeout_ms, const char* what);
// Finds the box, checks its caption and text, presses the button and waits
// for the box to go. False when no box came or it did not close.
bool answer_message_box(DWORD process_id, const char* caption, const std::string& expected_text,
                        int button_id, const char* what);
// True when no message box of the process shows up within the time.
bool no_message_box_within(DWORD process_id, DWORD milliseconds);

// ---------------------------------------------------------------------------
// Tree views of another process (items read through memory allocated there).
// ---------------------------------------------------------------------------

std::string tree_item_text(HANDLE process, HWND tree, HTREEITEM item);
// The item's children as they are now (a collapsed item may have none yet).
std::vector<HTREEITEM> tree_child_items(HWND tree, HTREEITEM parent);
std::vector<HTREEITEM> tree_children(HWND tree, HTREEITEM parent);  // expands parent first
// Selects the folder given as a Windows path ("Z:\a\b") in a shell folder
// tree: finds the drive item "... (Z:)" under the desktop's children, then
// each path part by name (case-insensitive).
bool tree_select_path(HANDLE process, HWND tree, const std::string& windows_path);

// ---------------------------------------------------------------------------
// Other common controls of another process, read through memory allocated
// there as the tree views are.
// ---------------------------------------------------------------------------

struct TreeItemInfo {
  std::string text;
  int image = -1;
  int selected_image = -1;
  UINT state = 0;
};
TreeItemInfo tree_item_info(HANDLE process, HWND tree, HTREEITEM item);

struct ListRow {
  std::string text;
  int image = -1;
  UINT state = 0;  // LVIS_FOCUSED, LVIS_SELECTED
};
std::vector<ListRow> list_view_rows(HANDLE process, HWND list);
// LVM_SETITEMSTATE; index -1 sets every row.
bool list_view_set_state(HANDLE process, HWND list, int index, UINT state, UINT mask);
// The row's whole rectangle (LVIR_BOUNDS) in the list's client coordinates.
bool list_view_item_rect(HANDLE process, HWND list, int index, RECT* rect);
// The item's rectangle (its text only) in the tree's client coordinates.
bool tree_item_rect(HANDLE process, HWND tree, HTREEITEM item, RECT* rect);

// Status bar part text (SB_GETTEXTW).
std::string status_text(HANDLE process, HWND status_bar, int part);
// Right edges of the status bar's parts (SB_GETPARTS; -1 runs to the edge).
std::vector<int> status_parts(HANDLE process, HWND status_bar);
// Tab label (TCM_GETITEMW).
std::string tab_text(HANDLE process, HWND tab, int index);
// The button's rectangle (TB_GETITEMRECT, by index, separators counted).
bool toolbar_item_rect(HANDLE process, HWND toolbar, int index, RECT* rect);

// Mouse clicks posted to a control at a point of its client area, as the
// system would deliver them to it.
void post_click(HWND window, POINT at);
void post_double_click(HWND window, POINT at);
void post_right_click(HWND window, POINT at);
POINT centre_of(const RECT& rect);

// Keys typed into a window of another process, as the keyboard gives them:
// the window is brought to the front, then the keys go down in order and come
// up in reverse, so {VK_MENU, VK_LEFT} is Alt+Left, and the target sees the
// key states a real keyboard gives (which posted key messages lack).
void type_keys(HWND window, std::initializer_list<WORD> keys);

// Drops a file on a window of another process as the shell does: a DROPFILES
// block naming it, written into the target's memory and posted with
// WM_DROPFILES. The block is left to the target: its DragFinish cannot free
// memory it did not allocate (wine refuses the handle and goes on), and the
// block goes with the process.
bool drop_file(HANDLE process, HWND window, const std::string& path);

// A child of the window by class name (the first one), or null.
HWND child_of_class(HWND parent, const wchar_t* class_name);

// ---------------------------------------------------------------------------
// Common dialogs of the target
// ---------------------------------------------------------------------------

constexpr int FILE_NAME_FIELD_ID = 0x47C;   // open/save: file name
constexpr int FILE_TYPE_LIST_ID = 0x470;    // open/save: file type list
constexpr int FOLDER_TREE_ID = 14145;       // folder browser: tree
constexpr int FOLDER_PROMPT_ID = 14146;     // folder browser: prompt text

HWND wait_for_file_dialog(DWORD process_id, DWORD timeout_ms);
// The file type list's entries of an open or save dialog.
std::vector<std::string> file_dialog_filters(HWND dialog);
std::string file_dialog_name(HWND dialog);
// Types the name into the file name field and presses the dialog's OK.
bool file_dialog_accept(HWND dialog, const std::string& name);
bool dialog_cancel(HWND dialog);

HWND wait_for_folder_browser(DWORD process_id, DWORD timeout_ms);
bool folder_browser_select(HANDLE process, HWND browser, const std::string& windows_path);
bool folder_browser_ok(HWND browser);
// Both of the above.
bool folder_browser_accept(HANDLE process, HWND browser, const std::string& windows_path);

// ---------------------------------------------------------------------------
// Screenshots. The driver asks a helper outside (the test script) to capture
// the screen: it writes "<name> <x> <y> <width> <height>" to request.txt in
// the exchange folder and waits for the file to disappear.
// ---------------------------------------------------------------------------

void set_screenshot_exchange(const std::string& folder);
// Captures the area covering the given windows, with a small margin. The
// screen area taken goes to *taken when given.
bool screenshot(const std::string& name, const std::vector<HWND>& windows, RECT* taken = nullptr);
// The same without settling the windows first: the screen as it is now, for
// windows whose thread is busy and would not answer.
bool screenshot_as_shown(const std::string& name, const std::vector<HWND>& windows, RECT* taken = nullptr);

// ---------------------------------------------------------------------------
// Shell associations: a test makes a program of its own the one the shell
// opens a file type with, and puts back what was there when it is done.
// ---------------------------------------------------------------------------

class TemporaryOpenCommand {
 public:
  // Makes `command` (such as `"C:\x.exe" "%1"`) the open command of files
  // ending in `extension` (".gcm"), through a ProgID that only this caller
  // uses. An association to that ProgID left behind by an earlier run that
  // was killed is dropped first.
  TemporaryOpenCommand(const std::wstring& extension, const std::wstring& prog_id, const std::wstring& command);
  // Puts back the extension's former ProgID (or removes the key if it was
  // created here) and deletes the ProgID.
  ~TemporaryOpenCommand();
  TemporaryOpenCommand(const TemporaryOpenCommand&) = delete;
  TemporaryOpenCommand& operator=(const TemporaryOpenCommand&) = delete;

  bool registered() const { return registered_; }

 private:
  std::wstring extension_, prog_id_, former_prog_id_;
  bool had_former_ = false;
  bool registered_ = false;
};

// ---------------------------------------------------------------------------
// Host files
// ---------------------------------------------------------------------------

bool file_exists(const std::string& path);
bool read_whole_file(const std::string& path, std::vector<uint8_t>* bytes);
// Byte-for-byte comparison; prints the first differing offset.
bool files_equal(const std::string& a, const std::string& b, const char* what);
// Two folders hold the same names, folders and file bytes, all the way down.
bool folders_equal(const std::string& actual, const std::string& expected, const char* what);
bool make_folder(const std::string& path);  // with missing parents

}  // namespace ui
