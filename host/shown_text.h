// A text to show: code page 932 words around at most one host path. The path
// stays in the host's code page (the system code page on Windows), so each
// part is shown converted from its own code page.
#pragma once

#include <string>

struct ShownText {
  std::string before;
  std::string path;
  std::string after;

  // The bytes as one string, as a system whose code page is 932 shows them.
  std::string joined() const { return before + path + after; }
};

inline ShownText japanese_text(const std::string& cp932) { return ShownText{cp932, "", ""}; }
