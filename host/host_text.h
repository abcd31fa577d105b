// Text conversions between UTF-8 (terminals and command lines) and the code
// pages that disc images and the Japanese programs use.
#pragma once

#include <cstddef>
#include <string>

namespace host {

// True for a byte that starts a double-byte code page 932 character.
inline bool is_cp932_lead_byte(unsigned char c) {
  return (c >= 0x81 && c <= 0x9F) || (c >= 0xE0 && c <= 0xFC);
}

// UTF-8 to code page 932 (Shift-JIS). False when the text has a character
// that code page 932 cannot hold, or is not valid UTF-8.
bool utf8_to_cp932(const std::string& utf8, std::string* cp932);

// Code page 932 to UTF-8. False when the bytes are not valid code page 932.
bool cp932_to_utf8(const std::string& cp932, std::string* utf8);

// Windows-1252 to UTF-8. False for the five bytes Windows-1252 leaves undefined.
bool cp1252_to_utf8(const std::string& cp1252, std::string* utf8);

// Names of files and folders. Inside an image they are code page 932 bytes;
// on the host they are what its file functions take: UTF-8 on POSIX hosts,
// the ANSI code page on Windows (932 on the Japanese systems the programs are
// made for, so there both conversions copy the name unchanged). A name that
// does not convert is copied unchanged and *converted is set false; the
// callers keep such a name rather than refuse a whole tree or image over it.
// Each writes the name with its NUL into out (capacity bytes) and returns
// false only when it does not fit. Neither allocates.

// A host name as a disc name; never longer than the host name.
bool disc_name_from_host_name(const char* host_name, char* out, size_t capacity, bool* converted);
// A disc name as a host name; up to three times as long (a half-width
// katakana byte becomes three UTF-8 bytes).
bool host_name_from_disc_name(const char* disc_name, char* out, size_t capacity, bool* converted);

// The same as strings, sized to fit; *converted may be null.
std::string disc_name_from_host_name(const std::string& host_name, bool* converted = nullptr);
std::string host_name_from_disc_name(const std::string& disc_name, bool* converted = nullptr);

}  // namespace host
