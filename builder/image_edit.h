// Editing a plain disc image in place: replace, add, remove and rename files
// and folders and set header fields, without rebuilding the image.
//
// One edit at a time, over one engine state. Calling order:
//   builder_edit_reset, builder_edit_open (reads and checks the table),
//   any number of actions (each is checked against the image as the actions
//   before it left it, and refused alone, changing nothing, when it cannot
//   be done), builder_edit_plan (places every new byte; a dry run stops
//   here), builder_edit_apply once, builder_edit_reset.
// Operations return a success flag and leave a code in
// builder_edit_last_error(): a BuildError (builder.h) or an EditError below,
// with the in-image or host path it concerns in builder_edit_last_error_path().
//
// Safe to interrupt: the live table and every byte a kept entry uses are
// never written. New data and the new table go into free space and reach
// the disk first; then the table pointers in the header are written and
// flushed; header fields follow in a separate, later write; last, the space
// this edit freed (old data, the old table) is zeroed so that later edits
// find it free. Killed at any point, the image holds the old table or the
// new one, and every file of it reads whole.
//
// Free space: a gap between the areas the header and the table use is free
// where it holds only zeros or the disc's filler (container/junk.h), never
// elsewhere (data outside the table stays). New data takes the first gap
// that fits at its alignment, else goes past the last used byte; space
// freed by this edit is not reused before the new table is live.
//
// In-image paths are code page 932 bytes with "/" between names, as the
// reader takes them; a leading "/" may be left out. Folders match ignoring
// ASCII case, files by their exact bytes. The image is only read until
// builder_edit_apply, which opens it for writing and closes it again.
#pragma once

#include <cstddef>
#include <cstdint>

#include "builder/builder.h"

// The edit's own codes, after the builder's.
enum EditError : uint16_t {
  // The image is a container (RVZ, WIA, GCZ, CISO, WDF): only a plain image
  // is edited in place; converting it first makes one.
  EDIT_ERR_CONTAINER = BUILD_ERROR_LAST + 1,  // 20
  // The file is no GameCube disc image (a Wii disc, or no disc at all).
  EDIT_ERR_NOT_A_DISC,
  // The header's table lies outside the image or cannot be trusted.
  EDIT_ERR_BAD_TABLE,
  // No entry at the path an action names.
  EDIT_ERR_NO_SUCH_ENTRY,
  // A folder where a file is needed (replacing a folder) or a file where a
  // folder is (adding below a file), or the root named for a removal or a
  // rename.
  EDIT_ERR_WRONG_KIND,
  // A new name breaks the name rules (builder_edit_name_problem).
  EDIT_ERR_BAD_NAME,
  // Another entry of the folder has that name already (ASCII case ignored,
  // as the host file systems of Windows do).
  EDIT_ERR_NAME_TAKEN,
  // The edited content would pass a full disc (builder_edit_content_end
  // says where it would end); builder_edit_set_allow_oversize allows it.
  EDIT_ERR_OVERSIZE,
  // The image cannot be opened for writing (read-only, or held open).
  EDIT_ERR_OPEN_FOR_WRITING,
  // The image changed (its identity or size) between its opening and the
  // write; nothing was written.
  EDIT_ERR_IMAGE_CHANGED,
  // An action without an open image, or builder_edit_apply without a
  // successful plan since the last action.
  EDIT_ERR_NOT_READY,
};
constexpr uint16_t EDIT_ERROR_LAST = EDIT_ERR_NOT_READY;

// Other codes an edit gives: 1 out of memory; 4 a host file (or the image)
// cannot be opened; 5 reading failed; 6 writing failed; 9 the table would
// pass the format's limits; 10 a file of 4 GiB or more, or data past 4 GiB;
// 13 a host file changed size after it was given; 15 a host file is no
// regular file.

enum EditActionKind : uint8_t {
  EDIT_REPLACE,  // a file's data from a host file
  EDIT_ADD,      // a new file from a host file, missing folders created
  EDIT_REMOVE,   // a file, or a folder with everything below it
  EDIT_RENAME,   // a file or folder, within its folder
  EDIT_HEADER,   // header fields
};

// The header fields an action sets; each has a flag saying whether it is set.
struct EditHeaderFields {
  bool set_game_code;
  char game_code[3];  // the three identifying characters
  bool set_maker_code;
  char maker_code[2];
  bool set_game_name;
  char game_name[64];  // stored as these 64 bytes
  bool set_region;
  char region_letter;  // the fourth game-code byte; with the GameCube magic
                       // word, the bi2 region word follows it
  bool set_disc_number;
  uint8_t disc_number;  // 0 for the first disc of a set
  bool set_revision;
  uint8_t revision;
};

// One action as queued, and after builder_edit_plan where it puts its data.
struct EditStep {
  EditActionKind kind;
  const char* path;      // the in-image path it named, with "/" first
  const char* new_name;  // EDIT_RENAME: the new name; else ""
  const char* host_path;  // EDIT_REPLACE, EDIT_ADD: the host file; else ""
  uint32_t length;        // EDIT_REPLACE, EDIT_ADD: bytes of new data
  // EDIT_REPLACE, EDIT_ADD after a plan: whether its data is written (a
  // later action may replace or remove the file again) and where.
  bool placed;
  uint32_t data_offset;
  uint32_t alignment;  // the alignment the data was placed at
  // EDIT_REPLACE: where the old data lay (0 when a file added by this edit
  // is replaced again).
  uint32_t previous_offset;
  uint32_t previous_length;
  uint32_t entries_removed;  // EDIT_REMOVE: the entry and all below it
  uint32_t folders_created;  // EDIT_ADD: folders made for it
  bool from_folder;          // queued by builder_edit_from_folder
  EditHeaderFields header;   // EDIT_HEADER
};

// What a plan gives beside the steps.
struct EditPlan {
  bool writes_table;      // the tree changes: a new table is written
  uint32_t table_offset;  // where the new table goes (else where it is)
  uint32_t table_size;
  uint64_t image_size_before;
  uint64_t image_size_after;  // a full-size image keeps its size
  uint64_t content_end;       // the end of the last byte used after the edit
  uint64_t bytes_to_write;    // new data and the table
  uint64_t bytes_freed;       // old data and the old table, zeroed at the end
};

// The stages of builder_edit_apply, in order, for a front end's log.
enum EditStage : uint8_t {
  EDIT_STAGE_DATA,     // copying new data into free space
  EDIT_STAGE_TABLE,    // writing the new table into free space, flushed
  EDIT_STAGE_SWITCH,   // pointing the header at the new table, flushed
  EDIT_STAGE_HEADER,   // writing the header fields, flushed
  EDIT_STAGE_CLEAR,    // zeroing the space the edit freed
  EDIT_STAGE_DONE,
};

// Callbacks, each may be null. on_step: a step is done (its data written,
// or for the others when the new table is live); on_progress: bytes of new
// data written so far out of the plan's bytes_to_write.
typedef void (*EditStageFn)(EditStage stage);
typedef void (*EditStepFn)(const EditStep* step);
typedef void (*EditProgressFn)(uint64_t done, uint64_t total);

bool builder_edit_reset();
void builder_edit_set_callbacks(EditStageFn on_stage, EditStepFn on_step, EditProgressFn on_progress);
// Content past a full disc is written when enabled. Off after reset.
void builder_edit_set_allow_oversize(bool enabled);

// Opens a plain image (host path), reads its header and table and checks
// the table. Codes 4, 5, 19, 20, 21, 1.
bool builder_edit_open(const char* image_path);

// The actions. image_path is in-image (code page 932), host_path a host
// file, new_name a single name (code page 932).
bool builder_edit_replace(const char* image_path, const char* host_path);
bool builder_edit_add(const char* image_path, const char* host_path);
bool builder_edit_remove(const char* image_path);
bool builder_edit_rename(const char* image_path, const char* new_name);
bool builder_edit_set_header(const EditHeaderFields* fields);
// Every file below the host folder replaces the file at the same path in the
// image, or is added where there is none, in the order Windows lists each
// folder; host names are taken in code page 932 as the builder takes them.
// All or nothing: when one is refused, none is queued.
bool builder_edit_from_folder(const char* host_folder);

// Why a name cannot be a new entry's name, or null when it can: empty, "."
// or "..", a "/" or "\\" in it, not code page 932, longer than 255 bytes, or
// a name the host's file system would not take back on extraction.
const char* builder_edit_name_problem(const char* name);

// Places everything and checks that it fits; writes nothing. Codes 9, 10,
// 26, 5, 1.
bool builder_edit_plan();
const EditPlan* builder_edit_get_plan();
size_t builder_edit_step_count();
const EditStep* builder_edit_step(size_t index);
// After a plan, or a refusal with code 26: where the content would end.
uint64_t builder_edit_content_end();

// Writes the planned edit into the image. Codes 27, 28, 29, 4, 5, 6, 13, 15.
bool builder_edit_apply();
// After a failed apply: true when the new table became live before the
// failure (the files are edited; what failed came later: header fields or
// the clearing of freed space).
bool builder_edit_table_switched();

uint16_t builder_edit_last_error();
// The in-image path (code page 932) or host path the last error concerns;
// "" for none.
const char* builder_edit_last_error_path();
// With EDIT_ERR_BAD_NAME: the rule the refused new name breaks
// (builder_edit_name_problem's words); else null.
const char* builder_edit_last_name_problem();
// The code's text in Japanese (code page 932), for the windows.
const char* builder_edit_error_text(uint16_t code);
