// The edit menu's commands: each checks what it needs, asks what it needs
// (host files, a confirmation, a name, header fields), has the edit engine
// plan the change while the image stays mounted, then writes it with the
// image unmounted and mounts it again at the same place.
#include <windows.h>

#include <string>
#include <vector>

#include "explorer/explorer_shell.h"
#include "reader/reader.h"
#include "win32/file_dialogs.h"
#include "win32/window_text.h"

namespace {

const char TEXT_FILTER_ALL[] = "すべてのファイル (*.*)";
constexpr size_t HOST_PATH_CAPACITY = 260;

// The open dialogs start where the last host file was chosen.
std::string g_last_host_file;

void show(const ExtractionMessage& m) {
  message_box_shown(nullptr, m.text, m.caption, m.icon == MessageIcon::Error ? MB_OK | MB_ICONERROR : MB_OK);
}

bool ask_host_file(HWND owner, std::string* path) {
  return ask_file_name(owner, FileDialogMode::Open, {{TEXT_FILTER_ALL, "*.*"}}, HOST_PATH_CAPACITY,
                       &g_last_host_file, path);
}

// Plans, writes and remounts; a refused plan changes nothing and keeps the
// view as it is.
void run_edit(HWND owner, EditCommand command, const EditSelection& selection,
              const std::vector<EditAction>& actions) {
  const std::string image = IsoGetImagePath();
  ExtractionMessage message;
  if (!plan_edit(image, actions, &message)) {
    show(message);
    return;
  }
  // The reader lets go of the image while it is written.
  IsoUnmount();
  const bool written = edit_shows_progress(planned_bytes())
                           ? apply_edit_with_progress(owner, image, &message)
                           : apply_planned_edit(nullptr, &message);
  reopen_image_at(image, restore_after_edit(command, selection, actions));
  if (!written) show(message);
}

}  // namespace

INT_PTR edit_dialog_message(HWND dialog, UINT message, WPARAM wparam, INT_PTR (*initialise)(HWND),
                            void (*accept)(HWND)) {
  switch (message) {
    case WM_INITDIALOG: return initialise(dialog);
    case WM_COMMAND:
      if (LOWORD(wparam) == IDOK) accept(dialog);
      if (LOWORD(wparam) == IDCANCEL) EndDialog(dialog, IDCANCEL);
      return LOWORD(wparam) == IDOK || LOWORD(wparam) == IDCANCEL;
    case WM_CLOSE: EndDialog(dialog, IDCANCEL); return TRUE;
  }
  return FALSE;
}

void run_edit_command(HWND owner, EditCommand command) {
  const EditSelection selection = edit_selection();
  const std::string refusal = edit_precondition_message(command, edit_image_problem(), selection);
  if (!refusal.empty()) {
    message_box_932(nullptr, refusal, CAPTION_ERROR, MB_OK | MB_ICONERROR);
    return;
  }
  std::vector<EditAction> actions;
  switch (command) {
    case EditCommand::Replace: {
      std::string file;
      if (!ask_host_file(owner, &file)) return;
      actions = replace_actions(selection, file);
      break;
    }
    case EditCommand::Add: {
      std::vector<std::string> files;
      if (!ask_file_names(owner, {{TEXT_FILTER_ALL, "*.*"}}, HOST_PATH_CAPACITY, &g_last_host_file, &files)) return;
      actions = add_actions(selection, files);
      break;
    }
    case EditCommand::Remove: {
      const std::string question =
          remove_confirmation_text(int(selection.rows.size()), entries_to_remove(selection));
      if (message_box_932(owner, question, CAPTION_REMOVE_CONFIRMATION, MB_YESNO | MB_ICONQUESTION) != IDYES) return;
      actions = remove_actions(selection);
      break;
    }
    case EditCommand::Rename: {
      std::string name;
      if (!ask_new_name(owner, IsoGetImagePath(), selection, &name)) return;
      actions = rename_actions(selection, name);
      break;
    }
    case EditCommand::Header: {
      EditHeaderFields fields;
      if (!ask_header_fields(owner, &fields)) return;
      actions = header_actions(fields);
      break;
    }
  }
  run_edit(owner, command, selection, actions);
}
