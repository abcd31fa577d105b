// The wizard's additions to the shared code-page layer (host/window_text.h):
// texts that show a path beside Japanese words, path edits and the log list.
#pragma once

#include <windows.h>

#include <string>

#include "host/window_text.h"
#include "wizard/wizard_logic.h"

// Each part from its own code page.
std::wstring wide_shown(const ShownText& text);

// A path edit's text in the system code page, at most EDIT_TEXT_LIMIT bytes.
std::string item_path(HWND dialog, int id);
void set_item_path(HWND dialog, int id, const char* path);

int message_box_932(HWND owner, const ShownText& text, const std::string& caption_cp932,
                    UINT flags);

// Adds a line at the end of a list box; returns its index.
LRESULT list_add_line(HWND list, const std::wstring& line);
