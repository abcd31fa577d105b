// RenameDialog: the new name of the selected file or folder, checked by the
// edit engine before the dialog closes, so that a refused name can be
// corrected in place.
#include <windows.h>

#include <string>

#include "explorer/explorer_shell.h"
#include "explorer/resource.h"
#include "win32/window_text.h"

namespace {

const char TEXT_CAPTION[] = "名前の変更";
const char TEXT_NEW_NAME[] = "新しい名前:";
const char TEXT_CANCEL[] = "キャンセル";

// The request while the dialog is open, and its answer.
struct RenameRequest {
  std::string image_path;
  EditSelection selection;
  std::string new_name;
};
RenameRequest g_rename;

// FALSE: the focus is set here.
INT_PTR initialise(HWND dialog) {
  set_window_text_932(dialog, TEXT_CAPTION);
  set_item_text_932(dialog, IDC_RENAME_LABEL, TEXT_NEW_NAME);
  set_item_text_932(dialog, IDCANCEL, TEXT_CANCEL);
  set_item_text_932(dialog, IDC_RENAME_NAME, g_rename.selection.rows[0].name);
  HWND edit = GetDlgItem(dialog, IDC_RENAME_NAME);
  SendMessageA(edit, EM_SETSEL, 0, -1);
  SetFocus(edit);
  return FALSE;
}

// OK: an unchanged name closes as Cancel does; a refused one keeps the
// dialog open with the engine's reason shown.
void accept(HWND dialog) {
  const std::string name = item_text_932(dialog, IDC_RENAME_NAME);
  if (rename_changes_nothing(g_rename.selection, name)) {
    EndDialog(dialog, IDCANCEL);
    return;
  }
  const std::string entry = row_image_path(g_rename.selection.folder, g_rename.selection.rows[0].name);
  const ShownText refusal = rename_refusal(g_rename.image_path, entry, name);
  if (!refusal.joined().empty()) {
    message_box_shown(dialog, refusal, CAPTION_ERROR, MB_OK | MB_ICONERROR);
    SetFocus(GetDlgItem(dialog, IDC_RENAME_NAME));
    return;
  }
  g_rename.new_name = name;
  EndDialog(dialog, IDOK);
}

}  // namespace

bool ask_new_name(HWND owner, const std::string& image_path, const EditSelection& selection,
                  std::string* new_name) {
  if (selection.rows.empty()) return false;
  g_rename = RenameRequest{image_path, selection, ""};
  if (dialog_box_unicode(IDD_RENAME, owner, RenameDialogProc) != IDOK) return false;
  *new_name = g_rename.new_name;
  return true;
}

INT_PTR CALLBACK RenameDialogProc(HWND dialog, UINT message, WPARAM wparam, LPARAM) {
  return edit_dialog_message(dialog, message, wparam, initialise, accept);
}
