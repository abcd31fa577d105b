// WelcomePage: the band picture, two explanatory texts and the about button.
#include "win32/window_text.h"
#include "wizard/resource.h"
#include "wizard/wizard_pages.h"
#include "wizard/wizard_shell.h"

namespace {

const char TEXT_INTRODUCTION[] =
    "このウィザードは手順を通して、Nintendo GameCubeのISOイメージの作成をします。";
const char TEXT_HOW_TO_START[] =
    "”次へ”をクリックするとウィザートを開始します。中止するには”キャンセル”をクリックして下さい。";

}  // namespace

INT_PTR CALLBACK WelcomePageProc(HWND page, UINT message, WPARAM wparam, LPARAM) {
  switch (message) {
    case WM_INITDIALOG:
      load_wizard_resources();
      apply_page_texts(page);
      set_item_text_932(page, IDC_WELCOME_TEXT, TEXT_INTRODUCTION);
      set_item_text_932(page, IDC_WELCOME_HINT, TEXT_HOW_TO_START);
      return TRUE;
    case WM_PAINT:
      paint_welcome_page(page);
      return TRUE;
    case WM_CTLCOLORSTATIC: {
      // The texts stand black on the white panel.
      HDC dc = reinterpret_cast<HDC>(wparam);
      SetTextColor(dc, RGB(0, 0, 0));
      SetBkColor(dc, RGB(255, 255, 255));
      return reinterpret_cast<INT_PTR>(g_resources.white_brush);
    }
    case WM_COMMAND:
      switch (LOWORD(wparam)) {
        case IDC_NEXT:
          open_page(page, 1, IDD_HEADER_PAGE);
          return TRUE;
        case IDC_CANCEL:
          exit_wizard();
        case IDC_ABOUT:
          DialogBoxParamA(GetModuleHandleA(nullptr), MAKEINTRESOURCEA(IDD_ABOUT_BOX), page,
                          AboutBoxProc, 0);
          return TRUE;
      }
      return FALSE;
  }
  return FALSE;
}
