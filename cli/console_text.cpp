// Terminal texts shared by both command-line tools.
#include "cli/console_text.h"

#include "host/host_fs.h"

#ifdef _WIN32
#include <windows.h>
#endif

std::string host_path_for_display(const std::string& path) {
#ifdef _WIN32
  int wide_length = MultiByteToWideChar(CP_ACP, 0, path.data(), int(path.size()), nullptr, 0);
  if (wide_length <= 0) return path;
  std::wstring wide(size_t(wide_length), L'\0');
  MultiByteToWideChar(CP_ACP, 0, path.data(), int(path.size()), &wide[0], wide_length);
  int length = WideCharToMultiByte(CP_UTF8, 0, wide.data(), wide_length, nullptr, 0, nullptr, nullptr);
  if (length <= 0) return path;
  std::string utf8(size_t(length), '\0');
  WideCharToMultiByte(CP_UTF8, 0, wide.data(), wide_length, &utf8[0], length, nullptr, nullptr);
  return utf8;
#else
  return path;
#endif
}

std::string input_problem_text(host::PathKind kind) {
  switch (kind) {
    case host::PathKind::Missing: return "does not exist";
    case host::PathKind::Folder: return "is a folder";
    case host::PathKind::Other: return "is not a regular file (a FIFO, socket or device)";
    case host::PathKind::File: break;
  }
  return "cannot be opened";
}
