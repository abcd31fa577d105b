// The engines' codes in English, for the command-line tools, whose messages
// are English from start to end; the windows show the engines' own Japanese
// texts. One table for each engine.
#pragma once

#include <string>

// The reader's code: "reading the image failed", ...
const char* reader_code_text(int code);
// The builder's code: "writing the image failed (a full disk, for one)", ...
const char* builder_code_text(int code);

// " (reader code N)", " (builder code N)": how every message caused by an
// engine's code ends.
std::string reader_code_suffix(int code);
std::string builder_code_suffix(int code);
