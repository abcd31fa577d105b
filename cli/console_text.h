// Texts for the terminal shared by both command-line tools.
#pragma once

#include <cstdint>
#include <string>

#include "host/host_fs.h"

// A host path for display in UTF-8: on Windows, where paths are in the ANSI
// code page, converted from it; elsewhere the bytes are already the
// terminal's and stay unchanged.
std::string host_path_for_display(const std::string& path);

// Text in single quotes, as messages name paths and values; a host path
// shown so.
std::string quoted(const std::string& text);
std::string quoted_host_path(const std::string& path);

// Code page 932 bytes (an in-image path or name, a header text) in UTF-8;
// bytes that do not decode are kept as they are.
std::string cp932_for_display(const std::string& cp932);

// What is wrong with an input that did not open, from what its path names:
// "does not exist", "is a link to something that does not exist", "is a
// folder", "is not a regular file (a FIFO, socket or device)" or "cannot be
// opened".
std::string input_problem_text(const std::string& path);

// "1 file", "2 files": n and the word for its number.
std::string counted(uint64_t n, const char* one, const char* many);
