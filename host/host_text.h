// Text conversions between UTF-8 (terminals and command lines) and the code
// pages that disc images and the Japanese programs use.
#pragma once

#include <string>

namespace host {

// UTF-8 to code page 932 (Shift-JIS). False when the text has a character
// that code page 932 cannot hold, or is not valid UTF-8.
bool utf8_to_cp932(const std::string& utf8, std::string* cp932);

// Code page 932 to UTF-8. False when the bytes are not valid code page 932.
bool cp932_to_utf8(const std::string& cp932, std::string* utf8);

// Windows-1252 to UTF-8. False for the five bytes Windows-1252 leaves undefined.
bool cp1252_to_utf8(const std::string& cp1252, std::string* utf8);

}  // namespace host
