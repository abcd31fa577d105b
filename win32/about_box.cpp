#include "win32/about_box.h"

#include "win32/window_text.h"

INT_PTR about_box_message(HWND box, UINT message, WPARAM wparam, const AboutBoxTexts& texts) {
  switch (message) {
    case WM_INITDIALOG:
      set_window_text_932(box, texts.caption);
      SetDlgItemTextA(box, texts.name_id, texts.name);
      SetDlgItemTextA(box, texts.version_id, texts.version);
      SetDlgItemTextA(box, texts.author_id, texts.author);
      SetDlgItemTextA(box, texts.terms_id, texts.terms);
      SetFocus(GetDlgItem(box, IDOK));
      return FALSE;
    case WM_CLOSE:
      EndDialog(box, 1);
      return TRUE;
    case WM_COMMAND:
      // Esc arrives as IDCANCEL and does nothing here.
      if (LOWORD(wparam) == IDOK) {
        EndDialog(box, 1);
        return TRUE;
      }
      return FALSE;
  }
  return FALSE;
}
