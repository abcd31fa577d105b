// Terminal texts shared by both command-line tools.
#include "cli/console_text.h"

#include "host/host_fs.h"
#include "host/host_text.h"

std::string host_path_for_display(const std::string& path) { return host::host_text_to_utf8(path); }

std::string quoted(const std::string& text) { return "'" + text + "'"; }
std::string quoted_host_path(const std::string& path) { return quoted(host_path_for_display(path)); }

std::string cp932_for_display(const std::string& cp932) {
  std::string utf8;
  return host::cp932_to_utf8(cp932, &utf8) ? utf8 : cp932;
}

std::string input_problem_text(const std::string& path) {
  switch (host::path_kind(path.c_str())) {
    case host::PathKind::Missing:
      return host::path_is_link(path.c_str()) ? "is a link to something that does not exist"
                                              : "does not exist";
    case host::PathKind::Folder: return "is a folder";
    case host::PathKind::Other: return "is not a regular file (a FIFO, socket or device)";
    case host::PathKind::File: break;
  }
  return "cannot be opened";
}

std::string counted(uint64_t n, const char* one, const char* many) {
  return std::to_string(n) + " " + (n == 1 ? one : many);
}
