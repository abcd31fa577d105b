// Texts of the wizard's windows that mix code pages, and its path edits.
#include "wizard/code_page_text.h"

std::wstring wide_shown(const ShownText& text) {
  return wide_from_cp932(text.before) + wide_from_system(text.path) + wide_from_cp932(text.after);
}

std::string item_path(HWND dialog, int id) {
  char buffer[EDIT_TEXT_LIMIT + 1] = {};
  GetDlgItemTextA(dialog, id, buffer, sizeof(buffer));
  return buffer;
}

void set_item_path(HWND dialog, int id, const char* path) { SetDlgItemTextA(dialog, id, path); }

int message_box_932(HWND owner, const ShownText& text, const std::string& caption_cp932,
                    UINT flags) {
  return MessageBoxW(owner, wide_shown(text).c_str(), wide_from_cp932(caption_cp932).c_str(), flags);
}

LRESULT list_add_line(HWND list, const std::wstring& line) {
  return SendMessageW(list, LB_ADDSTRING, 0, reinterpret_cast<LPARAM>(line.c_str()));
}
