// Window-free rules of the 編集 menu: whether a command can act and the
// message that says why not, the actions a command hands the edit engine,
// the header dialog's fields, running the edit, and the folder and rows the
// view returns to once the image is mounted again.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "builder/image_edit.h"
#include "explorer/core/explorer_logic.h"
#include "explorer/core/extraction_logic.h"

enum class EditCommand { Replace, Add, Remove, Rename, Header };

// What the commands act on, as the main window shows it when one is chosen:
// the folder the list shows and its selected rows; with the tree focused, a
// folder selected there is the one row, its parent the folder. Files are
// added to the folder shown either way.
struct EditRow {
  std::string name;  // image bytes (code page 932)
  bool is_folder;
};
struct EditSelection {
  std::string folder;  // in-image path of the rows' folder, "/" for the root
  std::vector<EditRow> rows;
  std::string shown;  // the folder the view shows
};
// The selection of a tree-focused command: the tree's selected folder as the
// one row of its parent; none for the root.
EditSelection tree_folder_selection(const std::string& tree_path);

// ---------------------------------------------------------------------------
// Preconditions
// ---------------------------------------------------------------------------

// Why the mounted image cannot be edited in place.
enum class EditImageProblem { None, NoImage, Container, ReadOnly };
// Reads the reader's mounted image: its first bytes tell a container, the
// host says whether the file is read-only.
EditImageProblem edit_image_problem();

// The message (code page 932) telling why the command cannot act, or "" when
// it can: the image first, then what the command needs selected (Replace one
// file row, Remove at least one row, Rename exactly one row).
std::string edit_precondition_message(EditCommand command, EditImageProblem image,
                                      const EditSelection& selection);

// ---------------------------------------------------------------------------
// Actions
// ---------------------------------------------------------------------------

struct EditAction {
  EditActionKind kind;
  std::string image_path;  // code page 932, "/" first; unused for EDIT_HEADER
  std::string host_path;   // EDIT_REPLACE, EDIT_ADD
  std::string new_name;    // EDIT_RENAME
  EditHeaderFields header;  // EDIT_HEADER
};

// The last name of a host path (after its last separator, read in the
// host's code page so that a trail byte 0x5C is no separator).
std::string host_base_name(const std::string& host_path);

// Replace: the first row's file from host_file. Add: each host file into the
// folder shown under its own name, as the builder names host files. Remove: every
// row. Rename: the first row to new_name.
std::vector<EditAction> replace_actions(const EditSelection& selection, const std::string& host_file);
std::vector<EditAction> add_actions(const EditSelection& selection, const std::vector<std::string>& host_files);
std::vector<EditAction> remove_actions(const EditSelection& selection);
std::vector<EditAction> rename_actions(const EditSelection& selection, const std::string& new_name);
std::vector<EditAction> header_actions(const EditHeaderFields& fields);

// The entries a removal takes out of the mounted image: each row and
// everything below it.
int entries_to_remove(const EditSelection& selection);
// The confirmation box's text and caption for removing rows (rows selected,
// entries in all).
std::string remove_confirmation_text(int rows, int entries);
extern const char CAPTION_REMOVE_CONFIRMATION[];

// ---------------------------------------------------------------------------
// The rename dialog
// ---------------------------------------------------------------------------

// Why new_name cannot replace the name of the entry at entry_path in the
// image at image_path, "" when it can: the engine's name rule, then whether
// the folder has that name already (the engine asked with the image opened,
// nothing queued for good). new_name equal to the old name is no problem:
// rename_changes_nothing says so.
ShownText rename_refusal(const std::string& image_path, const std::string& entry_path,
                         const std::string& new_name);
bool rename_changes_nothing(const EditSelection& selection, const std::string& new_name);

// ---------------------------------------------------------------------------
// The header dialog
// ---------------------------------------------------------------------------

// The header dialog's texts: the edits (code page 932) and the region
// choice.
struct HeaderTexts {
  std::string game_code;  // three characters
  std::string maker_code;
  std::string game_name;
  std::string disc_number;  // decimal, 0 for the first disc
  std::string revision;
  char region_letter;
};
// The mounted image's header as the dialog shows it.
HeaderTexts header_texts_of_mounted_image();

// The region list: Japan, USA and Europe, then the image's own letter when
// it is none of them. Each entry's text (code page 932) and letter.
struct RegionChoice {
  std::string text;
  char letter;
};
std::vector<RegionChoice> region_choices(char image_letter);

// The fields that differ from what the dialog showed, checked: game ID three
// letters or digits, maker ID two, the game name up to 64 bytes, disc number
// and revision 0 to 255. False with the message for the first bad field;
// true with nothing set when nothing changed.
bool header_fields_from_texts(const HeaderTexts& shown, const HeaderTexts& typed, EditHeaderFields* fields,
                              std::string* problem);
bool header_fields_set_any(const EditHeaderFields& fields);

// ---------------------------------------------------------------------------
// Running the edit
// ---------------------------------------------------------------------------

// Opens the image in the engine, queues the actions and plans them; nothing
// is written. False with the message to show when any is refused.
bool plan_edit(const std::string& image_path, const std::vector<EditAction>& actions, ExtractionMessage* refusal);
// Bytes the planned edit writes; a large edit shows its progress.
uint64_t planned_bytes();
bool edit_shows_progress(uint64_t bytes_to_write);
// Writes the planned edit (the image is opened for writing only now) and
// resets the engine; on_progress (may be null) hears the bytes written. False
// with the message to show.
bool apply_planned_edit(EditProgressFn on_progress, ExtractionMessage* failure);
// The engine's error as a message: its Japanese text, then the path it
// concerns (an in-image path in code page 932, a host path in the system's).
ExtractionMessage edit_error_message(uint16_t code, const std::string& path);

// The copy dialog's caption while an edit writes.
extern const char EDIT_CAPTION_WRITING[];

// ---------------------------------------------------------------------------
// After the edit
// ---------------------------------------------------------------------------

// The folder the view returns to and the rows it selects there: the rows'
// folder with the edited rows under their new names, or none after a
// removal; the folder shown with the added files, or after a header edit
// with the rows selected in it.
struct EditRestore {
  std::string folder;
  std::vector<std::string> rows;
};
EditRestore restore_after_edit(EditCommand command, const EditSelection& selection,
                               const std::vector<EditAction>& actions);
// The folder itself when the mounted image has it, else the nearest folder
// above it that it has ("/" at the least).
std::string existing_folder(const std::string& folder);
