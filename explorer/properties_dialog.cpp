// PropertiesDialog: the image's path, counts, header values and its banner,
// picture and texts, in the language the user picks.
#include <windows.h>

#include <commctrl.h>
#include <uxtheme.h>

#include <string>

#include "explorer/explorer_shell.h"
#include "explorer/core/properties_logic.h"
#include "explorer/resource.h"
#include "host/host_text.h"
#include "reader/reader.h"
#include "win32/window_text.h"

namespace {

const char TEXT_PROPERTIES[] = "プロパティ";
const char TEXT_NAME[] = "名前 :";
const char TEXT_MAKER[] = "開発元 :";
const char TEXT_PRODUCT_CODE[] = "製品番号 :";
const char TEXT_VIDEO[] = "ビデオタイプ :";
const char TEXT_BANNER[] = "バナー";
const char TEXT_NO_BANNER[] = "バナーがありません。";
const char CAPTION_WARNING[] = "警告";

// The tab control's margins inside the client area, in pixels.
constexpr int TAB_LEFT = 6;
constexpr int TAB_TOP = 6;
constexpr int TAB_RIGHT_MARGIN = 6;
constexpr int TAB_BOTTOM_MARGIN = 38;

// The etched rule along the top of each separator, in pixels.
constexpr int RULE_LENGTH = 345;
const COLORREF RULE_DARK = RGB(64, 64, 64);
const COLORREF RULE_LIGHT = RGB(255, 255, 255);

// Subclass ids of the drawing areas.
constexpr UINT_PTR BANNER_AREA = 1;
constexpr UINT_PTR RULE_AREA = 2;

void ShowBannerTexts(HWND dialog, int language) {
  BannerTexts texts = banner_texts(uint16_t(language));
  unsigned code_page = banner_code_page();
  set_item_text_in_code_page(dialog, IDC_PROP_DESCRIPTION, code_page, edit_line_breaks(texts.description));
  set_item_text_in_code_page(dialog, IDC_PROP_SHORT_NAME, code_page, texts.short_name);
  set_item_text_in_code_page(dialog, IDC_PROP_LONG_NAME, code_page, texts.long_name);
  set_item_text_in_code_page(dialog, IDC_PROP_SHORT_MAKER, code_page, texts.short_maker);
  set_item_text_in_code_page(dialog, IDC_PROP_LONG_MAKER, code_page, texts.long_maker);
}

void draw_rule(HDC dc) {
  HPEN dark = CreatePen(PS_SOLID, 1, RULE_DARK);
  HPEN light = CreatePen(PS_SOLID, 1, RULE_LIGHT);
  HGDIOBJ previous = SelectObject(dc, dark);
  MoveToEx(dc, 0, 0, nullptr);
  LineTo(dc, RULE_LENGTH, 0);
  SelectObject(dc, light);
  MoveToEx(dc, 0, 1, nullptr);
  LineTo(dc, RULE_LENGTH, 1);
  SelectObject(dc, previous);
  DeleteObject(dark);
  DeleteObject(light);
}

// The three group boxes only serve as drawing areas: each paints its picture
// itself, so that the picture is drawn after the dialog's background and is
// back whenever the area is uncovered. Their own frames and captions are not
// drawn.
LRESULT CALLBACK drawing_area_proc(HWND area, UINT message, WPARAM wparam, LPARAM lparam,
                                   UINT_PTR kind, DWORD_PTR) {
  switch (message) {
    case WM_PAINT: {
      PAINTSTRUCT ps;
      HDC dc = BeginPaint(area, &ps);
      if (kind == BANNER_AREA) {
        IsoDrawBanner(dc, 0, 0);
      } else {
        draw_rule(dc);
      }
      EndPaint(area, &ps);
      return 0;
    }
    case WM_NCDESTROY:
      RemoveWindowSubclass(area, drawing_area_proc, kind);
      break;
  }
  return DefSubclassProc(area, message, wparam, lparam);
}

void create_tab(HWND dialog) {
  RECT client;
  GetClientRect(dialog, &client);
  HWND tab = create_control_unicode(dialog, WC_TABCONTROLA,
                                    WS_CHILD | WS_VISIBLE | WS_TABSTOP | WS_CLIPSIBLINGS, TAB_LEFT,
                                    TAB_TOP, client.right - TAB_LEFT - TAB_RIGHT_MARGIN,
                                    client.bottom - TAB_TOP - TAB_BOTTOM_MARGIN, IDC_PROP_TAB);
  SendMessageA(tab, WM_SETFONT, WPARAM(GetStockObject(DEFAULT_GUI_FONT)), FALSE);
  tab_insert_932(tab, 0, TEXT_PROPERTIES);
  // Behind every other control, which it surrounds.
  SetWindowPos(tab, HWND_BOTTOM, 0, 0, 0, 0, SWP_NOMOVE | SWP_NOSIZE | SWP_NOACTIVATE);
}

void fill_languages(HWND dialog) {
  HWND list = GetDlgItem(dialog, IDC_PROP_LANGUAGE);
  for (const std::string& name : banner_language_names()) {
    combo_add_text(list, host::CODE_PAGE_WESTERN, name);
  }
  SendMessageA(list, CB_SETCURSEL, 0, 0);
  EnableWindow(list, banner_languages_selectable());
}

void initialise(HWND dialog) {
  create_tab(dialog);
  // Under visual styles the tab's page is painted lighter than a dialog; the
  // dialog then takes the page's look so its labels do not sit in grey bands.
  EnableThemeDialogTexture(dialog, ETDT_ENABLETAB);
  set_window_text_932(dialog, TEXT_PROPERTIES);
  set_item_text_932(dialog, IDC_PROP_NAME_LABEL, TEXT_NAME);
  set_item_text_932(dialog, IDC_PROP_MAKER_LABEL, TEXT_MAKER);
  set_item_text_932(dialog, IDC_PROP_PRODUCT_CODE_LABEL, TEXT_PRODUCT_CODE);
  set_item_text_932(dialog, IDC_PROP_VIDEO_LABEL, TEXT_VIDEO);
  set_item_text_932(dialog, IDC_PROP_BANNER_LABEL, TEXT_BANNER);

  ImageProperties p = read_image_properties();
  set_item_path(dialog, IDC_PROP_IMAGE_PATH, p.image_path);
  set_item_text_932(dialog, IDC_PROP_COUNTS, p.counts);
  set_item_text_932(dialog, IDC_PROP_NAME, p.game_name);
  set_item_text_932(dialog, IDC_PROP_MAKER, p.maker_name);
  set_item_text_932(dialog, IDC_PROP_PRODUCT_CODE, p.product_code);
  set_item_text_932(dialog, IDC_PROP_VIDEO, p.video_type);
  ShowBannerTexts(dialog, 0);
  fill_languages(dialog);

  SetWindowSubclass(GetDlgItem(dialog, IDC_PROP_BANNER_FRAME), drawing_area_proc, BANNER_AREA, 0);
  SetWindowSubclass(GetDlgItem(dialog, IDC_PROP_UPPER_SEPARATOR), drawing_area_proc, RULE_AREA, 0);
  SetWindowSubclass(GetDlgItem(dialog, IDC_PROP_LOWER_SEPARATOR), drawing_area_proc, RULE_AREA, 0);
}

}  // namespace

void open_properties(HWND owner) {
  if (!IsoIsMounted()) return;
  if (!image_has_banner()) {
    // Shown without an owner, as every message of the explorer.
    message_box_932(nullptr, TEXT_NO_BANNER, CAPTION_WARNING, MB_OK | MB_ICONWARNING);
    return;
  }
  dialog_box_unicode(IDD_PROPERTIES, owner, PropertiesDialogProc);
}

INT_PTR CALLBACK PropertiesDialogProc(HWND dialog, UINT message, WPARAM wparam, LPARAM) {
  switch (message) {
    case WM_INITDIALOG:
      initialise(dialog);
      // OK takes the focus, so the path edit does not open with its text
      // selected.
      SetFocus(GetDlgItem(dialog, IDOK));
      return FALSE;
    case WM_COMMAND:
      switch (LOWORD(wparam)) {
        case IDOK:
        case IDCANCEL:  // Escape closes it as OK does: it changes nothing
          EndDialog(dialog, 1);
          return TRUE;
        case IDC_PROP_LANGUAGE:
          if (HIWORD(wparam) == CBN_SELCHANGE) {
            LRESULT index = SendDlgItemMessageA(dialog, IDC_PROP_LANGUAGE, CB_GETCURSEL, 0, 0);
            if (index >= 0) ShowBannerTexts(dialog, int(index));
          }
          return TRUE;
      }
      return FALSE;
    case WM_CLOSE:
      EndDialog(dialog, 1);
      return TRUE;
  }
  return FALSE;
}
