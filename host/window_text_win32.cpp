// Conversions between the programs' byte texts and the wide-character calls.
#include "host/window_text.h"

#include <vector>

namespace {

constexpr UINT CODE_PAGE_JAPANESE = 932;

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

std::wstring wide_from_cp932(const std::string& cp932) { return to_wide(CODE_PAGE_JAPANESE, cp932); }

std::wstring wide_from_system(const std::string& text) { return to_wide(CP_ACP, text); }

std::wstring wide_from_code_page(UINT code_page, const std::string& text) {
  return to_wide(code_page, text);
}

std::string cp932_from_wide(const std::wstring& wide) { return from_wide(CODE_PAGE_JAPANESE, wide); }

std::string system_from_wide(const std::wstring& wide) { return from_wide(CP_ACP, wide); }

void set_window_text_932(HWND window, const std::string& cp932) {
  SetWindowTextW(window, wide_from_cp932(cp932).c_str());
}

void set_item_text_932(HWND dialog, int id, const std::string& cp932) {
  SetDlgItemTextW(dialog, id, wide_from_cp932(cp932).c_str());
}

std::string item_text_932(HWND dialog, int id) {
  HWND item = GetDlgItem(dialog, id);
  int length = GetWindowTextLengthW(item);
  std::vector<wchar_t> buffer(size_t(length) + 1, L'\0');
  GetWindowTextW(item, buffer.data(), length + 1);
  return cp932_from_wide(buffer.data());
}

int message_box_932(HWND owner, const std::string& text_cp932, const std::string& caption_cp932,
                    UINT flags) {
  return MessageBoxW(owner, wide_from_cp932(text_cp932).c_str(),
                     wide_from_cp932(caption_cp932).c_str(), flags);
}
