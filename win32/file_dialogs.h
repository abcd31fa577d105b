// The system's open and save dialogs, the shell's folder browser and files
// dropped on a window, shared by both programs. They are shown through the wide-character calls, so their
// Japanese texts read correctly whatever the system's code page; the chosen
// path comes back in the system code page, which the host layer takes.
#pragma once

#include <windows.h>

#include <shellapi.h>

#include <string>
#include <vector>

enum class FileDialogMode { Open, Save };

// One entry of a dialog's type list: its description (code page 932) and
// its pattern ("*.gcm").
struct FileTypeFilter {
  const char* description;
  const char* pattern;
};

// Opens the open or save dialog with the filters in order. It starts with
// *remembered as its file name and, when a file is chosen, remembers it
// there. False when the user cancels, or when the path cannot be held in the
// system code page or does not fit in capacity bytes with its NUL.
bool ask_file_name(HWND owner, FileDialogMode mode, const std::vector<FileTypeFilter>& filters,
                   size_t capacity, std::string* remembered, std::string* path);

// The open dialog with multiple selection: every chosen file's full path.
// Starts in the folder of *remembered and remembers the first file chosen.
// False when the user cancels, or when a path cannot be held in the system
// code page or does not fit in capacity bytes with its NUL.
bool ask_file_names(HWND owner, const std::vector<FileTypeFilter>& filters, size_t capacity,
                    std::string* remembered, std::vector<std::string>* paths);

// The shell's folder browser rooted at the desktop, file-system folders only,
// with a prompt in code page 932, opening with the folder initial (a path in
// the system code page; "" for none) selected. The browser's COM set-up is
// made (and undone) around the call. False when nothing is chosen or the
// path does not fit in capacity bytes with its NUL.
bool ask_folder(HWND owner, const std::string& prompt_cp932, const std::string& initial, size_t capacity,
                std::string* folder);

// The first file of a drop (WM_DROPFILES) in the system code page. False
// when the drop names none, or its path cannot be held in the system code
// page or does not fit in capacity bytes with its NUL (as for a file chosen
// in the open dialog). The caller ends the drop with DragFinish.
bool dropped_file(HDROP drop, size_t capacity, std::string* path);
