// Texts for the terminal shared by both command-line tools.
#pragma once

#include <string>

// A host path for display in UTF-8: on Windows, where paths are in the ANSI
// code page, converted from it; elsewhere the bytes are already the
// terminal's and stay unchanged.
std::string host_path_for_display(const std::string& path);
