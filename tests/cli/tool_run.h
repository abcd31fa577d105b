// The command-line tools run as processes by the tests: arguments quoted for
// the shell, stdout and stderr captured apart.
#pragma once

#include <sys/wait.h>

#include <cstdlib>
#include <filesystem>
#include <string>
#include <vector>

#include "support/test_support.h"

namespace tool_run {

// One argument for sh, single-quoted; a quote inside is closed, escaped and
// reopened.
inline std::string quote(const std::string& arg) {
  std::string out = "'";
  for (char c : arg) out += c == '\'' ? std::string("'\\''") : std::string(1, c);
  return out + "'";
}

inline std::string read_text(const std::filesystem::path& path) {
  std::vector<uint8_t> bytes = test_support::read_file(path);
  return std::string(bytes.begin(), bytes.end());
}

inline bool contains(const std::string& text, const std::string& part) {
  return text.find(part) != std::string::npos;
}

struct ToolRun {
  int status = -1;
  std::string out;  // stdout
  std::string err;  // stderr
};

// Runs a program once, stdin empty, with stdout and stderr captured apart.
inline ToolRun run_program(const std::string& program, const std::vector<std::string>& args) {
  test_support::ScratchDir capture;
  std::string command = quote(program);
  for (const std::string& a : args) command += " " + quote(a);
  command += " >" + quote(capture.at("out")) + " 2>" + quote(capture.at("err")) + " </dev/null";
  int raw = std::system(command.c_str());
  ToolRun r;
  r.status = WIFEXITED(raw) ? WEXITSTATUS(raw) : -1;
  r.out = read_text(capture.at("out"));
  r.err = read_text(capture.at("err"));
  return r;
}

}  // namespace tool_run
