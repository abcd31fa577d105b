// SummaryPage: lists what will be done and starts the build.
#include <cstring>

#include "host/host_fs.h"
#include "win32/window_text.h"
#include "wizard/resource.h"
#include "wizard/wizard_pages.h"
#include "wizard/wizard_shell.h"
#include "wizard/wizard_texts.h"
#include "wizard/core/header_image.h"

namespace {

const char TEXT_INTRODUCTION[] = "実行される作業の情報:";
const char FORMAT_CANNOT_OPEN_AFTER[] = " を開けません。";
const char QUESTION_LONG_NAMES[] =
    "ベースディレクトリには標準8.3より長いファイル名を持つファイルが含まれます。\n"
    "これらのファイルを追加してよろしいですか？";

void fill_summary_list(HWND page) {
  HWND list = GetDlgItem(page, IDC_SUMMARY_LIST);
  for (const ShownText& line : summary_lines(g_wizard)) list_box_add_line(list, line);
}

// Prepares the builder. On failure the page shows why and stays; the
// builder has removed its unfinished image, and the output is untouched.
bool prepare_builder(HWND page) {
  builder_reset();
  HCURSOR previous = SetCursor(LoadCursorA(nullptr, IDC_WAIT));
  bool prepared = builder_prepare(&g_build_settings);
  SetCursor(previous);
  if (prepared) return true;

  uint16_t code = builder_last_error();
  std::string error_path = builder_last_error_path();
  builder_reset();
  show_error(page, prepare_failure_message(code, g_build_settings, error_path));
  return false;
}

// True when the output names the same file as the image the header comes from.
bool output_is_import_image() {
  host::FileId output, imported;
  return g_wizard.import_header && host::path_identity(g_wizard.output_path, &output) &&
         host::path_identity(g_wizard.import_image_path, &imported) && output == imported;
}

void enable_navigation(HWND page, BOOL enabled) {
  EnableWindow(GetDlgItem(page, IDC_NEXT), enabled);
  EnableWindow(GetDlgItem(page, IDC_BACK), enabled);
}

void start_build(HWND page) {
  if (output_is_import_image()) {
    show_error(page, output_clash_message("ヘッダーのイメージ", g_wizard.import_image_path));
    return;
  }
  // The disc inside a container gives the header; a container that cannot
  // be read, or holds a Wii disc, is an image that cannot be opened.
  uint8_t header[DISC_HEADER_SIZE];
  if (g_wizard.import_header && !read_imported_header(g_wizard.import_image_path, header)) {
    show_error(page, ShownText{"", g_wizard.import_image_path, FORMAT_CANNOT_OPEN_AFTER});
    open_page(page, IDC_BACK, IDD_HEADER_PAGE);
    return;
  }
  fill_build_settings(g_wizard, g_wizard.import_header ? header : nullptr, &g_build_settings);

  // The measure drains messages; a second press must not start it again.
  enable_navigation(page, FALSE);
  if (!prepare_builder(page)) {
    enable_navigation(page, TRUE);
    return;
  }
  measure_source_tree();
  enable_navigation(page, TRUE);

  if (g_wizard.has_long_names &&
      message_box_932(page, QUESTION_LONG_NAMES, CAPTION_WARNING,
                      MB_YESNO | MB_ICONWARNING) != IDYES) {
    // The reset removes the prepared image before anything was written; an
    // existing output stays as it was.
    builder_reset();
    open_page(page, IDC_BACK, IDD_BASE_DIRECTORY_PAGE);
    return;
  }
  open_page(page, IDC_NEXT, IDD_WRITE_PROGRESS);
}

}  // namespace

INT_PTR CALLBACK SummaryPageProc(HWND page, UINT message, WPARAM wparam, LPARAM) {
  switch (message) {
    case WM_INITDIALOG:
      apply_page_texts(page);
      set_item_text_932(page, IDC_SUMMARY_INTRO, TEXT_INTRODUCTION);
      fill_summary_list(page);
      return TRUE;
    case WM_PAINT:
      paint_page_banner(page, "Wizard end");
      return TRUE;
    case WM_COMMAND:
      switch (LOWORD(wparam)) {
        case IDC_NEXT:
          start_build(page);
          return TRUE;
        case IDC_BACK:
          open_page(page, IDC_BACK, IDD_OUTPUT_FILE_PAGE);
          return TRUE;
        case IDC_CANCEL:
          exit_wizard();
      }
      return FALSE;
  }
  return FALSE;
}
