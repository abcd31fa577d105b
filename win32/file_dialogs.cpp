// File and folder choosers and dropped files through the wide-character
// calls.
#include "win32/file_dialogs.h"

#include <commdlg.h>
#include <objbase.h>
#include <shlobj.h>

#include <vector>

#include "win32/window_text.h"

namespace {

// Characters of the multiple-selection dialog's answer.
constexpr size_t MULTIPLE_NAMES_CAPACITY = 32768;

// A wide path into the system code page; false when it cannot be held in it
// or does not fit in capacity bytes with its NUL.
bool system_path_from_wide(const wchar_t* wide, size_t capacity, std::string* path) {
  std::vector<char> out(capacity, '\0');
  BOOL lossy = FALSE;
  int n = WideCharToMultiByte(CP_ACP, 0, wide, -1, out.data(), int(capacity), nullptr, &lossy);
  if (n <= 0 || lossy) return false;
  *path = out.data();
  return true;
}

// The dialogs' type list: description and pattern pairs, each NUL-terminated,
// the list ending in an extra NUL.
std::wstring filter_list(const std::vector<FileTypeFilter>& filters) {
  std::wstring list;
  for (const FileTypeFilter& f : filters) {
    list += wide_from_cp932(f.description) + L'\0' + wide_from_cp932(f.pattern) + L'\0';
  }
  return list + L'\0';
}

// Selects the folder given as the browser's data once the browser is ready.
int CALLBACK select_initial_folder(HWND browser, UINT message, LPARAM, LPARAM initial) {
  if (message == BFFM_INITIALIZED && initial) SendMessageW(browser, BFFM_SETSELECTIONW, TRUE, initial);
  return 0;
}

}  // namespace

bool ask_file_name(HWND owner, FileDialogMode mode, const std::vector<FileTypeFilter>& filters,
                   size_t capacity, std::string* remembered, std::string* path) {
  const std::wstring filter = filter_list(filters);
  std::vector<wchar_t> name(capacity, L'\0');
  std::wstring start = wide_from_system(*remembered);
  if (start.size() < capacity) std::copy(start.begin(), start.end(), name.begin());

  OPENFILENAMEW dialog = {};
  dialog.lStructSize = sizeof(dialog);
  dialog.hwndOwner = owner;
  dialog.lpstrFilter = filter.c_str();
  dialog.lpstrFile = name.data();
  dialog.nMaxFile = DWORD(capacity);
  BOOL chosen = mode == FileDialogMode::Open ? GetOpenFileNameW(&dialog) : GetSaveFileNameW(&dialog);
  if (!chosen || !system_path_from_wide(name.data(), capacity, path)) return false;
  *remembered = *path;
  return true;
}

bool ask_file_names(HWND owner, const std::vector<FileTypeFilter>& filters, size_t capacity,
                    std::string* remembered, std::vector<std::string>* paths) {
  const std::wstring filter = filter_list(filters);
  // The folder, then each name, NUL after each and one more at the end:
  // room for many names.
  std::vector<wchar_t> names(MULTIPLE_NAMES_CAPACITY, L'\0');
  std::wstring folder = wide_from_system(*remembered);
  size_t cut = folder.find_last_of(L"\\/");
  folder = cut == std::wstring::npos ? std::wstring() : folder.substr(0, cut);

  OPENFILENAMEW dialog = {};
  dialog.lStructSize = sizeof(dialog);
  dialog.hwndOwner = owner;
  dialog.lpstrFilter = filter.c_str();
  dialog.lpstrFile = names.data();
  dialog.nMaxFile = DWORD(names.size());
  dialog.lpstrInitialDir = folder.empty() ? nullptr : folder.c_str();
  dialog.Flags = OFN_ALLOWMULTISELECT | OFN_EXPLORER | OFN_FILEMUSTEXIST;
  if (!GetOpenFileNameW(&dialog)) return false;
  // One file comes back as its full path; several as the folder and names.
  std::vector<std::wstring> parts;
  for (const wchar_t* at = names.data(); *at; at += parts.back().size() + 1) parts.emplace_back(at);
  std::vector<std::wstring> wide;
  if (parts.size() == 1) {
    wide = parts;
  } else {
    std::wstring base = parts[0];
    if (!base.empty() && base.back() != L'\\') base += L'\\';
    for (size_t i = 1; i < parts.size(); ++i) wide.push_back(base + parts[i]);
  }
  paths->clear();
  for (const std::wstring& w : wide) {
    std::string path;
    if (!system_path_from_wide(w.c_str(), capacity, &path)) return false;
    paths->push_back(path);
  }
  if (paths->empty()) return false;
  *remembered = paths->front();
  return true;
}

bool ask_folder(HWND owner, const std::string& prompt_cp932, const std::string& initial, size_t capacity,
                std::string* folder) {
  // A second initialisation on a thread is counted and undone the same way.
  HRESULT com = CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED);
  std::wstring prompt = wide_from_cp932(prompt_cp932);
  std::wstring start = wide_from_system(initial);
  BROWSEINFOW browse = {};
  browse.hwndOwner = owner;
  browse.pidlRoot = nullptr;  // the desktop
  browse.lpszTitle = prompt.c_str();
  browse.ulFlags = BIF_RETURNONLYFSDIRS;
  browse.lpfn = select_initial_folder;
  browse.lParam = start.empty() ? 0 : reinterpret_cast<LPARAM>(start.c_str());
  LPITEMIDLIST chosen = SHBrowseForFolderW(&browse);
  bool found = false;
  if (chosen) {
    wchar_t path[MAX_PATH] = {};
    found = SHGetPathFromIDListW(chosen, path) && path[0] != L'\0' &&
            system_path_from_wide(path, capacity, folder);
    CoTaskMemFree(chosen);
  }
  if (SUCCEEDED(com)) CoUninitialize();
  return found;
}

bool dropped_file(HDROP drop, size_t capacity, std::string* path) {
  // The first file's length in characters; 0 when the drop holds no file.
  UINT length = DragQueryFileW(drop, 0, nullptr, 0);
  if (length == 0) return false;
  std::vector<wchar_t> wide(size_t(length) + 1, L'\0');
  if (DragQueryFileW(drop, 0, wide.data(), length + 1) != length) return false;
  return system_path_from_wide(wide.data(), capacity, path);
}
