// The file and folder choosers behind the pages' browse buttons.
#pragma once

#include <windows.h>

#include <string>

enum class FileDialogMode { Open, Save };

// Filters: description and pattern pairs, code page 932 bytes.
enum class FileFilter { DiscImage, MainProgram, Apploader };

// Opens the system's open or save dialog. One 260-byte name buffer serves
// every call of the run, so a dialog starts with the last name chosen. In
// save mode the default extension is appended unless the name ends in it.
// False when the user cancels; the path is in the system code page.
bool ask_file_name(HWND owner, FileDialogMode mode, FileFilter filter, const char* default_extension,
                   std::string* path);

// The shell's folder browser rooted at the desktop, file-system folders only.
// False when nothing is chosen or the path does not fit in 259 bytes.
bool ask_folder(HWND owner, std::string* path);
