// EditHeaderDialog: the image's header fields (game ID, maker ID, game name,
// region, disc number, revision), filled from the mounted image. Only the
// fields the user changed are set, each checked before the dialog closes.
#include <windows.h>

#include <string>
#include <vector>

#include "explorer/explorer_shell.h"
#include "explorer/resource.h"
#include "host/host_text.h"
#include "win32/window_text.h"

namespace {

const char TEXT_CAPTION[] = "ヘッダーの編集";
const char TEXT_GAME_CODE[] = "ゲーム ID :";
const char TEXT_MAKER_CODE[] = "開発元 ID :";
const char TEXT_GAME_NAME[] = "ゲーム名 :";
const char TEXT_REGION[] = "地域 :";
const char TEXT_DISC_NUMBER[] = "ディスク番号 :";
const char TEXT_REVISION[] = "リビジョン :";
const char TEXT_CANCEL[] = "キャンセル";

// Characters each edit takes: the code fields their width, the numbers
// three digits, the name its 64 bytes (a character takes one or two).
constexpr int GAME_CODE_CHARACTERS = 3;
constexpr int MAKER_CODE_CHARACTERS = 2;
constexpr int GAME_NAME_CHARACTERS = 64;
constexpr int NUMBER_CHARACTERS = 3;

struct HeaderDialogState {
  std::vector<RegionChoice> regions;
  HeaderTexts shown;  // what the edits showed when filled
  EditHeaderFields fields;
};
HeaderDialogState g_header;

void limit(HWND dialog, int id, int characters) {
  SendDlgItemMessageA(dialog, id, EM_LIMITTEXT, WPARAM(characters), 0);
}

// The fields as the dialog holds them now.
HeaderTexts typed_texts(HWND dialog) {
  HeaderTexts t;
  t.game_code = item_text_932(dialog, IDC_HEADER_GAME_CODE);
  t.maker_code = item_text_932(dialog, IDC_HEADER_MAKER_CODE);
  t.game_name = item_text_932(dialog, IDC_HEADER_GAME_NAME);
  t.disc_number = item_text_932(dialog, IDC_HEADER_DISC_NUMBER);
  t.revision = item_text_932(dialog, IDC_HEADER_REVISION);
  LRESULT index = SendDlgItemMessageA(dialog, IDC_HEADER_REGION, CB_GETCURSEL, 0, 0);
  t.region_letter = index >= 0 && size_t(index) < g_header.regions.size() ? g_header.regions[size_t(index)].letter : 0;
  return t;
}

INT_PTR initialise(HWND dialog) {
  set_window_text_932(dialog, TEXT_CAPTION);
  set_item_text_932(dialog, IDC_HEADER_GAME_CODE_LABEL, TEXT_GAME_CODE);
  set_item_text_932(dialog, IDC_HEADER_MAKER_CODE_LABEL, TEXT_MAKER_CODE);
  set_item_text_932(dialog, IDC_HEADER_GAME_NAME_LABEL, TEXT_GAME_NAME);
  set_item_text_932(dialog, IDC_HEADER_REGION_LABEL, TEXT_REGION);
  set_item_text_932(dialog, IDC_HEADER_DISC_NUMBER_LABEL, TEXT_DISC_NUMBER);
  set_item_text_932(dialog, IDC_HEADER_REVISION_LABEL, TEXT_REVISION);
  set_item_text_932(dialog, IDCANCEL, TEXT_CANCEL);

  const HeaderTexts image = header_texts_of_mounted_image();
  set_item_text_932(dialog, IDC_HEADER_GAME_CODE, image.game_code);
  set_item_text_932(dialog, IDC_HEADER_MAKER_CODE, image.maker_code);
  set_item_text_932(dialog, IDC_HEADER_GAME_NAME, image.game_name);
  set_item_text_932(dialog, IDC_HEADER_DISC_NUMBER, image.disc_number);
  set_item_text_932(dialog, IDC_HEADER_REVISION, image.revision);
  limit(dialog, IDC_HEADER_GAME_CODE, GAME_CODE_CHARACTERS);
  limit(dialog, IDC_HEADER_MAKER_CODE, MAKER_CODE_CHARACTERS);
  limit(dialog, IDC_HEADER_GAME_NAME, GAME_NAME_CHARACTERS);
  limit(dialog, IDC_HEADER_DISC_NUMBER, NUMBER_CHARACTERS);
  limit(dialog, IDC_HEADER_REVISION, NUMBER_CHARACTERS);

  g_header.regions = region_choices(image.region_letter);
  HWND region = GetDlgItem(dialog, IDC_HEADER_REGION);
  for (size_t i = 0; i < g_header.regions.size(); ++i) {
    combo_add_text(region, host::CODE_PAGE_JAPANESE, g_header.regions[i].text);
    if (g_header.regions[i].letter == image.region_letter) SendMessageA(region, CB_SETCURSEL, WPARAM(i), 0);
  }
  // What the edits show of the image's bytes (which a name that is no code
  // page 932 does not give back) is the base an unchanged field is told by.
  g_header.shown = typed_texts(dialog);
  return TRUE;
}

void accept(HWND dialog) {
  std::string problem;
  if (!header_fields_from_texts(g_header.shown, typed_texts(dialog), &g_header.fields, &problem)) {
    message_box_932(dialog, problem, CAPTION_ERROR, MB_OK | MB_ICONERROR);
    return;
  }
  EndDialog(dialog, header_fields_set_any(g_header.fields) ? IDOK : IDCANCEL);
}

}  // namespace

bool ask_header_fields(HWND owner, EditHeaderFields* fields) {
  g_header = HeaderDialogState{};
  if (dialog_box_unicode(IDD_EDIT_HEADER, owner, EditHeaderDialogProc) != IDOK) return false;
  *fields = g_header.fields;
  return true;
}

INT_PTR CALLBACK EditHeaderDialogProc(HWND dialog, UINT message, WPARAM wparam, LPARAM) {
  return edit_dialog_message(dialog, message, wparam, initialise, accept);
}
