// File and folder choosers. The dialogs are opened through the wide-character
// calls so that their Japanese filter and prompt texts show whatever the
// system's code page; the chosen path is handed back in the system code page.
#include "wizard/file_choosers.h"

#include <commdlg.h>
#include <shlobj.h>

#include <cstring>
#include <string>

#include "wizard/code_page_text.h"
#include "wizard/wizard_logic.h"

namespace {

constexpr size_t NAME_BUFFER_SIZE = 260;
// The last name chosen in any file dialog of the run.
char g_file_name[NAME_BUFFER_SIZE];

const char PROMPT_BASE_DIRECTORY[] = "ベースディレクトリを選択して下さい。";

// Description and pattern pairs, each NUL-terminated, the list ending in an
// extra NUL.
std::string filter_bytes(FileFilter filter) {
  static const char ALL_FILES[] = "すべてのファイル (*.*)";
  std::string pairs;
  auto add = [&](const char* description, const char* pattern) {
    pairs += description;
    pairs += '\0';
    pairs += pattern;
    pairs += '\0';
  };
  switch (filter) {
    case FileFilter::DiscImage:
      add("GameCube ISO (*.gcm)", "*.gcm");
      break;
    case FileFilter::MainProgram:
      add("GameCube アプリケーション (*.dol)", "*.dol");
      break;
    case FileFilter::Apploader:
      add("AppLoader (apploader)", "apploader");
      break;
  }
  add(ALL_FILES, "*.*");
  pairs += '\0';
  return pairs;
}

// A wide path into the system code page; false when it cannot be held in it
// or does not fit in capacity bytes with its NUL.
bool system_path_from_wide(const wchar_t* wide, char* out, size_t capacity) {
  BOOL lossy = FALSE;
  int n = WideCharToMultiByte(CP_ACP, 0, wide, -1, out, int(capacity), nullptr, &lossy);
  return n > 0 && !lossy;
}

}  // namespace

bool ask_file_name(HWND owner, FileDialogMode mode, FileFilter filter, const char* default_extension,
                   std::string* path) {
  std::wstring filter_wide = wide_from_cp932(filter_bytes(filter));
  wchar_t name[NAME_BUFFER_SIZE] = {};
  MultiByteToWideChar(CP_ACP, 0, g_file_name, -1, name, int(NAME_BUFFER_SIZE));

  OPENFILENAMEW dialog;
  std::memset(&dialog, 0, sizeof(dialog));
  dialog.lStructSize = sizeof(dialog);
  dialog.hwndOwner = owner;
  dialog.lpstrFilter = filter_wide.c_str();
  dialog.lpstrFile = name;
  dialog.nMaxFile = NAME_BUFFER_SIZE;
  BOOL chosen = mode == FileDialogMode::Open ? GetOpenFileNameW(&dialog) : GetSaveFileNameW(&dialog);
  if (!chosen) return false;

  char chosen_path[NAME_BUFFER_SIZE];
  if (!system_path_from_wide(name, chosen_path, sizeof(chosen_path))) return false;
  std::memcpy(g_file_name, chosen_path, sizeof(g_file_name));
  if (mode == FileDialogMode::Save && default_extension) {
    append_default_extension(g_file_name, sizeof(g_file_name), default_extension);
  }
  *path = g_file_name;
  return true;
}

bool ask_folder(HWND owner, std::string* path) {
  std::wstring prompt = wide_from_cp932(PROMPT_BASE_DIRECTORY);
  BROWSEINFOW browse;
  std::memset(&browse, 0, sizeof(browse));
  browse.hwndOwner = owner;
  browse.pidlRoot = nullptr;  // the desktop
  browse.lpszTitle = prompt.c_str();
  browse.ulFlags = BIF_RETURNONLYFSDIRS;
  LPITEMIDLIST chosen = SHBrowseForFolderW(&browse);
  if (!chosen) return false;
  wchar_t folder[MAX_PATH] = {};
  BOOL found = SHGetPathFromIDListW(chosen, folder);
  CoTaskMemFree(chosen);
  char folder_bytes[EDIT_TEXT_LIMIT + 1];
  if (!found || !system_path_from_wide(folder, folder_bytes, sizeof(folder_bytes))) return false;
  *path = folder_bytes;
  return true;
}
