// AboutDialog: name, version, author and the distribution terms.
#include <windows.h>

#include "explorer/explorer_shell.h"
#include "explorer/resource.h"
#include "win32/about_box.h"

namespace {

const char TEXT_CAPTION[] = "Ombrelについて";
const char TEXT_AUTHOR[] = "Ombrel developers";
const char TEXT_TERMS[] =
    "Ombrel is free software. You may use it at no charge, copy it and give it to "
    "others, as long as you pass it on whole and unchanged, with this text, and "
    "ask no payment for it.\r\n"
    "\r\n"
    "You may not sell Ombrel, include it in a product that is sold, or hand it on "
    "with parts removed or changed and present the result as the original.\r\n"
    "\r\n"
    "Use Ombrel only on images of software and data that you have the right to "
    "copy, and extract from them only what you may keep. Nintendo GameCube is a "
    "trademark of its owner; Ombrel is not made, approved or supported by that "
    "owner.\r\n"
    "\r\n"
    "Ombrel comes with no warranty of any kind. The authors are not liable for "
    "any damage or loss of data caused by its use. Keep copies of anything you "
    "cannot afford to lose.";

}  // namespace

INT_PTR CALLBACK AboutDialogProc(HWND box, UINT message, WPARAM wparam, LPARAM) {
  static const AboutBoxTexts texts = {TEXT_CAPTION, IDC_ABOUT_TITLE, "Ombrel",
                                      IDC_ABOUT_VERSION, "version " OMBREL_VERSION_TEXT,
                                      IDC_ABOUT_AUTHOR, TEXT_AUTHOR, IDC_ABOUT_TERMS, TEXT_TERMS};
  return about_box_message(box, message, wparam, texts);
}
