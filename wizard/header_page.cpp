// HeaderPage: game ID, game name, maker ID and region, or an existing image
// whose header is taken instead.
#include <string>

#include "win32/window_text.h"
#include "wizard/resource.h"
#include "wizard/wizard_pages.h"
#include "wizard/wizard_shell.h"
#include "wizard/wizard_texts.h"

namespace {

const char TEXT_INTRODUCTION[] =
    "ISOの基本情報を設定します。地域の設定に気をつけて下さい。"
    "これらの情報は、既存のISOファイルから取得することもできます。";
const char TEXT_GAME_ID[] = "ゲーム ID";
const char TEXT_GAME_NAME[] = "ゲーム名";
const char TEXT_MAKER_ID[] = "開発元 ID";
const char TEXT_REGION[] = "地域";
const char TEXT_IMPORT_HEADER[] = "ISOファイルからヘッダー情報を取得する(&I):";
const char WARNING_GAME_ID_CUT[] = "ゲームIDが3文字を超えています。ゲームIDは切りつめられます。";
const char WARNING_MAKER_ID_CUT[] = "開発元IDが2文字を超えています。開発元IDは切りつめられます。";

// A header edit as the page loaded it: the bytes put in and what it showed.
struct LoadedEdit {
  std::string bytes, shown;
};
LoadedEdit g_game_id, g_game_name, g_maker_id;

// A header edit's text as code page 932 bytes, cut to what the page reads.
std::string typed_text(HWND page, int id) {
  std::string text = item_text_932(page, id);
  if (text.size() > EDIT_TEXT_LIMIT) text.resize(EDIT_TEXT_LIMIT);
  return text;
}

void apply_enabling(HWND page) {
  BOOL importing = IsDlgButtonChecked(page, IDC_IMPORT_HEADER) == BST_CHECKED;
  EnableWindow(GetDlgItem(page, IDC_GAME_ID), !importing);
  EnableWindow(GetDlgItem(page, IDC_GAME_NAME), !importing);
  EnableWindow(GetDlgItem(page, IDC_MAKER_ID), !importing);
  EnableWindow(GetDlgItem(page, IDC_REGION), !importing);
  EnableWindow(GetDlgItem(page, IDC_IMPORT_IMAGE_PATH), importing);
  EnableWindow(GetDlgItem(page, IDC_IMPORT_BROWSE), importing);
}

// Puts the bytes in the edit and notes what it shows of them.
void load_edit(HWND page, int id, const std::string& bytes, LoadedEdit* loaded) {
  set_item_text_932(page, id, bytes);
  *loaded = {bytes, typed_text(page, id)};
}

// The edit's text, or the bytes loaded into it while it shows them unchanged.
std::string read_edit(HWND page, int id, const LoadedEdit& loaded) {
  return header_edit_text(typed_text(page, id), loaded.shown, loaded.bytes);
}

void load_fields(HWND page) {
  load_edit(page, IDC_GAME_ID, g_wizard.game_id, &g_game_id);
  load_edit(page, IDC_GAME_NAME, stored_game_name(g_wizard), &g_game_name);
  load_edit(page, IDC_MAKER_ID, g_wizard.maker_id, &g_maker_id);
  HWND region = GetDlgItem(page, IDC_REGION);
  for (const char* name : REGION_NAMES) SendMessageA(region, CB_ADDSTRING, 0, reinterpret_cast<LPARAM>(name));
  SendMessageA(region, CB_SETCURSEL, g_wizard.region_index, 0);
  CheckDlgButton(page, IDC_IMPORT_HEADER, g_wizard.import_header ? BST_CHECKED : BST_UNCHECKED);
  set_item_path(page, IDC_IMPORT_IMAGE_PATH, g_wizard.import_image_path);
  apply_enabling(page);
}

// Reads every field into the state, warning about IDs that are cut short.
void read_fields(HWND page) {
  if (store_cut_text(read_edit(page, IDC_GAME_ID, g_game_id), GAME_ID_LIMIT, g_wizard.game_id)) {
    show_error(page, japanese_text(WARNING_GAME_ID_CUT));
  }
  store_cut_text(read_edit(page, IDC_GAME_NAME, g_game_name), GAME_NAME_LIMIT, g_wizard.game_name);
  if (store_cut_text(read_edit(page, IDC_MAKER_ID, g_maker_id), MAKER_ID_LIMIT, g_wizard.maker_id)) {
    show_error(page, japanese_text(WARNING_MAKER_ID_CUT));
  }
  LRESULT region = SendDlgItemMessageA(page, IDC_REGION, CB_GETCURSEL, 0, 0);
  g_wizard.region_index = region == CB_ERR ? 0 : uint16_t(region);
  g_wizard.import_header = IsDlgButtonChecked(page, IDC_IMPORT_HEADER) == BST_CHECKED ? 1 : 0;
  store_path_edit(page, IDC_IMPORT_IMAGE_PATH, g_wizard.import_image_path);
}

}  // namespace

INT_PTR CALLBACK HeaderPageProc(HWND page, UINT message, WPARAM wparam, LPARAM) {
  switch (message) {
    case WM_INITDIALOG:
      apply_page_texts(page);
      set_item_text_932(page, IDC_PAGE_INTRO, TEXT_INTRODUCTION);
      set_item_text_932(page, IDC_GAME_ID_LABEL, TEXT_GAME_ID);
      set_item_text_932(page, IDC_GAME_NAME_LABEL, TEXT_GAME_NAME);
      set_item_text_932(page, IDC_MAKER_ID_LABEL, TEXT_MAKER_ID);
      set_item_text_932(page, IDC_REGION_LABEL, TEXT_REGION);
      set_item_text_932(page, IDC_IMPORT_HEADER, TEXT_IMPORT_HEADER);
      set_item_text_932(page, IDC_IMPORT_BROWSE, TEXT_BROWSE_W);
      load_fields(page);
      return TRUE;
    case WM_PAINT:
      paint_page_banner(page, "Header informations");
      return TRUE;
    case WM_COMMAND:
      switch (LOWORD(wparam)) {
        case IDC_NEXT:
          read_fields(page);
          next_page_if_complete(page, header_page_complete(g_wizard), IDD_BOOT_FILES_PAGE);
          return TRUE;
        case IDC_BACK:
          read_fields(page);
          open_page(page, IDC_BACK, IDD_WELCOME_PAGE);
          return TRUE;
        case IDC_CANCEL:
          exit_wizard();
        case IDC_IMPORT_HEADER:
          apply_enabling(page);
          return TRUE;
        case IDC_IMPORT_BROWSE:
          set_item_path(page, IDC_IMPORT_IMAGE_PATH, choose_wizard_file(page, WizardFile::DiscImage));
          return TRUE;
      }
      return FALSE;
  }
  return FALSE;
}
