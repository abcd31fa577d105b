// AboutBox: name, version, author and the distribution terms.
#include "win32/about_box.h"
#include "wizard/resource.h"
#include "wizard/wizard_pages.h"
#include "wizard/wizard_shell.h"

namespace {

const char TEXT_CAPTION[] = "Trelvikについて";
const char TEXT_AUTHOR[] = "Trelvik developers";
const char TEXT_TERMS[] =
    "Trelvik is free software. You may use it at no charge, copy it and give it to "
    "others, as long as you pass it on whole and unchanged, with this text, and "
    "ask no payment for it.\r\n"
    "\r\n"
    "You may not sell Trelvik, include it in a product that is sold, or hand it on "
    "with parts removed or changed and present the result as the original.\r\n"
    "\r\n"
    "Use Trelvik only to build images of software and data that you have the right "
    "to copy. Nintendo GameCube is a trademark of its owner; Trelvik is not made, "
    "approved or supported by that owner.\r\n"
    "\r\n"
    "Trelvik comes with no warranty of any kind. The authors are not liable for "
    "any damage or loss of data caused by its use. Keep copies of anything you "
    "cannot afford to lose.";

}  // namespace

INT_PTR CALLBACK AboutBoxProc(HWND box, UINT message, WPARAM wparam, LPARAM) {
  static const AboutBoxTexts texts = {TEXT_CAPTION, IDC_ABOUT_NAME, "Trelvik",
                                      IDC_ABOUT_VERSION, "version " TRELVIK_VERSION_TEXT,
                                      IDC_ABOUT_AUTHOR, TEXT_AUTHOR, IDC_ABOUT_TERMS, TEXT_TERMS};
  return about_box_message(box, message, wparam, texts);
}
