// Text conversions between UTF-8 (terminals and command lines) and the code
// pages that disc images and the Japanese programs use.
#pragma once

#include <cstddef>
#include <string>
#include <vector>

namespace host {

// The code pages of the programs' texts: code page 932 (Shift-JIS) for the
// Japanese texts, names and single-record banners, Windows-1252 for the
// records of six-language banners and their language names.
constexpr unsigned CODE_PAGE_JAPANESE = 932;
constexpr unsigned CODE_PAGE_WESTERN = 1252;

// True for a byte that starts a double-byte code page 932 character.
inline bool is_cp932_lead_byte(unsigned char c) {
  return (c >= 0x81 && c <= 0x9F) || (c >= 0xE0 && c <= 0xFC);
}

// True for a byte that starts a double-byte character of the code page host
// paths are written in: the system code page on Windows, code page 932
// elsewhere (as the host layer reads names there).
bool is_host_lead_byte(unsigned char c);

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

// The bytes a host name spells when each of its characters is read as one
// Latin-1 byte, as tools that write every byte of a disc name as the
// character of that number leave names (Shift-JIS 0x83 0x65 as U+0083 "e").
// False when the name holds a character past U+00FF, or none past U+007F
// (then its bytes are already its disc name).
bool latin1_bytes_of_host_name(const std::string& host_name, std::string* bytes);

// A host path or name in UTF-8 for a terminal: on Windows converted from the
// ANSI code page; on POSIX hosts the bytes are already the terminal's.
std::string host_text_to_utf8(const std::string& host_text);

// The command line's arguments after the program name, in UTF-8. Windows
// hands main its arguments in the ANSI code page, which may not hold what was
// typed: the wide command line does.
std::vector<std::string> utf8_arguments(int argc, char** argv);

// One key for the names the host's file system takes as one: Windows (and
// macOS) compare names ignoring case; elsewhere the bytes are the key.
std::string host_name_key(const std::string& host_name);

// Puts a folder's entry names (host form) in the order Windows lists them on
// NTFS: UTF-16 code units compared after simple upper-casing, ties broken by
// the unchanged units. On POSIX hosts the file system's own order is no fixed
// order (ext4 lists by hash), so one tree then gives one order on every host;
// Windows keeps its own listing order, and this does nothing there.
void sort_names_as_windows_lists(std::vector<std::string>* names);

// The same as strings, sized to fit; *converted may be null.
std::string disc_name_from_host_name(const std::string& host_name, bool* converted = nullptr);
std::string host_name_from_disc_name(const std::string& disc_name, bool* converted = nullptr);

}  // namespace host
