// The about box both programs show: caption, name, version, author and the
// distribution terms, each in its control of the program's template.
#pragma once

#include <windows.h>

struct AboutBoxTexts {
  const char* caption;  // code page 932
  int name_id;
  const char* name;
  int version_id;
  const char* version;  // "version 1.00"
  int author_id;
  const char* author;
  int terms_id;
  const char* terms;
};

// An about box's dialog procedure, given its texts: they are set when it
// opens, with the focus on OK so the terms are not shown all selected; OK and
// the title bar's close end it, Escape does nothing.
INT_PTR about_box_message(HWND box, UINT message, WPARAM wparam, const AboutBoxTexts& texts);
