// The wizard's window-free rules: what the pages check and store, the summary
// lines, the measure of the scanned tree, the save dialog's extension rule,
// the progress dialog's arithmetic and log lines, and the messages for a
// failed build. The dialogs only move these values in and out of controls.
//
// Texts are code page 932 bytes. Host paths stay in the system code page, so
// a text that shows a path keeps it apart (ShownText) and the window layer
// converts each part from its own code page.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

#include "builder/builder.h"
#include "host/shown_text.h"
#include "wizard/core/wizard_state.h"

// ---------------------------------------------------------------------------
// Header page
// ---------------------------------------------------------------------------

// Widest text a page reads from an edit, in bytes (its buffer less the NUL).
constexpr size_t EDIT_TEXT_LIMIT = 259;
constexpr size_t GAME_ID_LIMIT = 3;
constexpr size_t GAME_NAME_LIMIT = 64;
constexpr size_t MAKER_ID_LIMIT = 2;

// Keeps the leading limit bytes of text in field (limit + 1 bytes wide,
// zero-terminated). True when bytes were cut off.
bool store_cut_text(const std::string& text, size_t limit, char* field);

// The game name as stored: up to its first NUL, at most GAME_NAME_LIMIT bytes
// (a full field has no terminator).
std::string stored_game_name(const WizardState& state);

// What a header edit gives back on Next or Back: the bytes the page loaded
// into it while it still shows exactly what it showed then, else the typed
// text. A double-byte character cut in two does not survive the edit's
// wide-character round trip (the lone lead byte comes back as another
// character), so the loaded bytes are kept rather than read back: they stay
// unchanged and do not warn again.
std::string header_edit_text(const std::string& typed, const std::string& shown_when_loaded,
                             const std::string& loaded);

// The Next checks of each page, on the values already stored.
bool header_page_complete(const WizardState& state);
bool boot_files_page_complete(const WizardState& state);
bool base_directory_page_complete(const WizardState& state);
bool output_file_page_complete(const WizardState& state);

// The region list's items, in list order.
extern const char* const REGION_NAMES[3];
// "Japan", "USA", or "Europe" for any other index.
const char* region_name(uint16_t region_index);

// ---------------------------------------------------------------------------
// Summary page
// ---------------------------------------------------------------------------

// The lines the summary list shows, in order.
std::vector<ShownText> summary_lines(const WizardState& state);

// Names longer than this many bytes are not 8.3 names and get the question.
constexpr size_t LONG_NAME_LIMIT = 12;
bool is_long_name(const char* name);

struct TreeMeasure {
  uint32_t total_data_size;  // sum of the file sizes, 32-bit like the header
  bool has_long_names;
};
// Walks the scanned tree depth first, in sibling order, calling each_node
// (when given) before every node so the caller can keep its windows live.
TreeMeasure measure_tree(const SourceNode* root, void (*each_node)());

// The message for a failed builder_prepare, from its error code and the path
// the builder names for it (builder_last_error_path).
ShownText prepare_failure_message(uint16_t code, const BuildSettings& settings,
                                  const std::string& error_path);
// The output is the same file as an input ("the output file is the same file
// as <input_label> '<input_path>'; choose another output file").
ShownText output_clash_message(const char* input_label, const std::string& input_path);

// ---------------------------------------------------------------------------
// File chooser
// ---------------------------------------------------------------------------

// The save dialog's rule: appends extension unless the name already ends in
// it, compared byte by byte and case-sensitively. A name that would no longer
// fit in capacity bytes (NUL included) is left as it is; false then.
bool append_default_extension(char* buffer, size_t capacity, const char* extension);

// ---------------------------------------------------------------------------
// Write progress dialog
// ---------------------------------------------------------------------------

// Both bars run from 0 to this: percentages times 5.
constexpr uint32_t PROGRESS_BAR_RANGE = 500;

uint32_t stage_bar_position(int percent);
// The whole job's bar: (completed + stage) / (total / 100) * 5. A total under
// 100 bytes is taken as one byte per percent instead of a division by zero,
// and the result is held at the bar's end instead of wrapping past 32 bits.
uint32_t overall_bar_position(uint32_t completed_bytes, uint32_t stage_bytes,
                              uint32_t total_data_size);

// "%.2f Mb" of the bytes over 1,048,576.
std::string data_size_text(uint32_t bytes);

// Longest log line in bytes.
constexpr size_t LOG_LINE_LIMIT = 511;
// The progress dialog's log line, in code page 932: "hh:mm:ss      text"
// (six blanks), cut to LOG_LINE_LIMIT bytes without splitting a double-byte
// character.
std::string cp932_log_line(int hour, int minute, int second, const std::string& text);
// Splits a builder log text so that the path of an adding-file line is shown
// in the system code page and the rest in code page 932.
ShownText log_text_parts(const std::string& text);

// Decides when on_progress repaints: when a bar moves, or when enough time
// has passed since the last repaint for the window to need its messages.
struct RepaintGate {
  uint32_t stage_position;
  uint32_t overall_position;
  uint32_t last_repaint_ms;
  bool painted_once;
};
constexpr uint32_t REPAINT_INTERVAL_MS = 50;
void repaint_gate_reset(RepaintGate* gate);
bool repaint_due(RepaintGate* gate, uint32_t stage_position, uint32_t overall_position,
                 uint32_t now_ms);

// The message for a failed builder_write_image. last_log is the last text the
// builder logged: its adding-file line names the file being copied.
// error_path is builder_last_error_path, which names the complete image kept
// aside when the output could not be replaced.
ShownText write_failure_message(uint16_t code, const std::string& last_log,
                                const std::string& error_path = std::string());
