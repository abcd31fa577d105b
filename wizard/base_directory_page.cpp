// BaseDirectoryPage: the folder whose whole tree becomes the disc's files.
#include <string>

#include "win32/window_text.h"
#include "wizard/resource.h"
#include "wizard/wizard_pages.h"
#include "wizard/wizard_shell.h"
#include "wizard/wizard_texts.h"

namespace {

const char TEXT_INTRODUCTION[] = "ISOに追加するファイルのあるディレクトリを指定して下さい。";
const char TEXT_BASE_DIRECTORY[] = "ベースディレクトリ:";
const char TEXT_OPEN[] = "開く(&F)";

void read_fields(HWND page) {
  store_path_edit(page, IDC_BASE_DIRECTORY, g_wizard.base_directory);
}

}  // namespace

INT_PTR CALLBACK BaseDirectoryPageProc(HWND page, UINT message, WPARAM wparam, LPARAM) {
  switch (message) {
    case WM_INITDIALOG:
      apply_page_texts(page);
      set_item_text_932(page, IDC_BASE_DIRECTORY_INTRO, TEXT_INTRODUCTION);
      set_item_text_932(page, IDC_BASE_DIRECTORY_LABEL, TEXT_BASE_DIRECTORY);
      set_item_text_932(page, IDC_BASE_DIRECTORY_BROWSE, TEXT_OPEN);
      set_item_path(page, IDC_BASE_DIRECTORY, g_wizard.base_directory);
      return TRUE;
    case WM_PAINT:
      paint_page_banner(page, "Add files");
      return TRUE;
    case WM_COMMAND:
      switch (LOWORD(wparam)) {
        case IDC_NEXT:
          read_fields(page);
          next_page_if_complete(page, base_directory_page_complete(g_wizard), IDD_OUTPUT_FILE_PAGE);
          return TRUE;
        case IDC_BACK:
          read_fields(page);
          open_page(page, IDC_BACK, IDD_BOOT_FILES_PAGE);
          return TRUE;
        case IDC_CANCEL:
          exit_wizard();
        case IDC_BASE_DIRECTORY_BROWSE:
          set_item_path(page, IDC_BASE_DIRECTORY,
                        choose_base_directory(page, item_path(page, IDC_BASE_DIRECTORY)));
          return TRUE;
      }
      return FALSE;
  }
  return FALSE;
}
