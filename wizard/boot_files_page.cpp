// BootFilesPage: the apploader and the main program.
#include <string>

#include "win32/window_text.h"
#include "wizard/resource.h"
#include "wizard/wizard_pages.h"
#include "wizard/wizard_shell.h"
#include "wizard/wizard_texts.h"

namespace {

const char TEXT_INTRODUCTION[] = "ISOの起動時に実行するプログラムを指定します。";
const char TEXT_APPLOADER[] = "アプリケーションローダー";
const char TEXT_MAIN_PROGRAM[] = "メインプログラム";
const char TEXT_BROWSE_S[] = "参照(&S)";

void read_fields(HWND page) {
  store_path_edit(page, IDC_APPLOADER_PATH, g_wizard.apploader_path);
  store_path_edit(page, IDC_MAIN_PROGRAM_PATH, g_wizard.main_program_path);
}

void browse(HWND page, WizardFile kind, int edit) {
  set_item_path(page, edit, choose_wizard_file(page, kind));
}

}  // namespace

INT_PTR CALLBACK BootFilesPageProc(HWND page, UINT message, WPARAM wparam, LPARAM) {
  switch (message) {
    case WM_INITDIALOG:
      apply_page_texts(page);
      set_item_text_932(page, IDC_PAGE_INTRO, TEXT_INTRODUCTION);
      set_item_text_932(page, IDC_APPLOADER_LABEL, TEXT_APPLOADER);
      set_item_text_932(page, IDC_MAIN_PROGRAM_LABEL, TEXT_MAIN_PROGRAM);
      set_item_text_932(page, IDC_APPLOADER_BROWSE, TEXT_BROWSE_W);
      set_item_text_932(page, IDC_MAIN_PROGRAM_BROWSE, TEXT_BROWSE_S);
      set_item_path(page, IDC_APPLOADER_PATH, g_wizard.apploader_path);
      set_item_path(page, IDC_MAIN_PROGRAM_PATH, g_wizard.main_program_path);
      return TRUE;
    case WM_PAINT:
      paint_page_banner(page, "Boot loader");
      return TRUE;
    case WM_COMMAND:
      switch (LOWORD(wparam)) {
        case IDC_NEXT:
          read_fields(page);
          next_page_if_complete(page, boot_files_page_complete(g_wizard), IDD_BASE_DIRECTORY_PAGE);
          return TRUE;
        case IDC_BACK:
          read_fields(page);
          open_page(page, IDC_BACK, IDD_HEADER_PAGE);
          return TRUE;
        case IDC_CANCEL:
          exit_wizard();
        case IDC_APPLOADER_BROWSE:
          browse(page, WizardFile::Apploader, IDC_APPLOADER_PATH);
          return TRUE;
        case IDC_MAIN_PROGRAM_BROWSE:
          browse(page, WizardFile::MainProgram, IDC_MAIN_PROGRAM_PATH);
          return TRUE;
      }
      return FALSE;
  }
  return FALSE;
}
