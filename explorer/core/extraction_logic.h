// Window-free rules of the extraction commands: destination names, what a
// Selection extraction copies, the system-area copies and every message the
// commands show.
#pragma once

#include <cstdint>
#include <string>

#include "host/shown_text.h"

// What an extraction command copies out of the image.
enum class ExtractKind {
  WholeImage = 0,
  Selection = 1,
  BootData = 2,
  FileSystemTable = 3,
  Apploader = 4,
  MainProgram = 5,
};

// ---------------------------------------------------------------------------
// Destination paths (host paths, in the system code page)
// ---------------------------------------------------------------------------

// The folder with the host's separator at its end, added only when it is not
// there already (a drive root such as C:\ keeps its one). A 0x5C byte that is
// the second byte of a double-byte character is no separator.
std::string folder_with_separator(const std::string& folder);

// The folder as the reader's folder extractions take it: they put their own
// separator before each name, so one at the end is dropped, except where it
// is the whole of a root ("/", "C:\" keeps working as "C:").
std::string folder_for_reader(const std::string& folder);

// "boot.bin", "fst", "apploader" or "default.dol" for the four system areas;
// null for WholeImage and Selection.
const char* system_area_file_name(ExtractKind kind);

// The in-image path of a list row: the tree path, then "/" unless the tree
// path is the root "/", then the row's name.
std::string row_image_path(const std::string& tree_path, const std::string& row_name);

// ---------------------------------------------------------------------------
// Selection
// ---------------------------------------------------------------------------

// Which view held the keyboard focus when the command was chosen.
enum class CommandFocus { Tree, List, Other };

struct SelectionRequest {
  CommandFocus focus;
  std::string tree_path;     // TreeNodePath of the tree's selected item
  bool tree_root_selected;   // the selected item is the tree's root item
  bool has_row;              // the list has a focused row
  std::string row_name;      // its text (image name bytes)
};

// What a Selection extraction does, found with the reader's lookups.
struct SelectionTarget {
  enum Action {
    NothingSelected,  // the list is focused but has no focused row
    Directory,        // IsoExtractDirectory(image_path, destination)
    File,             // IsoExtractFile(image_path, destination + file_name)
  } action;
  std::string image_path;
  std::string destination;  // the folder, as the reader takes it
  std::string file_name;    // File: the row's name, joined by the reader
};

// folder is the chosen destination with its separator at the end.
SelectionTarget selection_target(const SelectionRequest& request, const std::string& folder);

// Runs a Directory or File target through the reader; the reader's error code
// tells why it failed.
bool extract_selection(const SelectionTarget& target);

// ---------------------------------------------------------------------------
// System areas
// ---------------------------------------------------------------------------

// Copies one system area into file; false for a kind that is no system area.
bool extract_system_area(ExtractKind kind, const std::string& file);
// The span of the image that extract_system_area copies for kind; false
// (with the reader's code) when there is none, as for the main program of a
// disc without one.
bool system_area_span(ExtractKind kind, uint32_t* first_byte, uint32_t* length);

// ---------------------------------------------------------------------------
// Messages
// ---------------------------------------------------------------------------

enum class MessageIcon { None, Error, Information };

// A message box: its text (code page 932 words around a host path), its
// caption (code page 932) and its icon.
struct ExtractionMessage {
  ShownText text;
  std::string caption;
  MessageIcon icon;
};

// The list was focused with no row in it.
ExtractionMessage nothing_selected_message();
// A copy failed: the reader's text for its last error, empty caption, no icon.
// A folder copy the reader stopped at an entry (IsoGetRefusedEntryPath)
// names that entry's in-image path on a second line, so the file the copy
// dialog still shows, the last one copied, is not taken for the culprit.
ExtractionMessage reader_error_message(const char* reader_text, const char* refused_entry = "");
// The result of a system-area copy into file. A failure says only that the
// file cannot be saved, unless the reader's code (reader_code) is that the
// disc has no main program: its text then follows.
ExtractionMessage system_area_message(bool saved, const std::string& file, int reader_code = 0);

// The copy dialog's captions while copying, after success and after failure.
extern const char COPY_CAPTION_COPYING[];
extern const char COPY_CAPTION_FINISHED[];
extern const char COPY_CAPTION_FAILED[];
// The caption of the explorer's error messages.
extern const char CAPTION_ERROR[];
