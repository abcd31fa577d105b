// WriteProgressDialog: runs the image write from its initialisation, with a
// UTC-stamped log, a bar for the current stage and one for the whole job.
#include <windows.h>

#include <commctrl.h>
#include <shellapi.h>

#include <cstdio>
#include <string>

#include "win32/window_text.h"
#include "wizard/resource.h"
#include "wizard/wizard_pages.h"
#include "wizard/wizard_shell.h"
#include "wizard/wizard_texts.h"

namespace {

const char TEXT_CAPTION_WRITING[] = "ISOの書き込み中...";
const char TEXT_CAPTION_FINISHED[] = "作成完了";
const char TEXT_SIZE[] = "サイズ:";
const char TEXT_STAGE[] = "現在の状況:";
const char TEXT_OVERALL[] = "全体の状況:";
const char TEXT_OPEN[] = "開く(&O)";
const char TEXT_CANCEL_WRITE[] = "キャンセル(&C)";
const char TEXT_QUIT[] = "終了(&F)";
const char QUESTION_QUIT[] = "終了してよろしいですか？";

struct ProgressDialog {
  HWND window;
  uint32_t completed_bytes;  // bytes of the stages reported done
  uint32_t stage_bytes;      // the current stage's last report
  RepaintGate gate;
  std::string last_log;      // names the file being copied when a write fails
};
ProgressDialog g_dialog;

void add_log_line(const std::string& text) {
  SYSTEMTIME now;
  GetSystemTime(&now);  // UTC, not local time
  ShownText parts = log_text_parts(text);
  parts.before = cp932_log_line(now.wHour, now.wMinute, now.wSecond, parts.before);
  HWND list = GetDlgItem(g_dialog.window, IDC_LOG);
  LRESULT index = list_box_add_line(list, parts);
  SendMessageA(list, LB_SETCARETINDEX, WPARAM(index), FALSE);
  // A list without selection does not scroll to its caret everywhere; putting
  // the line at the top scrolls as far as the list allows.
  SendMessageA(list, LB_SETTOPINDEX, WPARAM(index), 0);
}

void on_log(const char* text) {
  ShowWindow(g_dialog.window, SW_SHOW);
  g_dialog.last_log = text;
  add_log_line(text);
}

void on_progress(int percent, uint32_t bytes) {
  g_dialog.stage_bytes = bytes;
  uint32_t stage = stage_bar_position(percent);
  uint32_t overall = overall_bar_position(g_dialog.completed_bytes, g_dialog.stage_bytes,
                                          g_wizard.total_data_size);
  // Maximising reports some 356,000 times: repaint and take messages only when
  // a bar moves or the window has waited long enough.
  if (!repaint_due(&g_dialog.gate, stage, overall, GetTickCount())) return;
  SendDlgItemMessageA(g_dialog.window, IDC_STAGE_BAR, PBM_SETPOS, stage, 0);
  SendDlgItemMessageA(g_dialog.window, IDC_OVERALL_BAR, PBM_SETPOS, overall, 0);
  RedrawWindow(g_dialog.window, nullptr, nullptr, RDW_UPDATENOW | RDW_ALLCHILDREN);
  drain_window_messages();
}

void on_file_done() { g_dialog.completed_bytes += g_dialog.stage_bytes; }

void on_finished() {
  set_window_text_932(g_dialog.window, TEXT_CAPTION_FINISHED);
  set_item_text_932(g_dialog.window, IDC_QUIT, TEXT_QUIT);
  EnableWindow(GetDlgItem(g_dialog.window, IDC_OPEN_IMAGE), TRUE);
  g_wizard.write_finished = 1;
}

void run_write() {
  if (builder_write_image(g_wizard.maximise_image != 0)) return;
  // The builder has removed the unfinished image; the dialog stays in its
  // writing state, and Cancel then asks and quits.
  ShowWindow(g_dialog.window, SW_SHOW);
  show_error(g_dialog.window,
             write_failure_message(builder_last_error(), g_dialog.last_log, builder_last_error_path()));
}

void quit(HWND window) {
  if (g_wizard.write_finished) exit_wizard();
  if (message_box_932(window, QUESTION_QUIT, CAPTION_QUESTION,
                      MB_YESNO | MB_ICONQUESTION) != IDYES) {
    return;
  }
  // The reset removes the unfinished image, which has not replaced the
  // output: an existing output file stays as it was.
  builder_reset();
  exit_wizard();
}

void initialise(HWND window) {
  set_window_icons(window);
  g_dialog = ProgressDialog{};
  g_dialog.window = window;
  repaint_gate_reset(&g_dialog.gate);

  set_window_text_932(window, TEXT_CAPTION_WRITING);
  set_item_text_932(window, IDC_SIZE_LABEL, TEXT_SIZE);
  set_item_text_932(window, IDC_STAGE_LABEL, TEXT_STAGE);
  set_item_text_932(window, IDC_OVERALL_LABEL, TEXT_OVERALL);
  set_item_text_932(window, IDC_OPEN_IMAGE, TEXT_OPEN);
  set_item_text_932(window, IDC_QUIT, TEXT_CANCEL_WRITE);
  for (int bar : {IDC_STAGE_BAR, IDC_OVERALL_BAR}) {
    SendDlgItemMessageA(window, bar, PBM_SETRANGE, 0, MAKELPARAM(0, PROGRESS_BAR_RANGE));
    SendDlgItemMessageA(window, bar, PBM_SETPOS, 0, 0);
  }
  builder_set_callbacks(on_log, on_progress, on_file_done, on_finished);
  set_item_text_932(window, IDC_IMAGE_NAME, stored_game_name(g_wizard));
  set_item_text_932(window, IDC_IMAGE_SIZE, data_size_text(g_wizard.total_data_size));
  run_write();
}

}  // namespace

INT_PTR CALLBACK WriteProgressDialogProc(HWND window, UINT message, WPARAM wparam, LPARAM) {
  switch (message) {
    case WM_INITDIALOG:
      initialise(window);
      // The focus goes to button 1, which Enter sends (Quit once the image is
      // finished); left to the dialog manager it would go to Open, first in
      // the tab order.
      SendMessageA(window, WM_NEXTDLGCTL, WPARAM(GetDlgItem(window, IDC_QUIT)), TRUE);
      return FALSE;
    case WM_PAINT:
      paint_page_banner(window, "Writing ISO");
      return TRUE;
    case WM_CLOSE:
      // Ends without a question; a running write goes on to its end first.
      EndDialog(window, 1);
      return TRUE;
    case WM_COMMAND:
      switch (LOWORD(wparam)) {
        case IDC_QUIT:
          quit(window);
          return TRUE;
        case IDC_OPEN_IMAGE:
          ShellExecuteA(window, nullptr, g_build_settings.output_path, nullptr, nullptr,
                        SW_SHOWDEFAULT);
          return TRUE;
      }
      // Esc (IDCANCEL) has no handler here.
      return FALSE;
  }
  return FALSE;
}
