// UI test driver for Trelvik: starts Trelvik.exe and works it as a user would,
// page by page, by window and control id, answering its message boxes and
// choosers, and checks every text it shows (as code page 932 bytes), the
// values each page keeps, the log and state of the write progress dialog, and
// the image it writes against trelvik-cli's on the same inputs.
//
//   trelvik_ui_driver --trelvik EXE --cli EXE --open-recorder EXE --work FOLDER
//                     [--exchange FOLDER] [--only NAME]
//
// FOLDER holds the inputs the test script prepared (apploader.img, main.dol,
// base_long\, base_short\, short_header.bin, header.rvz, damaged.rvz); the
// images are written there.
// For the run, the open recorder (open_recorder.cpp) is the program the shell
// opens .gcm files with, so the Open button's effect can be seen; the
// association is removed again at the end.
// With --exchange, screenshots are asked for through that folder (ui_driver.h).
// Exit status 0 when every check passed.
#include <windows.h>
#include <commctrl.h>

#include <cstdio>
#include <string>
#include <vector>

#include "ui_driver.h"

using ui::check;
using ui::check_number;
using ui::check_text;
using ui::control_text;
using ui::cp932_to_utf8;
using ui::format;
using ui::note;

namespace {

// ---------------------------------------------------------------------------
// The program's texts
// ---------------------------------------------------------------------------

const char kCaption[] = "Trelvik";
const char kNext[] = "次へ(&N) >";
const char kBack[] = "< 戻る(&P)";
const char kCancel[] = "キャンセル";
const char kError[] = "エラー";
const char kWarning[] = "警告";
const char kQuestion[] = "質問";
const char kFillEveryField[] = "すべての項目を正しく入力して下さい。";
const char kGameIdTooLong[] = "ゲームIDが3文字を超えています。ゲームIDは切りつめられます。";
const char kMakerIdTooLong[] = "開発元IDが2文字を超えています。開発元IDは切りつめられます。";
const char kLongNames[] =
    "ベースディレクトリには標準8.3より長いファイル名を持つファイルが含まれます。\n"
    "これらのファイルを追加してよろしいですか？";
const char kCannotOpen[] = "%s を開けません。";
const char kReallyQuit[] = "終了してよろしいですか？";
const char kFolderPrompt[] = "ベースディレクトリを選択して下さい。";
const char kAllFiles[] = "すべてのファイル (*.*)";
const char kImageFilter[] = "GameCube ISO (*.gcm)";

const char kWriting[] = "ISOの書き込み中...";
const char kFinished[] = "作成完了";
const char kQuit[] = "終了(&F)";
const char kCancelWrite[] = "キャンセル(&C)";
const char kOpen[] = "開く(&O)";

// Builder log texts, in the order a build logs them.
const char kLogStart[] = "書き込み開始";
const char kLogBootSector[] = "ブートセクタの書き込み中";
const char kLogGameLoader[] = "ゲームローダーの書き込み中";
const char kLogMainProgram[] = "メインプログラムの書き込み中";
const char kLogCaching[] = "ファイル構造のキャッシュ中";
const char kLogWritingTable[] = "ファイル構造を書き込んでいます";
const char kLogFilesDone[] = "ファイルの書込み完了";
const char kLogMaximising[] = "サイズの最大化中";
const char kLogAllDone[] = "すべての作業を完了しました";
const char kLogAddingFile[] = "ファイルの追加 '%s'";

const char* const kRegions[] = {"Japan", "USA", "Europe"};

struct StaticText {
  int id;
  const char* text;
};

// ---------------------------------------------------------------------------
// Pages, each known by a control only it has
// ---------------------------------------------------------------------------

enum class Page { Welcome, Header, BootFiles, BaseDirectory, OutputFile, Summary };

struct PageInfo {
  const char* name;
  int marker_id;
  std::vector<StaticText> texts;
};

const PageInfo& page_info(Page page) {
  static const PageInfo pages[] = {
      {"WelcomePage",
       1048,
       {{1048, "このウィザードは手順を通して、Nintendo GameCubeのISOイメージの作成をします。"},
        {1049, "”次へ”をクリックするとウィザートを開始します。中止するには”キャンセル”をクリックして下さい。"},
        {1018, "&?"}}},
      {"HeaderPage",
       1008,
       {{1050, "ISOの基本情報を設定します。地域の設定に気をつけて下さい。これらの情報は、既存のISOファイルから取得することもできます。"},
        {1051, "ゲーム ID"},
        {1052, "ゲーム名"},
        {1053, "開発元 ID"},
        {1054, "地域"},
        {1007, "ISOファイルからヘッダー情報を取得する(&I):"},
        {1005, "参照(&W)"}}},
      {"BootFilesPage",
       1010,
       {{1050, "ISOの起動時に実行するプログラムを指定します。"},
        {1055, "アプリケーションローダー"},
        {1011, "参照(&W)"},
        {1056, "メインプログラム"},
        {1006, "参照(&S)"}}},
      {"BaseDirectoryPage",
       1012,
       {{1058, "ISOに追加するファイルのあるディレクトリを指定して下さい。"},
        {1057, "ベースディレクトリ:"},
        {1013, "開く(&F)"}}},
      {"OutputFilePage",
       1014,
       {{1059, "出力するファイルの名前とディレクトリを指定して下さい。"},
        {1060, "出力ファイル:"},
        {1005, "参照(&W)"},
        {1014, "ISOサイズを最大にする"}}},
      {"SummaryPage", 1061, {{1061, "実行される作業の情報:"}}},
  };
  return pages[int(page)];
}

// What the pages should show; mirrors WizardState.
struct Values {
  std::string game_id, game_name, maker_id;
  int region = 0;
  bool import_header = false;
  std::string import_path, apploader, main_program, base_directory, output;
  bool maximise = true;
};

// ---------------------------------------------------------------------------
// Inputs and settings of the run
// ---------------------------------------------------------------------------

struct Setup {
  std::string trelvik;  // Trelvik.exe
  std::string cli;      // trelvik-cli.exe
  std::string open_recorder;  // open_recorder.exe
  std::string work;     // inputs and outputs
  std::string only;     // run just this scenario

  std::string at(const std::string& name) const { return work + "\\" + name; }
};

Setup g_setup;

// A typed header with the sample apploader and main program, building the
// tree base into output.
Values typed_build(const char* game_id, const char* game_name, const char* maker_id, const char* base,
                   const char* output, bool maximise) {
  Values v;
  v.game_id = game_id;
  v.game_name = game_name;
  v.maker_id = maker_id;
  v.apploader = g_setup.at("apploader.img");
  v.main_program = g_setup.at("main.dol");
  v.base_directory = g_setup.at(base);
  v.output = g_setup.at(output);
  v.maximise = maximise;
  return v;
}

// ---------------------------------------------------------------------------
// One run of Trelvik
// ---------------------------------------------------------------------------

class Session {
 public:
  ~Session() { ui::end_process(process_); }

  bool start() {
    note("start %s", g_setup.trelvik.c_str());
    if (!ui::start_process("\"" + g_setup.trelvik + "\"", g_setup.work, &process_)) return false;
    return wait_page(Page::Welcome, nullptr);
  }

  DWORD pid() const { return process_.id; }
  HANDLE handle() const { return process_.handle; }
  HWND page() const { return page_; }
  Page current() const { return current_; }
  bool running() const { return ui::is_running(process_); }

  // Waits for the page to be the visible wizard page, replacing `replaced`.
  bool wait_page(Page page, HWND replaced) {
    ui::WindowMatch match;
    match.caption = kCaption;
    match.control_id = page_info(page).marker_id;
    match.not_this = replaced;
    HWND found = ui::wait_for_window(pid(), match, ui::DEFAULT_TIMEOUT_MS, page_info(page).name);
    if (!found) return false;
    if (replaced) check(ui::wait_until_gone(replaced, ui::DEFAULT_TIMEOUT_MS), "the page before %s stayed visible", page_info(page).name);
    page_ = found;
    current_ = page;
    note("%s", page_info(page).name);
    return true;
  }

  // Presses a button of the page that leads to another page.
  bool go(int button, Page to) {
    HWND before = page_;
    return ui::click(page_, button) && wait_page(to, before);
  }
  bool next(Page to) { return go(1000, to); }
  bool back(Page to) { return go(3, to); }

  // The page is still the visible one (after a message that keeps it open).
  bool stays() {
    Sleep(100);
    return check(IsWindowVisible(page_) && ui::match_window(pid(), page_match()) == page_,
                 "%s did not stay open", page_info(current_).name);
  }

  // Next with a required field missing: the common message, and the page stays.
  bool refuse_next(const char* what) {
    if (!ui::click(page_, 1000)) return false;
    return ui::answer_message_box(pid(), kError, kFillEveryField, IDOK, what) && stays();
  }

  // Waits for the process to end and returns its exit status (~0u if it did not).
  DWORD wait_exit(DWORD timeout_ms) {
    DWORD code = ~0u;
    if (!ui::wait_for_exit(process_, timeout_ms, &code)) return ~0u;
    return code;
  }

 private:
  ui::WindowMatch page_match() const {
    ui::WindowMatch match;
    match.caption = kCaption;
    match.control_id = page_info(current_).marker_id;
    return match;
  }

  ui::Process process_;
  HWND page_ = nullptr;
  Page current_ = Page::Welcome;
};

// ---------------------------------------------------------------------------
// Checks of a page
// ---------------------------------------------------------------------------

// Caption, navigation buttons and the page's own static texts.
void check_page_texts(HWND page, Page which) {
  const PageInfo& info = page_info(which);
  std::string where = info.name;
  check_text(ui::window_text(page), kCaption, (where + " caption").c_str());
  check_text(control_text(page, 1000), kNext, (where + " Next button").c_str());
  check_text(control_text(page, 3), kBack, (where + " Back button").c_str());
  check_text(control_text(page, 2), kCancel, (where + " Cancel button").c_str());
  check(ui::is_enabled(page, 3) == (which != Page::Welcome), "%s: Back enabled only after the welcome page", info.name);
  for (const StaticText& text : info.texts)
    check_text(control_text(page, text.id), text.text, format("%s control %d", info.name, text.id).c_str());
}

void check_header_enabling(HWND page, bool import_ticked) {
  for (int id : {1008, 1009, 1003, 1004})
    check(ui::is_enabled(page, id) == !import_ticked, "HeaderPage: control %d %s with import %s", id,
          import_ticked ? "enabled" : "disabled", import_ticked ? "ticked" : "clear");
  for (int id : {1006, 1005})
    check(ui::is_enabled(page, id) == import_ticked, "HeaderPage: control %d %s with import %s", id,
          import_ticked ? "disabled" : "enabled", import_ticked ? "ticked" : "clear");
}

// The page shows the values the wizard holds.
void check_page_values(HWND page, Page which, const Values& v, const char* when) {
  std::string where = format("%s (%s)", page_info(which).name, when);
  switch (which) {
    case Page::Header:
      check_text(control_text(page, 1008), v.game_id, (where + " game ID").c_str());
      check_text(control_text(page, 1009), v.game_name, (where + " game name").c_str());
      check_text(control_text(page, 1003), v.maker_id, (where + " maker ID").c_str());
      check_number(ui::combo_selection(ui::control(page, 1004)), v.region, (where + " region").c_str());
      check(ui::is_checked(page, 1007) == v.import_header, "%s import check box", where.c_str());
      check_text(control_text(page, 1006), v.import_path, (where + " image path").c_str());
      check_header_enabling(page, v.import_header);
      break;
    case Page::BootFiles:
      check_text(control_text(page, 1010), v.apploader, (where + " apploader").c_str());
      check_text(control_text(page, 1002), v.main_program, (where + " main program").c_str());
      break;
    case Page::BaseDirectory:
      check_text(control_text(page, 1012), v.base_directory, (where + " base directory").c_str());
      break;
    case Page::OutputFile:
      check_text(control_text(page, 1001), v.output, (where + " output file").c_str());
      check(ui::is_checked(page, 1014) == v.maximise, "%s maximise check box", where.c_str());
      break;
    default:
      break;
  }
}

std::vector<std::string> summary_lines(const Values& v) {
  const char* pad = "     ";
  std::vector<std::string> lines = {"ヘッダー:"};
  if (v.import_header) {
    lines.push_back(std::string(pad) + "ISOからヘッダー取得:");
    lines.push_back(pad + v.import_path);
  } else {
    lines.push_back(std::string(pad) + "ゲーム ID: " + v.game_id);
    lines.push_back(std::string(pad) + "ゲーム名: " + v.game_name);
    lines.push_back(std::string(pad) + "開発元 ID: " + v.maker_id);
    lines.push_back(std::string(pad) + "地域: " + kRegions[v.region < 0 || v.region > 2 ? 2 : v.region]);
  }
  lines.push_back("");
  lines.push_back("ブートローダー:");
  lines.push_back(std::string(pad) + "アプリケーションローダー: " + v.apploader);
  lines.push_back(std::string(pad) + "メインプログラム: " + v.main_program);
  lines.push_back("");
  lines.push_back("ベースディレクトリ:");
  lines.push_back(pad + v.base_directory);
  lines.push_back("");
  lines.push_back("出力ファイル:");
  lines.push_back(pad + v.output);
  lines.push_back(std::string(pad) + "最大出力: " + (v.maximise ? "はい" : "いいえ"));
  return lines;
}

void check_lines(const std::vector<std::string>& actual, const std::vector<std::string>& expected, const char* what) {
  check_number(long(actual.size()), long(expected.size()), format("%s: number of lines", what).c_str());
  for (size_t i = 0; i < actual.size() && i < expected.size(); ++i)
    check_text(actual[i], expected[i], format("%s line %zu", what, i + 1).c_str());
}

void check_summary(HWND page, const Values& v, const char* when) {
  check_lines(ui::list_box_lines(ui::control(page, 1006)), summary_lines(v), format("summary list (%s)", when).c_str());
}

// Types the values into the page's controls (what a user types; the page
// reads them on Next or Back).
void type_values(HWND page, Page which, const Values& v) {
  switch (which) {
    case Page::Header:
      if (ui::is_checked(page, 1007) != v.import_header) ui::toggle_check_box(page, 1007);
      ui::set_control_text(page, 1008, v.game_id);
      ui::set_control_text(page, 1009, v.game_name);
      ui::set_control_text(page, 1003, v.maker_id);
      ui::combo_select(ui::control(page, 1004), v.region);
      ui::set_control_text(page, 1006, v.import_path);
      break;
    case Page::BootFiles:
      ui::set_control_text(page, 1010, v.apploader);
      ui::set_control_text(page, 1002, v.main_program);
      break;
    case Page::BaseDirectory:
      ui::set_control_text(page, 1012, v.base_directory);
      break;
    case Page::OutputFile:
      ui::set_control_text(page, 1001, v.output);
      if (ui::is_checked(page, 1014) != v.maximise) ui::toggle_check_box(page, 1014);
      break;
    default:
      break;
  }
}

// Fills every page from the header page on and arrives at the summary page.
bool fill_to_summary(Session& s, const Values& v) {
  const Page order[] = {Page::Header, Page::BootFiles, Page::BaseDirectory, Page::OutputFile, Page::Summary};
  if (s.current() == Page::Welcome && !s.next(Page::Header)) return false;
  for (int i = 0; i < 4; ++i) {
    if (!check(s.current() == order[i], "expected to be on %s", page_info(order[i]).name)) return false;
    type_values(s.page(), order[i], v);
    if (!s.next(order[i + 1])) return false;
  }
  return true;
}

// ---------------------------------------------------------------------------
// Choosers
// ---------------------------------------------------------------------------

// Presses a browse button and answers the open or save dialog with name (or
// cancels it when name is empty). Returns the dialog's filter entries.
std::vector<std::string> use_file_dialog(Session& s, int button, const std::string& name,
                                         std::string* shown_name = nullptr) {
  std::vector<std::string> filters;
  if (!ui::click(s.page(), button)) return filters;
  HWND dialog = ui::wait_for_file_dialog(s.pid(), ui::DEFAULT_TIMEOUT_MS);
  if (!dialog) return filters;
  note("file dialog, answered with \"%s\"", cp932_to_utf8(name).c_str());
  Sleep(200);  // the type list is filled once the dialog has initialised
  filters = ui::file_dialog_filters(dialog);
  if (shown_name) *shown_name = ui::file_dialog_name(dialog);
  if (name.empty()) ui::dialog_cancel(dialog);
  else ui::file_dialog_accept(dialog, name);
  return filters;
}

void check_filters(const std::vector<std::string>& actual, const char* first, const char* what) {
  check_lines(actual, {first, kAllFiles}, what);
}

// ---------------------------------------------------------------------------
// The base directory as the builder will see it
// ---------------------------------------------------------------------------

struct TreeFacts {
  std::vector<std::string> files;  // full paths, in table order
  uint64_t total_size = 0;
};

// Lists the folder as the builder does (listing order, folders entered where
// they are met), so the log's file lines can be predicted.
void walk_tree(const std::string& folder, TreeFacts* facts) {
  WIN32_FIND_DATAA data;
  HANDLE find = FindFirstFileA((folder + "\\*").c_str(), &data);
  if (find == INVALID_HANDLE_VALUE) return;
  do {
    std::string name = data.cFileName;
    if (name == "." || name == "..") continue;
    std::string path = folder + "\\" + name;
    if (data.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) {
      walk_tree(path, facts);
    } else {
      facts->files.push_back(path);
      facts->total_size += (uint64_t(data.nFileSizeHigh) << 32) | data.nFileSizeLow;
    }
  } while (FindNextFileA(find, &data));
  FindClose(find);
}

std::vector<std::string> expected_log(const Values& v, const TreeFacts& tree, bool maximise) {
  std::vector<std::string> texts = {kLogStart, kLogBootSector, kLogGameLoader, format(kLogAddingFile, v.apploader.c_str()),
                                    kLogMainProgram, format(kLogAddingFile, v.main_program.c_str()), kLogCaching,
                                    kLogWritingTable};
  for (const std::string& file : tree.files) texts.push_back(format(kLogAddingFile, file.c_str()));
  texts.push_back(kLogFilesDone);
  if (maximise) texts.push_back(kLogMaximising);
  texts.push_back(kLogAllDone);
  return texts;
}

int seconds_of_day(const SYSTEMTIME& t) { return t.wHour * 3600 + t.wMinute * 60 + t.wSecond; }

// Each line is "HH:MM:SS      text" with the UTC time of day between the two
// moments; the texts follow the expected ones (all of them, or a prefix when
// the write is still running).
void check_log(const std::vector<std::string>& lines, const std::vector<std::string>& expected, const SYSTEMTIME& from,
               const SYSTEMTIME& to, bool complete, const char* what) {
  if (complete) check_number(long(lines.size()), long(expected.size()), format("%s: number of log lines", what).c_str());
  else check(lines.size() <= expected.size() && !lines.empty(), "%s: %zu log lines so far", what, lines.size());
  int start = seconds_of_day(from), span = (seconds_of_day(to) - start + 86400) % 86400;
  for (size_t i = 0; i < lines.size() && i < expected.size(); ++i) {
    const std::string& line = lines[i];
    bool shape = line.size() >= 14 && line[2] == ':' && line[5] == ':' && line.compare(8, 6, "      ") == 0;
    for (int d : {0, 1, 3, 4, 6, 7}) shape = shape && line.size() > size_t(d) && line[d] >= '0' && line[d] <= '9';
    if (!check(shape, "%s line %zu is not \"HH:MM:SS      text\": \"%s\"", what, i + 1, cp932_to_utf8(line).c_str()))
      continue;
    int h = (line[0] - '0') * 10 + line[1] - '0', m = (line[3] - '0') * 10 + line[4] - '0',
        sec = (line[6] - '0') * 10 + line[7] - '0';
    int offset = (h * 3600 + m * 60 + sec - start + 86400) % 86400;
    // One second of slack on either side for the clock's rounding.
    check(h < 24 && m < 60 && sec < 60 && (offset <= span + 1 || offset >= 86400 - 1),
          "%s line %zu: time %.8s is not the UTC time of the write (%02d:%02d:%02d to %02d:%02d:%02d)", what, i + 1,
          line.c_str(), from.wHour, from.wMinute, from.wSecond, to.wHour, to.wMinute, to.wSecond);
    check_text(line.substr(14), expected[i], format("%s line %zu", what, i + 1).c_str());
  }
}

// ---------------------------------------------------------------------------
// The write progress dialog
// ---------------------------------------------------------------------------

const int kProgressMarker = 1015;  // the log list

HWND wait_progress(Session& s, DWORD timeout_ms) {
  ui::WindowMatch match;
  match.control_id = kProgressMarker;
  return ui::wait_for_window(s.pid(), match, timeout_ms, "write progress dialog");
}

bool wait_caption(HWND dialog, const char* caption, DWORD timeout_ms) {
  DWORD start = GetTickCount();
  while (ui::window_text(dialog) != caption) {
    if (!IsWindow(dialog) || GetTickCount() - start > timeout_ms) return false;
    Sleep(50);
  }
  return true;
}

int bar_position(HWND dialog, int id) { return int(SendMessageW(ui::control(dialog, id), PBM_GETPOS, 0, 0)); }

void check_progress_fixed_texts(HWND dialog, const Values& v, uint64_t total_size, const char* when) {
  std::string where = format("progress dialog (%s)", when);
  check_text(control_text(dialog, 1016), v.game_name, (where + " image name").c_str());
  check_text(control_text(dialog, 1062), "サイズ:", (where + " size label").c_str());
  check_text(control_text(dialog, 1017), format("%.2f Mb", double(uint32_t(total_size)) / 1048576.0),
             (where + " size").c_str());
  check_text(control_text(dialog, 1063), "現在の状況:", (where + " stage label").c_str());
  check_text(control_text(dialog, 1064), "全体の状況:", (where + " overall label").c_str());
  check_text(control_text(dialog, 3), kOpen, (where + " Open button").c_str());
  for (int id : {1040, 1041}) {
    HWND bar = ui::control(dialog, id);
    check_number(SendMessageW(bar, PBM_GETRANGE, TRUE, 0), 0, format("%s bar %d low end", where.c_str(), id).c_str());
    check_number(SendMessageW(bar, PBM_GETRANGE, FALSE, 0), 500, format("%s bar %d high end", where.c_str(), id).c_str());
  }
}

void check_progress_writing(HWND dialog, const char* when) {
  std::string where = format("progress dialog (%s)", when);
  check_text(ui::window_text(dialog), kWriting, (where + " caption").c_str());
  check_text(control_text(dialog, 1), kCancelWrite, (where + " button 1").c_str());
  check(!ui::is_enabled(dialog, 3), "%s: Open is disabled while writing", where.c_str());
}

void check_progress_finished(HWND dialog) {
  check_text(ui::window_text(dialog), kFinished, "progress dialog (finished) caption");
  check_text(control_text(dialog, 1), kQuit, "progress dialog (finished) button 1");
  check(ui::is_enabled(dialog, 3), "progress dialog (finished): Open is enabled");
  check_number(bar_position(dialog, 1040), 500, "progress dialog (finished) stage bar");
  check_number(bar_position(dialog, 1041), 500, "progress dialog (finished) overall bar");
}

// Waits for the write started at `before` to finish, then checks the finished
// dialog: caption, buttons, bars, fixed texts and the whole log. The dialog,
// or null when it did not come or the write did not finish.
HWND check_write_finishes(Session& s, const Values& v, const SYSTEMTIME& before, const char* when) {
  HWND progress = wait_progress(s, ui::DEFAULT_TIMEOUT_MS);
  if (!progress) return nullptr;
  bool finished = wait_caption(progress, kFinished, 60000);
  SYSTEMTIME after;
  GetSystemTime(&after);
  if (!check(finished, "the write did not finish (%s; caption \"%s\")", when,
             cp932_to_utf8(ui::window_text(progress)).c_str()))
    return nullptr;
  TreeFacts tree;
  walk_tree(v.base_directory, &tree);
  check_progress_finished(progress);
  // Enter sends button 1: the focus is on it, not on Open before it.
  check(ui::focus_of_thread(progress) == ui::control(progress, 1), "the focus is not on button 1 after the write (%s)",
        when);
  check_progress_fixed_texts(progress, v, tree.total_size, when);
  check_log(ui::list_box_lines(ui::control(progress, 1015)), expected_log(v, tree, v.maximise), before, after, true,
            format("log of the finished write (%s)", when).c_str());
  return progress;
}

// ---------------------------------------------------------------------------
// The shell's open, seen through the open recorder
// ---------------------------------------------------------------------------

const char kOpenRecordVariable[] = "OPEN_RECORDER_FILE";

std::string open_record_path() { return g_setup.at("open_record.txt"); }

// The recorder's lines (its command line, then one argument per line), or
// nothing when it wrote no record within the time.
std::vector<std::string> wait_for_open_record(DWORD timeout_ms) {
  std::vector<uint8_t> bytes;
  if (!ui::wait_until([&] { return ui::read_whole_file(open_record_path(), &bytes); }, timeout_ms)) return {};
  std::vector<std::string> lines;
  std::string line;
  for (uint8_t byte : bytes) {
    if (byte == '\n') {
      lines.push_back(line);
      line.clear();
    } else {
      line += char(byte);
    }
  }
  return lines;
}

// Windows paths compare without regard to case or the kind of separator.
bool same_path(std::wstring a, std::wstring b) {
  for (std::wstring* path : {&a, &b})
    for (wchar_t& c : *path)
      if (c == L'/') c = L'\\';
  return CompareStringOrdinal(a.c_str(), int(a.size()), b.c_str(), int(b.size()), TRUE) == CSTR_EQUAL;
}

// The Open button had the shell start the recorder, with the image's
// path as its only argument.
void check_opened_with(const std::string& image) {
  std::vector<std::string> record = wait_for_open_record(ui::DEFAULT_TIMEOUT_MS);
  if (!check(!record.empty(), "Open started no program for the image")) return;
  note("Open started: %s", record[0].c_str());
  std::vector<std::string> arguments(record.begin() + 1, record.end());
  if (!check(arguments.size() == 1, "Open passed %zu arguments instead of the image's path (command line: %s)",
             arguments.size(), record[0].c_str()))
    return;
  check(same_path(ui::from_code_page(arguments[0], CP_UTF8), ui::from_cp932(image)), "Open passed \"%s\" instead of \"%s\"",
        arguments[0].c_str(), cp932_to_utf8(image).c_str());
}

// ---------------------------------------------------------------------------
// Reference images from trelvik-cli
// ---------------------------------------------------------------------------

std::wstring quoted(const std::string& cp932) { return L"\"" + ui::from_cp932(cp932) + L"\""; }

bool reference_image(const Values& v, const std::string& output) {
  static const char* const regions[] = {"japan", "usa", "europe"};
  std::wstring line = quoted(g_setup.cli);
  if (v.import_header) {
    line += L" --header-from " + quoted(v.import_path);
  } else {
    line += L" --game-id " + quoted(v.game_id) + L" --game-name " + quoted(v.game_name) + L" --maker-id " +
            quoted(v.maker_id) + L" --region " + ui::from_cp932(regions[v.region]);
  }
  line += L" --apploader " + quoted(v.apploader) + L" --main-program " + quoted(v.main_program) + L" --base-dir " +
          quoted(v.base_directory) + L" --output " + quoted(output) + L" --no-disc-magic --quiet";
  if (!v.maximise) line += L" --no-maximise";
  DWORD code = ~0u;
  bool ran = ui::run_program(line, 120000, &code);
  return check(ran && code == 0, "trelvik-cli did not build the reference image %s (status %lu)",
               cp932_to_utf8(output).c_str(), code);
}

// Builds the reference image `reference_name` from the same values with
// trelvik-cli and compares the wizard's image with it byte for byte.
void check_same_as_cli(const Values& v, const char* reference_name, const char* what) {
  std::string reference = g_setup.at(reference_name);
  if (reference_image(v, reference))
    ui::files_equal(v.output, reference, format("image equals trelvik-cli's (%s)", what).c_str());
}

// The header fields the image holds: game code (4 bytes, the region letter
// last), maker code (2) and the game name (64 bytes at 0x20), zero-padded.
void check_image_header(const std::string& image, const std::string& game_code, const std::string& maker_code,
                        const std::string& game_name, const char* what) {
  std::vector<uint8_t> header(0x60, 0);
  FILE* f = std::fopen(image.c_str(), "rb");
  if (!check(f != nullptr, "%s: cannot read %s", what, cp932_to_utf8(image).c_str())) return;
  size_t got = std::fread(header.data(), 1, header.size(), f);
  std::fclose(f);
  if (!check(got == header.size(), "%s: image shorter than its header", what)) return;
  auto field = [&](size_t offset, size_t width) { return std::string(header.begin() + offset, header.begin() + offset + width); };
  auto padded = [](std::string text, size_t width) { text.resize(width, '\0'); return text; };
  check_text(field(0, 4), padded(game_code, 4), format("%s: game code", what).c_str());
  check_text(field(4, 2), padded(maker_code, 2), format("%s: maker code", what).c_str());
  check_text(field(0x20, 64), padded(game_name, 64), format("%s: game name", what).c_str());
}

// ---------------------------------------------------------------------------
// Scenarios
// ---------------------------------------------------------------------------

// Everything a user meets on the way through the pages with a typed header:
// every text, every check and warning, the three choosers, values surviving
// An earlier output that a build which does not finish must leave as it was.
const std::string kPreviousOutput = "an image written before, to be kept as it is";

void write_previous_output(const std::string& path) {
  FILE* f = std::fopen(path.c_str(), "wb");
  check(f && std::fwrite(kPreviousOutput.data(), 1, kPreviousOutput.size(), f) == kPreviousOutput.size(),
        "cannot write %s", path.c_str());
  if (f) std::fclose(f);
}

// The earlier output keeps its bytes and no unfinished image (".NAME.*.part")
// is left beside it.
void check_previous_output_kept(const std::string& path, const char* when) {
  std::vector<uint8_t> bytes;
  check(ui::read_whole_file(path, &bytes) && std::string(bytes.begin(), bytes.end()) == kPreviousOutput,
        "%s: the earlier output changed", when);
  const size_t slash = path.find_last_of('\\');
  const std::string pattern = path.substr(0, slash + 1) + "." + path.substr(slash + 1) + ".*.part";
  WIN32_FIND_DATAA found;
  HANDLE h = FindFirstFileA(pattern.c_str(), &found);
  check(h == INVALID_HANDLE_VALUE, "%s: an unfinished image was left: %s", when,
        h == INVALID_HANDLE_VALUE ? "" : found.cFileName);
  if (h != INVALID_HANDLE_VALUE) FindClose(h);
}

// Back and Next, the long-name question answered No then Yes, a complete
// build compared with trelvik-cli's, the finished dialog and Quit.
void scenario_walkthrough() {
  Session s;
  if (!s.start()) return;
  HWND page = s.page();

  // Welcome page and the about box.
  check_page_texts(page, Page::Welcome);
  ui::screenshot("01-welcome", {page});
  if (!ui::click(page, 1018)) return;
  ui::WindowMatch about_match;
  about_match.control_id = 1046;
  HWND about = ui::wait_for_window(s.pid(), about_match, ui::DEFAULT_TIMEOUT_MS, "AboutBox");
  if (!about) return;
  check_text(ui::window_text(about), "Trelvikについて", "AboutBox caption");
  check_text(control_text(about, 1043), "Trelvik", "AboutBox name");
  check_text(control_text(about, 1044), "version 1.00", "AboutBox version");
  check_text(control_text(about, IDOK), "&OK", "AboutBox OK button");
  check(!control_text(about, 1045).empty(), "AboutBox author credit is empty");
  check(control_text(about, 1046).size() > 100, "AboutBox distribution terms are missing");
  check((ui::window_style(ui::control(about, 1046)) & (ES_READONLY | ES_MULTILINE | WS_VSCROLL)) ==
            (ES_READONLY | ES_MULTILINE | WS_VSCROLL),
        "AboutBox terms: a read-only multi-line text with a scroll bar");
  ui::screenshot("02-about", {about});
  ui::press_escape(about);
  Sleep(300);
  check(IsWindowVisible(about), "Esc closed the about box");
  ui::click(about, IDOK);
  check(ui::wait_until_gone(about, ui::DEFAULT_TIMEOUT_MS), "the about box did not close on OK");
  check(IsWindowVisible(page), "the welcome page went away with the about box");

  // Header page: texts and defaults.
  if (!s.next(Page::Header)) return;
  page = s.page();
  Values v;  // what the wizard holds
  check_page_texts(page, Page::Header);
  check_lines(ui::combo_items(ui::control(page, 1004)), {"Japan", "USA", "Europe"}, "HeaderPage region list");
  check_page_values(page, Page::Header, v, "defaults");
  ui::screenshot("03-header", {page});

  // Empty fields, then each check in its order.
  s.refuse_next("HeaderPage Next with empty fields");
  ui::set_control_text(page, 1008, "GTV");
  ui::set_control_text(page, 1009, "name");
  s.refuse_next("HeaderPage Next without maker ID");
  ui::set_control_text(page, 1003, "01");
  ui::set_control_text(page, 1009, "");
  s.refuse_next("HeaderPage Next without game name");

  // The import check box swaps the enabled controls; ticked with an empty
  // path, Next is refused although the typed fields are all filled.
  ui::set_control_text(page, 1009, "name");
  ui::toggle_check_box(page, 1007);
  check_header_enabling(page, true);
  ui::screenshot("03-header-import", {page});
  s.refuse_next("HeaderPage Next with import ticked and no image path");

  // The open dialog for the image: its filters; Cancel empties the field.
  ui::set_control_text(page, 1006, "to be emptied");
  check_filters(use_file_dialog(s, 1005, ""), kImageFilter, "image open dialog filters");
  check_text(control_text(page, 1006), "", "image path after the open dialog was cancelled");
  std::string short_header = g_setup.at("short_header.bin");
  use_file_dialog(s, 1005, short_header);
  check_text(control_text(page, 1006), short_header, "image path chosen in the open dialog");

  // Back reads the page: the too-long IDs warn although their edits are
  // disabled, and are kept cut short.
  ui::set_control_text(page, 1008, "GTVX");
  ui::set_control_text(page, 1003, "01Z");
  check(!ui::is_enabled(page, 1008), "game ID edit disabled with import ticked");
  if (!ui::click(page, 3)) return;
  ui::answer_message_box(s.pid(), kError, kGameIdTooLong, IDOK, "game ID warning on Back");
  ui::answer_message_box(s.pid(), kError, kMakerIdTooLong, IDOK, "maker ID warning on Back");
  if (!s.wait_page(Page::Welcome, page)) return;
  v.game_id = "GTV";
  v.game_name = "name";
  v.maker_id = "01";
  v.import_header = true;
  v.import_path = short_header;
  if (!s.next(Page::Header)) return;
  page = s.page();
  check_page_values(page, Page::Header, v, "after Back and Next");

  // A game name beyond 64 bytes is cut silently (double-byte characters count
  // twice); the region list and the check box come back as left.
  ui::toggle_check_box(page, 1007);
  v.import_header = false;
  std::string long_name;
  for (int i = 0; i < 40; ++i) long_name += "名";  // 80 bytes
  ui::set_control_text(page, 1009, long_name);
  ui::combo_select(ui::control(page, 1004), 2);
  if (!s.back(Page::Welcome) || !s.next(Page::Header)) return;
  page = s.page();
  v.game_name = long_name.substr(0, 64);
  v.region = 2;
  check_page_values(page, Page::Header, v, "after a 80-byte game name");

  // The final header: a three-byte maker ID warns on Next and keeps two.
  v.game_name = "トレルビク テスト ディスク";
  v.region = 1;
  ui::set_control_text(page, 1009, v.game_name);
  ui::combo_select(ui::control(page, 1004), 1);
  ui::set_control_text(page, 1003, "8PX");
  if (!ui::click(page, 1000)) return;
  ui::answer_message_box(s.pid(), kError, kMakerIdTooLong, IDOK, "maker ID warning on Next");
  if (!s.wait_page(Page::BootFiles, page)) return;
  v.maker_id = "8P";

  // Boot files: the two open dialogs.
  page = s.page();
  check_page_texts(page, Page::BootFiles);
  check_page_values(page, Page::BootFiles, v, "first visit");
  s.refuse_next("BootFilesPage Next with empty fields");
  std::string shown;
  v.apploader = g_setup.at("apploader.img");
  check_filters(use_file_dialog(s, 1011, v.apploader, &shown), "AppLoader (apploader)", "apploader open dialog filters");
  // The chooser starts from the last name chosen in any chooser.
  check(shown == short_header || shown == "short_header.bin",
        "the apploader chooser does not start with the last name chosen (\"%s\")", cp932_to_utf8(shown).c_str());
  check_text(control_text(page, 1010), v.apploader, "apploader chosen in the open dialog");
  s.refuse_next("BootFilesPage Next without main program");
  v.main_program = g_setup.at("main.dol");
  check_filters(use_file_dialog(s, 1006, v.main_program), "GameCube アプリケーション (*.dol)",
                "main program open dialog filters");
  check_text(control_text(page, 1002), v.main_program, "main program chosen in the open dialog");
  ui::screenshot("04-boot-files", {page});
  if (!s.next(Page::BaseDirectory)) return;

  // Base directory: the folder browser, cancelled and then used.
  page = s.page();
  check_page_texts(page, Page::BaseDirectory);
  s.refuse_next("BaseDirectoryPage Next with an empty folder");
  ui::set_control_text(page, 1012, "to be emptied");
  if (!ui::click(page, 1013)) return;
  HWND browser = ui::wait_for_folder_browser(s.pid(), ui::DEFAULT_TIMEOUT_MS);
  if (!browser) return;
  check_text(control_text(browser, ui::FOLDER_PROMPT_ID), kFolderPrompt, "folder browser prompt");
  ui::dialog_cancel(browser);
  check_text(control_text(page, 1012), "", "base directory after the folder browser was cancelled");
  v.base_directory = g_setup.at("base_long");
  if (!ui::click(page, 1013)) return;
  browser = ui::wait_for_folder_browser(s.pid(), ui::DEFAULT_TIMEOUT_MS);
  if (!browser) return;
  ui::folder_browser_select(s.handle(), browser, v.base_directory);
  ui::screenshot("05-folder-browser", {browser});
  ui::folder_browser_ok(browser);
  check_text(control_text(page, 1012), v.base_directory, "base directory chosen in the folder browser");
  ui::screenshot("05-base-directory", {page});
  // Opened again, the browser starts on the folder in the edit; OK keeps it.
  if (!ui::click(page, 1013)) return;
  browser = ui::wait_for_folder_browser(s.pid(), ui::DEFAULT_TIMEOUT_MS);
  if (!browser) return;
  HWND folders = ui::control(browser, ui::FOLDER_TREE_ID);
  auto selected_folder = [&] {
    HTREEITEM item = reinterpret_cast<HTREEITEM>(SendMessageW(folders, TVM_GETNEXTITEM, TVGN_CARET, 0));
    return item ? ui::tree_item_text(s.handle(), folders, item) : std::string();
  };
  check(ui::wait_until([&] { return selected_folder() == "base_long"; }, 5000),
        "the folder browser starts on \"%s\", not on the base directory", cp932_to_utf8(selected_folder()).c_str());
  ui::folder_browser_ok(browser);
  check_text(control_text(page, 1012), v.base_directory, "base directory after OK on the browser's first choice");
  if (!s.next(Page::OutputFile)) return;

  // Output file: the save dialog and the case-sensitive ".gcm" rule.
  page = s.page();
  check_page_texts(page, Page::OutputFile);
  check_page_values(page, Page::OutputFile, v, "first visit");
  s.refuse_next("OutputFilePage Next with an empty output file");
  check_filters(use_file_dialog(s, 1005, g_setup.at("upper.GCM")), kImageFilter, "save dialog filters");
  check_text(control_text(page, 1001), g_setup.at("upper.GCM.gcm"), "save dialog: .GCM gets .gcm appended");
  use_file_dialog(s, 1005, g_setup.at("lower.gcm"));
  check_text(control_text(page, 1001), g_setup.at("lower.gcm"), "save dialog: .gcm is kept as it is");
  use_file_dialog(s, 1005, g_setup.at("typed"));
  v.output = g_setup.at("typed.gcm");
  check_text(control_text(page, 1001), v.output, "save dialog: a name without extension gets .gcm");
  ui::toggle_check_box(page, 1014);
  v.maximise = false;
  ui::screenshot("06-output-file", {page});
  if (!s.next(Page::Summary)) return;

  // Summary, then all the way back and forward again: every value survives.
  page = s.page();
  check_page_texts(page, Page::Summary);
  check_summary(page, v, "first visit");
  ui::screenshot("07-summary", {page});
  const Page pages[] = {Page::Welcome, Page::Header, Page::BootFiles, Page::BaseDirectory, Page::OutputFile,
                        Page::Summary};
  for (int i = 4; i >= 0; --i) {
    if (!s.back(pages[i])) return;
    check_page_values(s.page(), pages[i], v, "walking back");
  }
  for (int i = 1; i <= 5; ++i) {
    if (!s.next(pages[i])) return;
    check_page_values(s.page(), pages[i], v, "walking forward again");
  }
  check_summary(s.page(), v, "after walking back and forward");

  // The long-name question: No leads back to the base directory page and
  // leaves an earlier output as it was.
  write_previous_output(v.output);
  page = s.page();
  if (!ui::click(page, 1000)) return;
  HWND question = ui::wait_for_message_box(s.pid(), kWarning, ui::DEFAULT_TIMEOUT_MS, "long-name question");
  if (!question) return;
  ui::screenshot("08-long-name-question", {question});
  ui::answer_message_box(s.pid(), kWarning, kLongNames, IDNO, "long-name question");
  if (!s.wait_page(Page::BaseDirectory, page)) return;
  check_page_values(s.page(), Page::BaseDirectory, v, "after the long-name question");
  check_previous_output_kept(v.output, "after No to the long-name question");

  // Forward again, Yes this time: the write runs and finishes.
  if (!s.next(Page::OutputFile) || !s.next(Page::Summary)) return;
  page = s.page();
  SYSTEMTIME before;
  GetSystemTime(&before);
  if (!ui::click(page, 1000)) return;
  if (!ui::answer_message_box(s.pid(), kWarning, kLongNames, IDYES, "long-name question, answered Yes")) return;
  HWND progress = check_write_finishes(s, v, before, "typed header");
  if (!progress) return;
  ui::screenshot("10-progress-finished", {progress});

  // Esc has no meaning here.
  ui::press_escape(progress);
  Sleep(300);
  check(s.running() && IsWindowVisible(progress), "Esc closed the finished progress dialog");

  // Open has the shell start the program registered for .gcm (the recorder)
  // on the image; the dialog stays as it is.
  DeleteFileA(open_record_path().c_str());
  if (ui::click(progress, 3)) check_opened_with(v.output);
  check(s.running() && IsWindowVisible(progress), "the progress dialog went away after Open");
  check(ui::no_message_box_within(s.pid(), 200), "Open showed a message");

  // Quit ends the program without a question and keeps the image.
  ui::click(progress, 1);
  check(ui::no_message_box_within(s.pid(), 300), "Quit after the end asked a question");
  check_number(s.wait_exit(ui::DEFAULT_TIMEOUT_MS), 0, "exit status after Quit");
  check_image_header(v.output, "GTVE", "8P", v.game_name, "typed header");
  check_same_as_cli(v, "typed_reference.gcm", "typed header");
}

// The header taken from an image shorter than 1,072 bytes, the failures the
// summary page reports (import image missing, apploader missing), a base
// directory with short names only (no question), a complete maximised write,
// and the title-bar close of the finished dialog.
void scenario_imported_header() {
  Session s;
  if (!s.start()) return;
  Values v;
  v.import_header = true;
  v.import_path = g_setup.at("missing.gcm");
  v.game_name = "表示用の名前";  // shown in the progress dialog, not written
  v.apploader = g_setup.at("no_such_apploader");
  v.main_program = g_setup.at("main.dol");
  v.base_directory = g_setup.at("base_short");
  v.output = g_setup.at("imported.gcm");  // maximised, as the page proposes
  if (!fill_to_summary(s, v)) return;
  check_summary(s.page(), v, "header from an image");

  // An image that cannot be opened, then a container that gives no disc (its
  // own bytes are no header): message, back to the header page.
  for (const char* next : {"damaged.rvz", "short_header.bin"}) {
    HWND page = s.page();
    if (!ui::click(page, 1000)) return;
    const std::string what = format("import image %s cannot be opened", cp932_to_utf8(v.import_path).c_str());
    if (v.import_path == g_setup.at("damaged.rvz")) {
      if (HWND box = ui::wait_for_message_box(s.pid(), kError, ui::DEFAULT_TIMEOUT_MS, what.c_str()))
        ui::screenshot("11-damaged-container", {box});
    }
    ui::answer_message_box(s.pid(), kError, format(kCannotOpen, v.import_path.c_str()), IDOK, what.c_str());
    if (!s.wait_page(Page::Header, page)) return;
    check_page_values(s.page(), Page::Header, v, format("back after: %s", what.c_str()).c_str());
    v.import_path = g_setup.at(next);
    if (!fill_to_summary(s, v)) return;
  }

  // A missing apploader: a message, the page stays, no write starts.
  HWND page = s.page();
  if (!ui::click(page, 1000)) return;
  HWND box = ui::wait_for_message_box(s.pid(), kError, ui::DEFAULT_TIMEOUT_MS, "message for a missing apploader");
  if (box) {
    std::string text = control_text(box, ui::MESSAGE_TEXT_ID);
    note("message for a missing apploader: \"%s\"", cp932_to_utf8(text).c_str());
    check(!text.empty(), "the message for a missing apploader is empty");
    ui::screenshot("11-prepare-failed", {box});
    ui::click(box, IDOK);
    ui::wait_until_gone(box, ui::DEFAULT_TIMEOUT_MS);
  }
  s.stays();
  ui::WindowMatch progress_match;
  progress_match.control_id = kProgressMarker;
  check(ui::match_window(s.pid(), progress_match) == nullptr, "the progress dialog opened after a failed preparation");

  v.apploader = g_setup.at("apploader.img");
  if (!s.back(Page::OutputFile) || !s.back(Page::BaseDirectory) || !s.back(Page::BootFiles)) return;
  type_values(s.page(), Page::BootFiles, v);
  if (!s.next(Page::BaseDirectory) || !s.next(Page::OutputFile) || !s.next(Page::Summary)) return;
  check_summary(s.page(), v, "header from a short image");

  // Short names only: the write starts without the question.
  SYSTEMTIME before;
  GetSystemTime(&before);
  if (!ui::click(s.page(), 1000)) return;
  HWND progress = check_write_finishes(s, v, before, "maximised, header from an image");
  if (!progress) return;

  // The title-bar close unwinds the pages: exit status 1, the image stays.
  ui::close_from_title_bar(progress);
  check_number(s.wait_exit(ui::DEFAULT_TIMEOUT_MS), 1, "exit status after the title-bar close");
  // The name the file's end cuts short reads as zeros.
  check_image_header(v.output, "GSHP", "8P", "SHORT HEADER NAME...", "header from a 52-byte file");
  check_same_as_cli(v, "imported_reference.gcm", "imported header");
}

// Esc on a page, the title-bar close of a page and Cancel on the summary page
// end the program at once, with status 0.
void scenario_leaving() {
  {
    Session s;
    if (!s.start() || !s.next(Page::Header)) return;
    ui::press_escape(s.page());
    check_number(s.wait_exit(ui::DEFAULT_TIMEOUT_MS), 0, "exit status after Esc on the header page");
  }
  {
    Session s;
    Values v;
    v.game_id = "TBC";
    v.game_name = "x";
    v.maker_id = "01";
    if (!s.start() || !s.next(Page::Header)) return;
    type_values(s.page(), Page::Header, v);
    if (!s.next(Page::BootFiles)) return;
    ui::close_from_title_bar(s.page());
    check(ui::no_message_box_within(s.pid(), 300), "the title-bar close of a page asked a question");
    check_number(s.wait_exit(ui::DEFAULT_TIMEOUT_MS), 0, "exit status after the title-bar close of BootFilesPage");
  }
  {
    // One-character IDs are accepted; the summary shows a long path.
    Session s;
    Values v = typed_build("E", "x", "1", "base_short",
                           "never_written_under_a_name_long_enough_to_run_past_the_summary_list.gcm", true);
    if (!s.start() || !fill_to_summary(s, v)) return;
    check_summary(s.page(), v, "one-character IDs");
    // The long output path scrolls sideways; the picture shows it.
    HWND list = ui::control(s.page(), 1006);
    check(ui::window_style(list) & WS_HSCROLL, "the summary list has no horizontal scroll bar");
    SendMessageW(list, WM_VSCROLL, SB_BOTTOM, 0);
    ui::screenshot("07-summary-long-path", {s.page()});
    ui::click(s.page(), 2);
    check(ui::no_message_box_within(s.pid(), 300), "Cancel on the summary page asked a question");
    check_number(s.wait_exit(ui::DEFAULT_TIMEOUT_MS), 0, "exit status after Cancel on the summary page");
    check(!ui::file_exists(v.output), "Cancel before the start created the output file");
  }
}

// During a long maximised write (a 256 MB file before the padding): Cancel,
// No (the write goes on), Cancel, Yes (the program ends, the unfinished image
// is deleted, and the earlier output keeps its bytes).
void scenario_cancel_maximised_write() {
  Session s;
  if (!s.start()) return;
  Values v = typed_build("GMX", "maximised", "01", "base_big", "maximised.gcm", true);
  if (!fill_to_summary(s, v)) return;
  check_summary(s.page(), v, "maximised");
  write_previous_output(v.output);

  SYSTEMTIME before;
  GetSystemTime(&before);
  if (!ui::click(s.page(), 1000)) return;
  HWND progress = wait_progress(s, ui::DEFAULT_TIMEOUT_MS);
  if (!progress) return;
  // The click reaches the dialog at its next progress report.
  PostMessageW(ui::control(progress, 1), BM_CLICK, 0, 0);
  HWND question = ui::wait_for_message_box(s.pid(), kQuestion, ui::DEFAULT_TIMEOUT_MS, "quit question during the write");
  if (!question) return;
  // The write waits while the question is up: the dialog's state now is its
  // state in the middle of the write.
  SYSTEMTIME now;
  GetSystemTime(&now);
  TreeFacts tree;
  walk_tree(v.base_directory, &tree);
  check_progress_writing(progress, "during the write");
  check_progress_fixed_texts(progress, v, tree.total_size, "during the write");
  std::vector<std::string> log_before = ui::list_box_lines(ui::control(progress, 1015));
  check_log(log_before, expected_log(v, tree, true), before, now, false, "log during the write");
  int stage_before = bar_position(progress, 1040);
  // Moved below the dialog so that the picture shows the dialog whole.
  RECT r;
  GetWindowRect(progress, &r);
  SetWindowPos(question, nullptr, r.left, r.bottom + 4, 0, 0, SWP_NOSIZE | SWP_NOZORDER | SWP_NOACTIVATE);
  ui::screenshot("09-progress-writing", {progress, question});

  note("quit question after %zu log lines, stage bar at %d", log_before.size(), stage_before);
  ui::answer_message_box(s.pid(), kQuestion, kReallyQuit, IDNO, "quit question, answered No");
  // The write goes on: more log lines or a moving bar.
  DWORD start = GetTickCount();
  bool moved = false;
  while (!moved && GetTickCount() - start < 10000) {
    moved = ui::list_box_lines(ui::control(progress, 1015)).size() > log_before.size() ||
            bar_position(progress, 1040) != stage_before;
    if (!moved) Sleep(2);
  }
  check(moved, "the write did not go on after No");
  if (!check(ui::window_text(progress) == kWriting, "the write ended before the second Cancel; nothing left to cancel"))
    return;

  PostMessageW(ui::control(progress, 1), BM_CLICK, 0, 0);
  question = ui::wait_for_message_box(s.pid(), kQuestion, ui::DEFAULT_TIMEOUT_MS, "second quit question");
  if (!question) return;
  std::vector<std::string> log = ui::list_box_lines(ui::control(progress, 1015));
  SYSTEMTIME later;
  GetSystemTime(&later);
  check_log(log, expected_log(v, tree, true), before, later, false, "log at the second question");
  note("second quit question after %zu log lines, stage bar at %d", log.size(), bar_position(progress, 1040));
  check_progress_writing(progress, "at the second question");
  if (!ui::answer_message_box(s.pid(), kQuestion, kReallyQuit, IDYES, "quit question, answered Yes")) return;
  check_number(s.wait_exit(ui::DEFAULT_TIMEOUT_MS), 0, "exit status after Yes to the quit question");
  check_previous_output_kept(v.output, "after Yes to the quit question during the write");
}

// The header from a disc in an RVZ container (the disc's fields, never the
// container's bytes) with a base directory whose files hold no bytes at
// all: the size reads 0.00 Mb, the overall bar has nothing to divide by, and
// the write still completes.
void scenario_zero_bytes() {
  Session s;
  if (!s.start()) return;
  Values v;
  v.import_header = true;
  v.import_path = g_setup.at("header.rvz");
  v.game_name = "zero bytes";
  v.apploader = g_setup.at("apploader.img");
  v.main_program = g_setup.at("main.dol");
  v.base_directory = g_setup.at("base_zero");
  v.output = g_setup.at("zero.gcm");
  v.maximise = false;
  if (!fill_to_summary(s, v)) return;
  if (!ui::click(s.page(), 1000)) return;
  HWND progress = wait_progress(s, ui::DEFAULT_TIMEOUT_MS);
  if (!progress) return;
  if (!check(wait_caption(progress, kFinished, 60000), "the write of a zero-byte tree did not finish")) {
    ui::describe_windows(s.pid());
    return;
  }
  check_text(control_text(progress, 1017), "0.00 Mb", "size of a zero-byte tree");
  check_number(bar_position(progress, 1040), 500, "stage bar after a zero-byte tree");
  note("overall bar after a zero-byte tree: %d", bar_position(progress, 1041));
  ui::click(progress, 1);
  check_number(s.wait_exit(ui::DEFAULT_TIMEOUT_MS), 0, "exit status after Quit");
  check_image_header(v.output, "GRVJ", "8P", "HEADER FROM RVZ", "header from a disc in an RVZ container");
  check_same_as_cli(v, "zero_reference.gcm", "zero-byte tree");
}

// A game ID of two double-byte characters is cut inside the second: one
// warning on Next, then the cut bytes survive Back and Next without another
// and reach the image's game code as they were cut. The write's end is left
// with Enter, which the focus on button 1 makes Quit.
void scenario_cut_id() {
  Session s;
  if (!s.start() || !s.next(Page::Header)) return;
  Values v = typed_build("ゲム", "cut", "01", "base_zero", "cut.gcm", false);
  HWND page = s.page();
  type_values(page, Page::Header, v);
  if (!ui::click(page, 1000)) return;
  ui::answer_message_box(s.pid(), kError, kGameIdTooLong, IDOK, "warning for the game ID ゲム");
  if (!s.wait_page(Page::BootFiles, page) || !s.back(Page::Header)) return;
  page = s.page();
  if (!ui::click(page, 1000) ||
      !check(ui::no_message_box_within(s.pid(), 500), "the cut game ID warned again after Back and Next") ||
      !s.wait_page(Page::BootFiles, page))
    return;
  for (Page p : {Page::BootFiles, Page::BaseDirectory, Page::OutputFile}) {
    type_values(s.page(), p, v);
    if (!s.next(Page(int(p) + 1))) return;
  }
  v.game_id = v.game_id.substr(0, 3);
  SYSTEMTIME before;
  GetSystemTime(&before);
  if (!ui::click(s.page(), 1000)) return;
  HWND progress = check_write_finishes(s, v, before, "cut game ID");
  if (!progress) return;
  ui::type_keys(progress, {VK_RETURN});
  check_number(s.wait_exit(ui::DEFAULT_TIMEOUT_MS), 0, "exit status after Enter at the write's end");
  check_image_header(v.output, v.game_id + "J", v.maker_id, v.game_name, "cut game ID");
}

}  // namespace

int main(int argc, char** argv) {
  std::string exchange;
  for (int i = 1; i < argc; ++i) {
    if (ui::take_argument(i, argc, argv, "--trelvik", &g_setup.trelvik) ||
        ui::take_argument(i, argc, argv, "--cli", &g_setup.cli) ||
        ui::take_argument(i, argc, argv, "--work", &g_setup.work) ||
        ui::take_argument(i, argc, argv, "--open-recorder", &g_setup.open_recorder) ||
        ui::take_argument(i, argc, argv, "--exchange", &exchange) ||
        ui::take_argument(i, argc, argv, "--only", &g_setup.only))
      continue;
    std::fprintf(stderr, "trelvik_ui_driver: unknown argument %s\n", argv[i]);
    return 2;
  }
  if (g_setup.trelvik.empty() || g_setup.cli.empty() || g_setup.open_recorder.empty() || g_setup.work.empty()) {
    std::fprintf(stderr,
                 "usage: trelvik_ui_driver --trelvik EXE --cli EXE --open-recorder EXE --work FOLDER"
                 " [--exchange FOLDER] [--only NAME]\n");
    return 2;
  }
  ui::set_screenshot_exchange(exchange);
  // Trelvik inherits the variable and passes it on to the recorder.
  SetEnvironmentVariableA(kOpenRecordVariable, open_record_path().c_str());
  ui::TemporaryOpenCommand open_command(L".gcm", L"TrelvikUiTest.OpenRecorder",
                                        L"\"" + ui::from_cp932(g_setup.open_recorder) + L"\" \"%1\"");

  return ui::run_scenarios({{"walkthrough", scenario_walkthrough},
                            {"imported-header", scenario_imported_header},
                            {"leaving", scenario_leaving},
                            {"zero-bytes", scenario_zero_bytes},
                            {"cut-id", scenario_cut_id},
                            {"cancel-maximised", scenario_cancel_maximised_write}},
                           g_setup.only);
}
