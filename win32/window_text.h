// Texts in the Windows programs' windows. This folder is the only code that
// calls the wide-character API or converts texts for windows: the callers
// hold Japanese texts as code page 932 bytes and host paths in the system
// code page, and these functions show both through the wide calls, so they
// read correctly whatever the system's code page.
#pragma once

#include <windows.h>

#include <commctrl.h>

#include <string>

#include "host/shown_text.h"

// ---------------------------------------------------------------------------
// Conversions
// ---------------------------------------------------------------------------

std::wstring wide_from_cp932(const std::string& cp932);
std::wstring wide_from_system(const std::string& text);
// Each part from its own code page.
std::wstring wide_shown(const ShownText& text);

// ---------------------------------------------------------------------------
// Windows, controls and message boxes
// ---------------------------------------------------------------------------

void set_window_text_932(HWND window, const std::string& cp932);
void set_window_text_shown(HWND window, const ShownText& text);
void set_item_text_932(HWND dialog, int id, const std::string& cp932);
void set_item_text_in_code_page(HWND dialog, int id, unsigned code_page, const std::string& text);
// The whole text of a control, as code page 932 bytes.
std::string item_text_932(HWND dialog, int id);

// A path edit's text in the system code page, at most capacity - 1 bytes.
std::string item_path(HWND dialog, int id, size_t capacity = MAX_PATH);
void set_item_path(HWND dialog, int id, const std::string& path);

// A modal dialog from a template, as a Unicode window, so that its controls
// keep every text the wide calls give them whatever the system's code page.
INT_PTR dialog_box_unicode(int template_id, HWND owner, DLGPROC procedure);
// A child control of a system class ("SysTabControl32"), as a Unicode window.
HWND create_control_unicode(HWND parent, const char* class_name, DWORD style, int x, int y,
                            int width, int height, int id);

// Message boxes whose texts and caption are code page 932 bytes.
int message_box_932(HWND owner, const std::string& text_cp932, const std::string& caption_cp932,
                    UINT flags);
int message_box_shown(HWND owner, const ShownText& text, const std::string& caption_cp932,
                      UINT flags);

// ---------------------------------------------------------------------------
// Lists and views
// ---------------------------------------------------------------------------

// Adds a line at the end of a list box and widens its horizontal scroll
// range to the line when it is longer than any before; returns its index.
LRESULT list_box_add_line(HWND list, const ShownText& line);
// Adds an entry to a combo box's list, from the given code page.
void combo_add_text(HWND combo, unsigned code_page, const std::string& text);
void status_bar_set_text_932(HWND bar, int part, const std::string& cp932);
void tab_insert_932(HWND tab, int index, const std::string& cp932);
// A tree item or list view row with its text, image and parameter.
HTREEITEM tree_insert_932(HWND tree, HTREEITEM parent, const std::string& cp932, int image,
                          int selected_image, LPARAM param);
void list_view_insert_932(HWND list, int row, const std::string& cp932, int image, LPARAM param);
