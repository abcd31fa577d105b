// Conversions between the programs' byte texts and the wide-character calls.
#include "win32/window_text.h"

#include <vector>

#include "host/host_text.h"

namespace {

std::wstring to_wide(UINT code_page, const std::string& text) {
  if (text.empty()) return std::wstring();
  int n = MultiByteToWideChar(code_page, 0, text.data(), int(text.size()), nullptr, 0);
  if (n <= 0) return std::wstring();
  std::wstring wide(size_t(n), L'\0');
  MultiByteToWideChar(code_page, 0, text.data(), int(text.size()), &wide[0], n);
  return wide;
}

std::string from_wide(UINT code_page, const std::wstring& wide) {
  if (wide.empty()) return std::string();
  int n = WideCharToMultiByte(code_page, 0, wide.data(), int(wide.size()), nullptr, 0, nullptr,
                              nullptr);
  if (n <= 0) return std::string();
  std::string bytes(size_t(n), '\0');
  WideCharToMultiByte(code_page, 0, wide.data(), int(wide.size()), &bytes[0], n, nullptr, nullptr);
  return bytes;
}

}  // namespace

std::wstring wide_from_cp932(const std::string& cp932) {
  return to_wide(host::CODE_PAGE_JAPANESE, cp932);
}

std::wstring wide_from_system(const std::string& text) { return to_wide(CP_ACP, text); }

std::wstring wide_shown(const ShownText& text) {
  return wide_from_cp932(text.before) + wide_from_system(text.path) + wide_from_cp932(text.after);
}

void set_window_text_932(HWND window, const std::string& cp932) {
  SetWindowTextW(window, wide_from_cp932(cp932).c_str());
}

void set_window_text_shown(HWND window, const ShownText& text) {
  SetWindowTextW(window, wide_shown(text).c_str());
}

void set_item_text_932(HWND dialog, int id, const std::string& cp932) {
  SetDlgItemTextW(dialog, id, wide_from_cp932(cp932).c_str());
}

void set_item_text_in_code_page(HWND dialog, int id, unsigned code_page, const std::string& text) {
  SetDlgItemTextW(dialog, id, to_wide(code_page, text).c_str());
}

std::string item_text_932(HWND dialog, int id) {
  HWND item = GetDlgItem(dialog, id);
  int length = GetWindowTextLengthW(item);
  std::vector<wchar_t> buffer(size_t(length) + 1, L'\0');
  GetWindowTextW(item, buffer.data(), length + 1);
  // Characters code page 932 cannot hold become '?'.
  return from_wide(host::CODE_PAGE_JAPANESE, buffer.data());
}

std::string item_path(HWND dialog, int id, size_t capacity) {
  std::vector<char> buffer(capacity, '\0');
  GetDlgItemTextA(dialog, id, buffer.data(), int(capacity));
  return buffer.data();
}

void set_item_path(HWND dialog, int id, const std::string& path) {
  SetDlgItemTextA(dialog, id, path.c_str());
}

INT_PTR dialog_box_unicode(int template_id, HWND owner, DLGPROC procedure) {
  return DialogBoxParamW(GetModuleHandleW(nullptr), MAKEINTRESOURCEW(template_id), owner, procedure, 0);
}

HWND create_control_unicode(HWND parent, const char* class_name, DWORD style, int x, int y,
                            int width, int height, int id) {
  return CreateWindowExW(0, wide_from_system(class_name).c_str(), L"", style, x, y, width, height,
                         parent, reinterpret_cast<HMENU>(INT_PTR(id)), GetModuleHandleW(nullptr),
                         nullptr);
}

int message_box_932(HWND owner, const std::string& text_cp932, const std::string& caption_cp932,
                    UINT flags) {
  return message_box_shown(owner, japanese_text(text_cp932), caption_cp932, flags);
}

int message_box_shown(HWND owner, const ShownText& text, const std::string& caption_cp932,
                      UINT flags) {
  return MessageBoxW(owner, wide_shown(text).c_str(), wide_from_cp932(caption_cp932).c_str(), flags);
}

LRESULT list_box_add_line(HWND list, const ShownText& line) {
  std::wstring wide = wide_shown(line);
  LRESULT index = SendMessageW(list, LB_ADDSTRING, 0, reinterpret_cast<LPARAM>(wide.c_str()));
  HDC dc = GetDC(list);
  HGDIOBJ previous = SelectObject(dc, reinterpret_cast<HFONT>(SendMessageW(list, WM_GETFONT, 0, 0)));
  SIZE extent;
  if (GetTextExtentPoint32W(dc, wide.c_str(), int(wide.size()), &extent)) {
    // A little room past the text, as the list's own margin.
    LRESULT width = extent.cx + 8;
    if (width > SendMessageW(list, LB_GETHORIZONTALEXTENT, 0, 0))
      SendMessageW(list, LB_SETHORIZONTALEXTENT, WPARAM(width), 0);
  }
  SelectObject(dc, previous);
  ReleaseDC(list, dc);
  return index;
}

void combo_add_text(HWND combo, unsigned code_page, const std::string& text) {
  std::wstring wide = to_wide(code_page, text);
  SendMessageW(combo, CB_ADDSTRING, 0, reinterpret_cast<LPARAM>(wide.c_str()));
}

void status_bar_set_text_932(HWND bar, int part, const std::string& cp932) {
  SendMessageW(bar, SB_SETTEXTW, WPARAM(part),
               reinterpret_cast<LPARAM>(wide_from_cp932(cp932).c_str()));
}

void tab_insert_932(HWND tab, int index, const std::string& cp932) {
  std::wstring label = wide_from_cp932(cp932);
  TCITEMW item = {};
  item.mask = TCIF_TEXT;
  item.pszText = &label[0];
  SendMessageW(tab, TCM_INSERTITEMW, WPARAM(index), reinterpret_cast<LPARAM>(&item));
}

HTREEITEM tree_insert_932(HWND tree, HTREEITEM parent, const std::string& cp932, int image,
                          int selected_image, LPARAM param) {
  std::wstring text = wide_from_cp932(cp932);
  TVINSERTSTRUCTW insert = {};
  insert.hParent = parent;
  insert.hInsertAfter = TVI_LAST;
  insert.item.mask = TVIF_TEXT | TVIF_IMAGE | TVIF_SELECTEDIMAGE | TVIF_PARAM;
  insert.item.pszText = &text[0];
  insert.item.iImage = image;
  insert.item.iSelectedImage = selected_image;
  insert.item.lParam = param;
  return reinterpret_cast<HTREEITEM>(
      SendMessageW(tree, TVM_INSERTITEMW, 0, reinterpret_cast<LPARAM>(&insert)));
}

void list_view_insert_932(HWND list, int row, const std::string& cp932, int image, LPARAM param) {
  std::wstring text = wide_from_cp932(cp932);
  LVITEMW item = {};
  item.mask = LVIF_TEXT | LVIF_IMAGE | LVIF_PARAM;
  item.iItem = row;
  item.pszText = &text[0];
  item.iImage = image;
  item.lParam = param;
  SendMessageW(list, LVM_INSERTITEMW, 0, reinterpret_cast<LPARAM>(&item));
}
