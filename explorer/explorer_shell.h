// What the explorer's windows share: the main window's views, the extraction
// request the commands fill, and the entry points of each dialog (one source
// file each).
#pragma once

#include <windows.h>

#include <commctrl.h>

#include <string>

#include "explorer/core/edit_logic.h"
#include "explorer/core/explorer_logic.h"
#include "explorer/core/extraction_logic.h"

// The main window and its two views (main_window.cpp).
extern HWND g_main_window;
extern HWND g_tree_view;
extern HWND g_list_view;

// Filled by the extraction commands before the copy-progress dialog opens.
struct ExtractRequest {
  ExtractKind kind;
  HWND commandFocus;  // the window with the keyboard focus for a Selection
  // The tree item a Selection from the tree acts on: the item right-clicked,
  // or null for the tree's selected item.
  HTREEITEM treeItem;
};
extern ExtractRequest g_extract_request;

// The in-image path of a tree item, "/" for the root item or no item.
std::string TreeNodePath(HTREEITEM item);
// The tree's root item, or null when no image is open.
HTREEITEM main_root_item();
// The list's focused row, -1 for none, and a row's image name as the image's
// code page 932 bytes (the views keep them, so names the wide-character
// round trip would change still match the image).
int list_focused_row();
std::string list_row_name(int row);

// What the edit commands act on: with the tree focused its selected folder,
// else the list's selected rows in the folder it shows.
EditSelection edit_selection();
// Mounts the image again after an edit and shows the restored folder with its
// rows selected (the folder's nearest existing one when it is gone).
void reopen_image_at(const std::string& image_path, const EditRestore& restore);

INT_PTR CALLBACK MainWindowProc(HWND, UINT, WPARAM, LPARAM);
INT_PTR CALLBACK AboutDialogProc(HWND, UINT, WPARAM, LPARAM);

// copy_progress_dialog.cpp: the dialog, RunExtraction, ChooseFolder and the
// four reader callbacks, registered at start-up in this order.
INT_PTR CALLBACK CopyProgressDialogProc(HWND, UINT, WPARAM, LPARAM);
void RunExtraction(ExtractKind kind);
void copy_file_started(const char* destination_path);
void copy_progress(int percent);
void copy_file_finished();
void copy_operation_finished();

// copy_progress_dialog.cpp too: writes the planned edit while the dialog
// shows its progress; false with the message to show.
bool apply_edit_with_progress(HWND owner, const std::string& image_path, ExtractionMessage* failure);

// edit_commands.cpp: the five commands of the edit menu.
void run_edit_command(HWND owner, EditCommand command);
// edit_commands.cpp too: the messages both edit dialogs handle alike.
// WM_INITDIALOG answers what initialise returns; OK calls accept, which ends
// the dialog or keeps it open; Cancel and closing end it with IDCANCEL.
INT_PTR edit_dialog_message(HWND dialog, UINT message, WPARAM wparam, INT_PTR (*initialise)(HWND),
                            void (*accept)(HWND));

// rename_dialog.cpp: the selection's one row's new name, checked by the
// engine; false on Cancel or when the name stays as it was.
bool ask_new_name(HWND owner, const std::string& image_path, const EditSelection& selection,
                  std::string* new_name);
INT_PTR CALLBACK RenameDialogProc(HWND, UINT, WPARAM, LPARAM);

// edit_header_dialog.cpp: the header fields the user changed, checked; false
// on Cancel or when none changed.
bool ask_header_fields(HWND owner, EditHeaderFields* fields);
INT_PTR CALLBACK EditHeaderDialogProc(HWND, UINT, WPARAM, LPARAM);

// properties_dialog.cpp: command 40012 (checks the image and its banner file).
void open_properties(HWND owner);
INT_PTR CALLBACK PropertiesDialogProc(HWND, UINT, WPARAM, LPARAM);
