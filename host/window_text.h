// The code-page layer of the Windows programs' windows. Japanese texts are
// held as code page 932 bytes and shown through the wide-character calls, so
// they read correctly whatever the system's code page; host paths are in the
// system code page and are converted from it.
#pragma once

#include <windows.h>

#include <string>

std::wstring wide_from_cp932(const std::string& cp932);
std::wstring wide_from_system(const std::string& text);
// Any other code page (banner texts in Windows-1252, for one).
std::wstring wide_from_code_page(UINT code_page, const std::string& text);
// Characters code page 932 cannot hold become '?'.
std::string cp932_from_wide(const std::wstring& wide);
// Into the system code page (host paths), with its default character for
// those it cannot hold.
std::string system_from_wide(const std::wstring& wide);

void set_window_text_932(HWND window, const std::string& cp932);
void set_item_text_932(HWND dialog, int id, const std::string& cp932);
// The whole text of a control, as code page 932 bytes.
std::string item_text_932(HWND dialog, int id);

// A message box whose text and caption are both code page 932 bytes.
int message_box_932(HWND owner, const std::string& text_cp932, const std::string& caption_cp932,
                    UINT flags);
