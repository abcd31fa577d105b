// OutputFilePage: the image file to write and whether to pad it to a full disc.
#include <string>

#include "win32/window_text.h"
#include "wizard/resource.h"
#include "wizard/wizard_pages.h"
#include "wizard/wizard_shell.h"
#include "wizard/wizard_texts.h"

namespace {

const char TEXT_INTRODUCTION[] = "出力するファイルの名前とディレクトリを指定して下さい。";
const char TEXT_OUTPUT_FILE[] = "出力ファイル:";
const char TEXT_MAXIMISE[] = "ISOサイズを最大にする";

void read_fields(HWND page) {
  store_path_edit(page, IDC_OUTPUT_PATH, g_wizard.output_path);
  g_wizard.maximise_image = IsDlgButtonChecked(page, IDC_MAXIMISE_IMAGE) == BST_CHECKED ? 1 : 0;
}

}  // namespace

INT_PTR CALLBACK OutputFilePageProc(HWND page, UINT message, WPARAM wparam, LPARAM) {
  switch (message) {
    case WM_INITDIALOG:
      apply_page_texts(page);
      set_item_text_932(page, IDC_OUTPUT_INTRO, TEXT_INTRODUCTION);
      set_item_text_932(page, IDC_OUTPUT_LABEL, TEXT_OUTPUT_FILE);
      set_item_text_932(page, IDC_OUTPUT_BROWSE, TEXT_BROWSE_W);
      set_item_text_932(page, IDC_MAXIMISE_IMAGE, TEXT_MAXIMISE);
      set_item_path(page, IDC_OUTPUT_PATH, g_wizard.output_path);
      CheckDlgButton(page, IDC_MAXIMISE_IMAGE, g_wizard.maximise_image ? BST_CHECKED : BST_UNCHECKED);
      return TRUE;
    case WM_PAINT:
      paint_page_banner(page, "Output file");
      return TRUE;
    case WM_COMMAND:
      switch (LOWORD(wparam)) {
        case IDC_NEXT:
          read_fields(page);
          next_page_if_complete(page, output_file_page_complete(g_wizard), IDD_SUMMARY_PAGE);
          return TRUE;
        case IDC_BACK:
          read_fields(page);
          open_page(page, IDC_BACK, IDD_BASE_DIRECTORY_PAGE);
          return TRUE;
        case IDC_CANCEL:
          exit_wizard();
        case IDC_OUTPUT_BROWSE:
          set_item_path(page, IDC_OUTPUT_PATH, choose_wizard_file(page, WizardFile::OutputImage));
          return TRUE;
      }
      return FALSE;
  }
  return FALSE;
}
