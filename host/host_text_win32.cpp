// Text conversions through the Windows code-page functions. Every call asks
// to fail rather than substitute, so no character is silently replaced.
#include <windows.h>

#include <shellapi.h>

#include <cstring>

#include "host/host_text.h"

#ifndef WC_ERR_INVALID_CHARS
#define WC_ERR_INVALID_CHARS 0x80
#endif

namespace host {

namespace {

constexpr UINT CODE_PAGE_UTF8 = 65001;

bool to_wide(UINT code_page, const std::string& in, std::wstring* out) {
  out->clear();
  if (in.empty()) return true;
  int n = MultiByteToWideChar(code_page, MB_ERR_INVALID_CHARS, in.data(), int(in.size()), nullptr, 0);
  if (n <= 0) return false;
  out->resize(size_t(n));
  return MultiByteToWideChar(code_page, MB_ERR_INVALID_CHARS, in.data(), int(in.size()), &(*out)[0],
                             n) == n;
}

bool from_wide(UINT code_page, const std::wstring& in, std::string* out) {
  out->clear();
  if (in.empty()) return true;
  // UTF-8 takes neither the flags nor the used-default report.
  DWORD flags = code_page == CODE_PAGE_UTF8 ? WC_ERR_INVALID_CHARS : WC_NO_BEST_FIT_CHARS;
  BOOL used_default = FALSE;
  BOOL* used_default_arg = code_page == CODE_PAGE_UTF8 ? nullptr : &used_default;
  int n = WideCharToMultiByte(code_page, flags, in.data(), int(in.size()), nullptr, 0, nullptr,
                              used_default_arg);
  if (n <= 0 || used_default) return false;
  out->resize(size_t(n));
  if (WideCharToMultiByte(code_page, flags, in.data(), int(in.size()), &(*out)[0], n, nullptr,
                          used_default_arg) != n) {
    return false;
  }
  return !used_default;
}

// Converts in from one code page to another through UTF-16; out is left
// alone when the text does not convert.
bool recode(UINT from, UINT to, const std::string& in, std::string* out) {
  std::wstring wide;
  std::string converted;
  if (!to_wide(from, in, &wide) || !from_wide(to, wide, &converted)) return false;
  *out = std::move(converted);
  return true;
}

}  // namespace

bool is_host_lead_byte(unsigned char c) { return IsDBCSLeadByte(c) != 0; }

bool utf8_to_cp932(const std::string& utf8, std::string* cp932) {
  return recode(CODE_PAGE_UTF8, CODE_PAGE_JAPANESE, utf8, cp932);
}

bool cp932_to_utf8(const std::string& cp932, std::string* utf8) {
  return recode(CODE_PAGE_JAPANESE, CODE_PAGE_UTF8, cp932, utf8);
}

bool cp1252_to_utf8(const std::string& cp1252, std::string* utf8) {
  // Windows passes these five through as control characters; they stand for
  // nothing in Windows-1252.
  for (char c : cp1252) {
    unsigned char b = static_cast<unsigned char>(c);
    if (b == 0x81 || b == 0x8D || b == 0x8F || b == 0x90 || b == 0x9D) return false;
  }
  return recode(CODE_PAGE_WESTERN, CODE_PAGE_UTF8, cp1252, utf8);
}

// The ANSI file functions already take and give names in the system code
// page, the one images hold: names pass unchanged both ways.
static bool copy_name(const char* name, char* out, size_t capacity, bool* converted) {
  size_t length = std::strlen(name);
  *converted = length + 1 <= capacity;
  if (!*converted) return false;
  std::memcpy(out, name, length + 1);
  return true;
}

bool disc_name_from_host_name(const char* host_name, char* out, size_t capacity, bool* converted) {
  return copy_name(host_name, out, capacity, converted);
}

bool host_name_from_disc_name(const char* disc_name, char* out, size_t capacity, bool* converted) {
  return copy_name(disc_name, out, capacity, converted);
}

}  // namespace host

namespace host {

bool latin1_bytes_of_host_name(const std::string& host_name, std::string* bytes) {
  std::wstring wide;
  if (!to_wide(CP_ACP, host_name, &wide)) return false;
  std::string out;
  bool beyond_ascii = false;
  for (wchar_t c : wide) {
    if (c > 0xFF) return false;
    beyond_ascii = beyond_ascii || c >= 0x80;
    out += char(c);
  }
  if (!beyond_ascii) return false;
  *bytes = std::move(out);
  return true;
}

std::string host_text_to_utf8(const std::string& host_text) {
  std::string utf8;
  return recode(CP_ACP, CODE_PAGE_UTF8, host_text, &utf8) ? utf8 : host_text;
}

std::vector<std::string> utf8_arguments(int argc, char** argv) {
  int count = 0;
  LPWSTR* wide = CommandLineToArgvW(GetCommandLineW(), &count);
  std::vector<std::string> args;
  if (wide && count == argc) {
    for (int i = 1; i < count; ++i) {
      std::string arg;
      from_wide(CODE_PAGE_UTF8, wide[i], &arg);
      args.push_back(arg);
    }
  } else {
    args.assign(argv + 1, argv + argc);
  }
  if (wide) LocalFree(wide);
  return args;
}

std::string host_name_key(const std::string& host_name) {
  std::wstring wide;
  if (!to_wide(CP_ACP, host_name, &wide)) return host_name;
  if (!wide.empty()) CharUpperBuffW(&wide[0], DWORD(wide.size()));
  return std::string(reinterpret_cast<const char*>(wide.data()), wide.size() * sizeof(wchar_t));
}

}  // namespace host

namespace host {

void sort_names_as_windows_lists(std::vector<std::string>*) {}

}  // namespace host
