// Shared parts of the wizard's windows: start-up resources, page painting,
// the page flow, message draining, the tree measure and the exit.
#include "wizard/wizard_shell.h"

#include <cstdlib>
#include <cstring>

#include "win32/file_dialogs.h"
#include "win32/window_text.h"
#include "wizard/resource.h"
#include "wizard/wizard_pages.h"
#include "wizard/wizard_texts.h"

WizardState g_wizard;
BuildSettings g_build_settings;
WizardResources g_resources;

namespace {

bool g_resources_pending = true;

// Client pixels of the painted frame.
constexpr int FRAME_WIDTH = 533;
constexpr int BUTTON_SEPARATOR_Y = 314;
constexpr int HEADER_SEPARATOR_Y = 59;
constexpr int PAGE_PICTURE_X = 455;
constexpr int PAGE_PICTURE_Y = 14;
constexpr int PAGE_TITLE_X = 20;
constexpr int PAGE_TITLE_Y = 21;
constexpr int WELCOME_PANEL_X = 170;
constexpr int WELCOME_TITLE_X = 180;

const char WELCOME_TITLE[] = "Welcome to the Trelvik.";

void load_picture(int id, HBITMAP* bitmap, int* width, int* height) {
  *bitmap = LoadBitmapA(GetModuleHandleA(nullptr), MAKEINTRESOURCEA(id));
  *width = 0;
  *height = 0;
  BITMAP info;
  if (*bitmap && GetObjectA(*bitmap, sizeof(info), &info)) {
    *width = info.bmWidth;
    *height = info.bmHeight;
  }
}

void draw_line(HDC dc, int x1, int y1, int x2, int y2) {
  MoveToEx(dc, x1, y1, nullptr);
  LineTo(dc, x2, y2);
}

// Draws a picture unscaled; a picture that did not load is skipped.
void draw_picture(HDC dc, HDC memory, HBITMAP picture, int x, int y, int width, int height) {
  if (!picture || width == 0 || height == 0) return;
  HGDIOBJ previous = SelectObject(memory, picture);
  BitBlt(dc, x, y, width, height, memory, 0, 0, SRCCOPY);
  SelectObject(memory, previous);
}

void draw_title(HDC dc, int x, int y, const char* title) {
  HGDIOBJ previous_font = SelectObject(dc, g_resources.title_font);
  SetTextColor(dc, RGB(0, 0, 0));
  SetBkColor(dc, RGB(255, 255, 255));
  TextOutA(dc, x, y, title, lstrlenA(title));
  SelectObject(dc, previous_font);
}

}  // namespace

void load_wizard_resources() {
  if (!g_resources_pending) return;
  std::memset(&g_build_settings, 0, sizeof(g_build_settings));
  wizard_state_init(&g_wizard);

  load_picture(IDB_WELCOME_PICTURE, &g_resources.welcome_picture, &g_resources.welcome_width,
               &g_resources.welcome_height);
  load_picture(IDB_PAGE_PICTURE, &g_resources.page_picture, &g_resources.page_width,
               &g_resources.page_height);

  // Arial, 15 pixels, bold; roman family, default pitch.
  g_resources.title_font = CreateFontA(15, 0, 0, 0, FW_BOLD, FALSE, FALSE, FALSE, DEFAULT_CHARSET,
                                       OUT_DEFAULT_PRECIS, CLIP_DEFAULT_PRECIS, DEFAULT_QUALITY,
                                       FF_ROMAN | DEFAULT_PITCH, "Arial");
  g_resources.grey_pen = CreatePen(PS_SOLID, 1, RGB(128, 128, 128));
  g_resources.white_pen = CreatePen(PS_SOLID, 1, RGB(255, 255, 255));
  g_resources.null_pen = CreatePen(PS_NULL, 0, RGB(0, 0, 0));
  g_resources.white_brush = CreateSolidBrush(RGB(255, 255, 255));
  g_resources_pending = false;
}

void exit_wizard() {
  DeleteObject(g_resources.grey_pen);
  DeleteObject(g_resources.white_pen);
  DeleteObject(g_resources.null_pen);
  DeleteObject(g_resources.white_brush);
  DeleteObject(g_resources.title_font);
  std::exit(0);
}

void paint_page_banner(HWND window, const char* title) {
  PAINTSTRUCT ps;
  HDC dc = BeginPaint(window, &ps);
  HGDIOBJ previous_pen = SelectObject(dc, g_resources.grey_pen);
  draw_line(dc, 0, BUTTON_SEPARATOR_Y, FRAME_WIDTH, BUTTON_SEPARATOR_Y);
  draw_line(dc, 0, HEADER_SEPARATOR_Y, FRAME_WIDTH, HEADER_SEPARATOR_Y);
  SelectObject(dc, g_resources.white_pen);
  draw_line(dc, 0, BUTTON_SEPARATOR_Y + 1, FRAME_WIDTH, BUTTON_SEPARATOR_Y + 1);
  draw_line(dc, 0, HEADER_SEPARATOR_Y + 1, FRAME_WIDTH, HEADER_SEPARATOR_Y + 1);
  // With the null pen the fill stops a pixel short of the right and bottom
  // edges, which keeps the separator under the strip visible.
  SelectObject(dc, g_resources.null_pen);
  Rectangle(dc, 0, 0, FRAME_WIDTH, HEADER_SEPARATOR_Y + 1);
  HDC memory = CreateCompatibleDC(dc);
  draw_picture(dc, memory, g_resources.page_picture, PAGE_PICTURE_X, PAGE_PICTURE_Y,
               g_resources.page_width, g_resources.page_height);
  draw_title(dc, PAGE_TITLE_X, PAGE_TITLE_Y, title);
  DeleteDC(memory);
  SelectObject(dc, previous_pen);
  EndPaint(window, &ps);
}

void paint_welcome_page(HWND window) {
  PAINTSTRUCT ps;
  HDC dc = BeginPaint(window, &ps);
  HGDIOBJ previous_pen = SelectObject(dc, g_resources.grey_pen);
  draw_line(dc, 0, BUTTON_SEPARATOR_Y, FRAME_WIDTH, BUTTON_SEPARATOR_Y);
  SelectObject(dc, g_resources.white_pen);
  draw_line(dc, 0, BUTTON_SEPARATOR_Y + 1, FRAME_WIDTH, BUTTON_SEPARATOR_Y + 1);
  SelectObject(dc, g_resources.null_pen);
  Rectangle(dc, WELCOME_PANEL_X, 0, FRAME_WIDTH, BUTTON_SEPARATOR_Y);
  HDC memory = CreateCompatibleDC(dc);
  draw_picture(dc, memory, g_resources.welcome_picture, 0, 0, g_resources.welcome_width,
               g_resources.welcome_height);
  draw_title(dc, WELCOME_TITLE_X, PAGE_TITLE_Y, WELCOME_TITLE);
  DeleteDC(memory);
  SelectObject(dc, previous_pen);
  EndPaint(window, &ps);
}

void drain_window_messages() {
  MSG message;
  while (PeekMessageA(&message, nullptr, 0, 0, PM_REMOVE)) {
    TranslateMessage(&message);
    DispatchMessageA(&message);
  }
}

void measure_source_tree() {
  g_wizard.has_long_names = 0;
  g_wizard.total_data_size = 0;
  HCURSOR previous = SetCursor(LoadCursorA(nullptr, IDC_WAIT));
  TreeMeasure measure = measure_tree(builder_tree(), drain_window_messages);
  g_wizard.total_data_size = measure.total_data_size;
  g_wizard.has_long_names = measure.has_long_names ? 1 : 0;
  SetCursor(previous ? previous : LoadCursorA(nullptr, IDC_ARROW));
}

void set_window_icons(HWND window) {
  HINSTANCE instance = GetModuleHandleA(nullptr);
  HICON large = LoadIconA(instance, MAKEINTRESOURCEA(IDI_LARGE_ICON));
  // The small icon is drawn for 16 x 16; loaded at that size it is not
  // scaled down from the large one.
  HICON small = static_cast<HICON>(LoadImageA(instance, MAKEINTRESOURCEA(IDI_SMALL_ICON), IMAGE_ICON,
                                              GetSystemMetrics(SM_CXSMICON),
                                              GetSystemMetrics(SM_CYSMICON), LR_SHARED));
  SendMessageA(window, WM_SETICON, ICON_BIG, reinterpret_cast<LPARAM>(large));
  SendMessageA(window, WM_SETICON, ICON_SMALL, reinterpret_cast<LPARAM>(small));
}

void apply_page_texts(HWND page) {
  set_window_icons(page);
  SetWindowTextA(page, TEXT_WIZARD_CAPTION);
  set_item_text_932(page, IDC_NEXT, TEXT_NEXT);
  set_item_text_932(page, IDC_BACK, TEXT_BACK);
  set_item_text_932(page, IDC_CANCEL, TEXT_CANCEL);
}

void open_page(HWND current, INT_PTR end_code, int template_id) {
  DLGPROC proc = nullptr;
  switch (template_id) {
    case IDD_WELCOME_PAGE: proc = WelcomePageProc; break;
    case IDD_HEADER_PAGE: proc = HeaderPageProc; break;
    case IDD_BOOT_FILES_PAGE: proc = BootFilesPageProc; break;
    case IDD_BASE_DIRECTORY_PAGE: proc = BaseDirectoryPageProc; break;
    case IDD_OUTPUT_FILE_PAGE: proc = OutputFilePageProc; break;
    case IDD_SUMMARY_PAGE: proc = SummaryPageProc; break;
    case IDD_WRITE_PROGRESS: proc = WriteProgressDialogProc; break;
    default: return;
  }
  EndDialog(current, end_code);
  DialogBoxParamA(GetModuleHandleA(nullptr), MAKEINTRESOURCEA(template_id), nullptr, proc, 0);
}

void next_page_if_complete(HWND page, bool complete, int template_id) {
  if (!complete) {
    show_error(page, japanese_text(MESSAGE_FILL_EVERY_FIELD));
    return;
  }
  open_page(page, IDC_NEXT, template_id);
}

void show_error(HWND owner, const ShownText& text) {
  message_box_shown(owner, text, CAPTION_ERROR, MB_OK | MB_ICONERROR);
}

namespace {

constexpr size_t NAME_BUFFER_SIZE = 260;
// The last name chosen in any file dialog of the run.
std::string g_file_name;

const char IMAGE_EXTENSION[] = ".gcm";
const char PROMPT_BASE_DIRECTORY[] = "ベースディレクトリを選択して下さい。";

std::vector<FileTypeFilter> filters_for(WizardFile kind) {
  const FileTypeFilter all_files = {"すべてのファイル (*.*)", "*.*"};
  switch (kind) {
    case WizardFile::MainProgram: return {{"GameCube アプリケーション (*.dol)", "*.dol"}, all_files};
    case WizardFile::Apploader: return {{"AppLoader (apploader)", "apploader"}, all_files};
    case WizardFile::DiscImage:
    case WizardFile::OutputImage: break;
  }
  return {{"GameCube ISO (*.gcm)", "*.gcm"}, all_files};
}

}  // namespace

std::string choose_wizard_file(HWND page, WizardFile kind) {
  const bool save = kind == WizardFile::OutputImage;
  std::string path;
  if (!ask_file_name(page, save ? FileDialogMode::Save : FileDialogMode::Open, filters_for(kind),
                     NAME_BUFFER_SIZE, &g_file_name, &path)) {
    return std::string();
  }
  if (save) {
    char name[NAME_BUFFER_SIZE] = {};
    path.copy(name, sizeof name - 1);
    append_default_extension(name, sizeof name, IMAGE_EXTENSION);
    g_file_name = path = name;
  }
  return path;
}

void store_path_edit(HWND page, int id, char* field) {
  store_cut_text(item_path(page, id, EDIT_TEXT_LIMIT + 1), EDIT_TEXT_LIMIT, field);
}

std::string choose_base_directory(HWND page, const std::string& shown) {
  std::string folder;
  ask_folder(page, PROMPT_BASE_DIRECTORY, shown, EDIT_TEXT_LIMIT + 1, &folder);
  return folder;
}
