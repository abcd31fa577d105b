// What every window of the wizard shares: the state the pages fill, the
// pictures, font and pens made once at start, the page frame's painting, the
// page flow, message draining and the one way out of the program.
#pragma once

#include <windows.h>

#include <string>

#include "builder/builder.h"
#include "wizard/core/wizard_logic.h"
#include "wizard/core/wizard_state.h"

// The values the pages collect, for the whole run.
extern WizardState g_wizard;
// The record the summary page fills and hands to the builder.
extern BuildSettings g_build_settings;

// Made once by load_wizard_resources.
struct WizardResources {
  HBITMAP welcome_picture;
  int welcome_width, welcome_height;
  HBITMAP page_picture;
  int page_width, page_height;
  HFONT title_font;
  HPEN grey_pen, white_pen, null_pen;
  HBRUSH white_brush;  // the welcome panel's static texts
};
extern WizardResources g_resources;

// One-time start-up; later calls do nothing.
void load_wizard_resources();
// Deletes the pens and drawing objects and ends the process with status 0.
[[noreturn]] void exit_wizard();

// The frame of an inner page and of the progress dialog: separators, white
// header strip, page picture and title.
void paint_page_banner(HWND window, const char* title);
// The welcome page's band picture, white panel and title.
void paint_welcome_page(HWND window);

// Runs every pending message of the thread and returns when none is left.
void drain_window_messages();
// Walks the builder's scanned tree with the wait cursor shown; sets
// total_data_size and has_long_names.
void measure_source_tree();

// Large and small window icons.
void set_window_icons(HWND window);
// Icons, caption "Trelvik" and the three navigation buttons' texts.
void apply_page_texts(HWND page);
// Ends the current page with end_code and opens the page of template_id as a
// new modal dialog with no owner. Returns when that dialog has ended.
void open_page(HWND current, INT_PTR end_code, int template_id);

// Next on an input page: opens the page of template_id when the page's values
// are complete, else shows the common "fill in every field" message and stays.
void next_page_if_complete(HWND page, bool complete, int template_id);

// A path edit's text into a path field of the wizard's state, cut to
// EDIT_TEXT_LIMIT bytes.
void store_path_edit(HWND page, int id, char* field);

// A Japanese message box with the caption "エラー", an error icon and OK.
void show_error(HWND owner, const ShownText& text);

// What the pages' browse buttons choose files for; each has its type filter.
enum class WizardFile { DiscImage, OutputImage, MainProgram, Apploader };
// The open dialog (the save dialog for OutputImage, which adds ".gcm" unless
// the name ends in it). One 260-byte name serves every call of the run, so a
// dialog starts with the last name chosen. "" when the user cancels; the
// path is in the system code page.
std::string choose_wizard_file(HWND page, WizardFile kind);
// The folder browser for the base directory, opening on the folder shown
// (the edit's path); "" when nothing is chosen or it does not fit in 259 bytes.
std::string choose_base_directory(HWND page, const std::string& shown);
