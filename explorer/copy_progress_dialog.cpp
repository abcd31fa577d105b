// CopyProgressDialog: runs a whole-image or selection extraction from its
// initialisation and shows each file as the reader writes it, or shows a
// large edit's progress while the edit engine writes it. Also the
// extraction commands themselves (RunExtraction, ChooseFolder) and the four
// reader callbacks.
#include <windows.h>

#include <commctrl.h>

#include <string>

#include "explorer/explorer_shell.h"
#include "explorer/core/extraction_logic.h"
#include "explorer/resource.h"
#include "win32/file_dialogs.h"
#include "win32/window_text.h"
#include "reader/reader.h"

namespace {

const char TEXT_CHOOSE_FOLDER[] = "\nディレクトリの選択:";

// Where the animation sits, in pixels, and its picture's size.
constexpr int ANIMATION_X = 17;
constexpr int ANIMATION_Y = 55;
constexpr int ANIMATION_WIDTH = 260;
constexpr int ANIMATION_HEIGHT = 40;

constexpr int PROGRESS_RANGE = 100;
// A folder path's buffer.
constexpr int FOLDER_PATH_SIZE = 260;

// The open dialog's controls; all null when no dialog is open (the system
// areas are copied without it, and the callbacks then change nothing).
struct CopyDialog {
  HWND window;
  HWND bar;
  HWND text;
  HWND animation;
};
CopyDialog g_copy;

// An edit written while the dialog is open: the image it writes and the
// outcome. The dialog closes itself when the edit ends.
struct EditWrite {
  bool active;
  std::string image_path;
  bool written;
  ExtractionMessage* failure;
};
EditWrite g_edit_write;

void edit_progress(uint64_t done, uint64_t total) {
  copy_progress(total ? int(done * PROGRESS_RANGE / total) : PROGRESS_RANGE);
}

// Set when nothing was started or a single file failed: the dialog then
// closes itself.
bool g_abandoned;

UINT message_flags(MessageIcon icon) {
  switch (icon) {
    case MessageIcon::Error: return MB_OK | MB_ICONERROR;
    case MessageIcon::Information: return MB_OK | MB_ICONINFORMATION;
    case MessageIcon::None: break;
  }
  return MB_OK;
}

// Shown without an owner, so the windows behind stay usable.
void show_message(const ExtractionMessage& message) {
  message_box_shown(nullptr, message.text, message.caption, message_flags(message.icon));
}

CommandFocus command_focus() {
  if (g_extract_request.commandFocus == g_list_view) return CommandFocus::List;
  if (g_extract_request.commandFocus == g_tree_view) return CommandFocus::Tree;
  return CommandFocus::Other;
}

// The copy runs on this thread, so mouse and key input made meanwhile waits
// in the queue and would act only now, on the dialog as it is after the copy
// (a click on the disabled OK would close it). It is dropped; paint and
// every other message stay queued.
void discard_queued_input() {
  MSG message;
  while (PeekMessageA(&message, nullptr, WM_KEYFIRST, WM_KEYLAST, PM_REMOVE)) {
  }
  while (PeekMessageA(&message, nullptr, WM_MOUSEFIRST, WM_MOUSELAST, PM_REMOVE)) {
  }
  // Clicks on the frame and its close button.
  while (PeekMessageA(&message, nullptr, WM_NCMOUSEMOVE, WM_NCXBUTTONDBLCLK, PM_REMOVE)) {
  }
}

// The dialog after a copy: queued input dropped, OK enabled, the animation
// stopped and hidden.
void show_copy_ended(const char* caption) {
  if (!g_copy.window) return;
  discard_queued_input();
  EnableWindow(GetDlgItem(g_copy.window, IDOK), TRUE);
  SendMessageA(g_copy.animation, ACM_STOP, 0, 0);
  ShowWindow(g_copy.animation, SW_HIDE);
  set_window_text_932(g_copy.window, caption);
  ShowWindow(g_copy.window, SW_SHOW);
}

// A folder or whole-image copy that failed half way: the reader does not
// finish the operation, so the dialog tells why and lets the user close it.
void report_folder_copy_failure() {
  show_copy_ended(COPY_CAPTION_FAILED);
  show_message(reader_error_message(IsoGetErrorText(), IsoGetRefusedEntryPath()));
}

// The shell's folder browser, starting at the desktop; false on Cancel or
// a choice that is no file-system folder.
bool ChooseFolder(std::string* folder) {
  return ask_folder(nullptr, TEXT_CHOOSE_FOLDER, "", FOLDER_PATH_SIZE, folder);
}

void run_selection(const std::string& folder, bool has_row, const std::string& row_name) {
  HTREEITEM item = g_extract_request.treeItem;
  if (!item) item = TreeView_GetSelection(g_tree_view);
  SelectionRequest request{command_focus(), TreeNodePath(item),
                           item != nullptr && item == main_root_item(), has_row, row_name};
  SelectionTarget target = selection_target(request, folder);
  switch (target.action) {
    case SelectionTarget::NothingSelected:
      show_message(nothing_selected_message());
      g_abandoned = true;
      return;
    case SelectionTarget::Directory:
      if (!extract_selection(target)) report_folder_copy_failure();
      return;
    case SelectionTarget::File:
      if (!extract_selection(target)) {
        discard_queued_input();
        show_message(reader_error_message(IsoGetErrorText()));
        g_abandoned = true;
      }
      return;
  }
}

void create_animation(HWND window) {
  g_copy.animation = CreateWindowExA(0, ANIMATE_CLASSA, "",
                                     WS_CHILD | ACS_TRANSPARENT | ACS_TIMER, ANIMATION_X,
                                     ANIMATION_Y, ANIMATION_WIDTH, ANIMATION_HEIGHT, window,
                                     reinterpret_cast<HMENU>(INT_PTR(IDC_COPY_ANIMATION)),
                                     GetModuleHandleA(nullptr), nullptr);
  SendMessageA(g_copy.animation, ACM_OPENA, 0, LPARAM(MAKEINTRESOURCEA(IDR_COPY_ANIMATION)));
  // From the first frame to the last, repeated without end.
  SendMessageA(g_copy.animation, ACM_PLAY, WPARAM(-1), MAKELPARAM(0, 0xFFFF));
}

void initialise(HWND window) {
  g_copy.window = window;
  set_window_text_932(window, COPY_CAPTION_COPYING);
  g_copy.bar = GetDlgItem(window, IDC_COPY_BAR);
  SendMessageA(g_copy.bar, PBM_SETRANGE, 0, MAKELPARAM(0, PROGRESS_RANGE));
  SendMessageA(g_copy.bar, PBM_SETPOS, 0, 0);
  g_copy.text = GetDlgItem(window, IDC_COPY_TEXT);
  create_animation(window);
  if (g_edit_write.active) {
    set_window_text_932(window, EDIT_CAPTION_WRITING);
    set_window_text_shown(g_copy.text, ShownText{"", g_edit_write.image_path, ""});
    ShowWindow(window, SW_SHOW);
    ShowWindow(g_copy.animation, SW_SHOW);
    UpdateWindow(window);
    g_edit_write.written = apply_planned_edit(edit_progress, g_edit_write.failure);
    EndDialog(window, 1);
    return;
  }
  RunExtraction(g_extract_request.kind);
  if (g_abandoned) EndDialog(window, 2);
}

}  // namespace

void RunExtraction(ExtractKind kind) {
  g_abandoned = true;
  if (!IsoIsMounted()) return;
  int row = list_focused_row();
  bool has_row = row >= 0;
  std::string row_name = list_row_name(row);
  std::string chosen;
  if (!ChooseFolder(&chosen)) return;
  g_abandoned = false;
  std::string folder = folder_with_separator(chosen);

  switch (kind) {
    case ExtractKind::WholeImage:
      if (!IsoExtractDirectory("/", folder_for_reader(folder).c_str())) report_folder_copy_failure();
      return;
    case ExtractKind::Selection:
      run_selection(folder, has_row, row_name);
      return;
    case ExtractKind::BootData:
    case ExtractKind::FileSystemTable:
    case ExtractKind::Apploader:
    case ExtractKind::MainProgram: {
      std::string file = folder + system_area_file_name(kind);
      const bool saved = extract_system_area(kind, file);
      show_message(system_area_message(saved, file, IsoGetLastError()));
      return;
    }
  }
}

bool apply_edit_with_progress(HWND owner, const std::string& image_path, ExtractionMessage* failure) {
  g_edit_write = EditWrite{true, image_path, false, failure};
  DialogBoxParamA(GetModuleHandleA(nullptr), MAKEINTRESOURCEA(IDD_COPY_PROGRESS), owner, CopyProgressDialogProc, 0);
  const bool written = g_edit_write.written;
  g_edit_write = EditWrite{};
  return written;
}

void copy_file_started(const char* destination_path) {
  if (!g_copy.window) return;
  set_window_text_shown(g_copy.text, ShownText{"", destination_path, ""});
  ShowWindow(g_copy.window, SW_SHOW);
  ShowWindow(g_copy.animation, SW_SHOW);
  SendMessageA(g_copy.bar, PBM_SETPOS, 0, 0);
}

void copy_progress(int percent) {
  if (!g_copy.window) return;
  // The bar's range keeps a short file's last report (a little over 100) in
  // bounds. The reader reports every 4,096-byte block, and a large file's
  // blocks mostly leave the position where it was: the dialog is repainted
  // only when it moved, as even an empty repaint costs a round trip to the
  // window system (under wine it made large copies about six times slower).
  LRESULT previous = SendMessageA(g_copy.bar, PBM_SETPOS, WPARAM(percent), 0);
  if (previous != percent) UpdateWindow(g_copy.window);
}

void copy_file_finished() {}

void copy_operation_finished() { show_copy_ended(COPY_CAPTION_FINISHED); }

INT_PTR CALLBACK CopyProgressDialogProc(HWND window, UINT message, WPARAM wparam, LPARAM) {
  switch (message) {
    case WM_INITDIALOG:
      initialise(window);
      return TRUE;
    case WM_COMMAND:
      // Only OK ends the dialog; Escape (IDCANCEL) does nothing.
      if (LOWORD(wparam) == IDOK) EndDialog(window, 1);
      return TRUE;
    case WM_CLOSE:
      EndDialog(window, 1);
      return TRUE;
    case WM_DESTROY:
      g_copy = CopyDialog{};
      return FALSE;
  }
  return FALSE;
}
