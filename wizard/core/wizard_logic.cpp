// The wizard's window-free rules. Japanese literals are stored as code page
// 932 (the file is compiled with CP932_FLAGS).
#include "wizard/core/wizard_logic.h"

#include <cstdio>
#include <cstring>

#include "builder/source_walk.h"
#include "host/host_text.h"

// ---------------------------------------------------------------------------
// Header page
// ---------------------------------------------------------------------------

bool store_cut_text(const std::string& text, size_t limit, char* field) {
  size_t n = text.size() < limit ? text.size() : limit;
  std::memcpy(field, text.data(), n);
  field[n] = '\0';
  return text.size() > limit;
}

std::string header_edit_text(const std::string& typed, const std::string& shown_when_loaded,
                             const std::string& loaded) {
  return typed == shown_when_loaded ? loaded : typed;
}

bool header_page_complete(const WizardState& state) {
  if (state.import_header) return state.import_image_path[0] != '\0';
  return state.game_id[0] != '\0' && state.game_name[0] != '\0' && state.maker_id[0] != '\0';
}

bool boot_files_page_complete(const WizardState& state) {
  return state.apploader_path[0] != '\0' && state.main_program_path[0] != '\0';
}

bool base_directory_page_complete(const WizardState& state) {
  return state.base_directory[0] != '\0';
}

bool output_file_page_complete(const WizardState& state) { return state.output_path[0] != '\0'; }

const char* const REGION_NAMES[3] = {"Japan", "USA", "Europe"};

const char* region_name(uint16_t region_index) {
  return region_index < 2 ? REGION_NAMES[region_index] : REGION_NAMES[2];
}

// ---------------------------------------------------------------------------
// Summary page
// ---------------------------------------------------------------------------

namespace {

const char INDENT[] = "     ";

// game_name holds 64 bytes with no room guaranteed for a terminator.
std::string bounded(const char* field, size_t width) {
  size_t n = 0;
  while (n < width && field[n] != '\0') ++n;
  return std::string(field, n);
}

}  // namespace

std::string stored_game_name(const WizardState& state) {
  return bounded(state.game_name, GAME_NAME_LIMIT);
}

std::vector<ShownText> summary_lines(const WizardState& state) {
  std::vector<ShownText> lines;
  auto text = [&](const std::string& t) { lines.push_back(japanese_text(t)); };
  auto with_path = [&](const std::string& label, const char* path) {
    lines.push_back(ShownText{label, path, ""});
  };

  text("ヘッダー:");
  if (state.import_header) {
    text(std::string(INDENT) + "ISOからヘッダー取得:");
    with_path(INDENT, state.import_image_path);
  } else {
    text(std::string(INDENT) + "ゲーム ID: " + bounded(state.game_id, GAME_ID_LIMIT));
    text(std::string(INDENT) + "ゲーム名: " + stored_game_name(state));
    text(std::string(INDENT) + "開発元 ID: " + bounded(state.maker_id, MAKER_ID_LIMIT));
    text(std::string(INDENT) + "地域: " + region_name(state.region_index));
  }
  text("");
  text("ブートローダー:");
  with_path(std::string(INDENT) + "アプリケーションローダー: ", state.apploader_path);
  with_path(std::string(INDENT) + "メインプログラム: ", state.main_program_path);
  text("");
  text("ベースディレクトリ:");
  with_path(INDENT, state.base_directory);
  text("");
  text("出力ファイル:");
  with_path(INDENT, state.output_path);
  text(std::string(INDENT) + "最大出力: " + (state.maximise_image ? "はい" : "いいえ"));
  return lines;
}

bool is_long_name(const char* name) { return std::strlen(name) > LONG_NAME_LIMIT; }

TreeMeasure measure_tree(const SourceNode* root, void (*each_node)()) {
  TreeMeasure measure{0, false};
  walk_source_tree(root, [&](const SourceNode& node) {
    if (each_node) each_node();
    if (is_long_name(node.name)) measure.has_long_names = true;
    measure.total_data_size += node.size;
  });
  return measure;
}

namespace {

std::string error_code_note(uint16_t code) {
  char note[32];
  std::snprintf(note, sizeof(note), "\n(エラーコード %u)", unsigned(code));
  return note;
}

}  // namespace

ShownText output_clash_message(const char* input_label, const std::string& input_path) {
  return ShownText{std::string("出力ファイルが") + input_label + " '", input_path,
                   "' と同じファイルです。別の出力ファイルを選んで下さい。"};
}

ShownText prepare_failure_message(uint16_t code, const BuildSettings& settings,
                                  const std::string& error_path) {
  ShownText m;
  const bool main_program = error_path == settings.main_program_path;
  switch (code) {
    case BUILD_ERR_NO_MEMORY:
      m.before = "メモリが不足しています。";
      break;
    case BUILD_ERR_CREATE_OUTPUT:
      m = ShownText{"出力ファイル '", settings.output_path, "' を作成できません。"};
      break;
    case BUILD_ERR_OPEN_INPUT:
      if (!main_program) {
        m = ShownText{"アプリケーションローダー '", settings.apploader_path, "' を開けません。"};
      } else {
        m = ShownText{"メインプログラム '", settings.main_program_path, "' を開けません。"};
      }
      break;
    case BUILD_ERR_ENTER_BASE_DIRECTORY:
      m = ShownText{"ベースディレクトリ '", settings.base_directory, "' を開けません。"};
      break;
    case BUILD_ERR_ENUMERATE:
      if (error_path.empty() || error_path == settings.base_directory) {
        m = ShownText{"ベースディレクトリ '", settings.base_directory,
                      "' の中に読み取れないフォルダがあります。"};
      } else {
        m = ShownText{"フォルダ '", error_path, "' を読み取れません。"};
      }
      break;
    case BUILD_ERR_TABLE_TOO_LARGE:
      m.before =
          "ベースディレクトリのファイルとフォルダが多すぎます。"
          "(最大65535項目、ファイル名の合計は65535バイトまで)";
      break;
    case BUILD_ERR_DATA_TOO_LARGE:
      m.before = "ベースディレクトリのデータがISOに収まりません。(4GB以上のファイルがあります)";
      break;
    case BUILD_ERR_PATH_TOO_LONG:
      m.before = "ベースディレクトリの中に259バイトを超えるパスのフォルダがあります。";
      break;
    case BUILD_ERR_OUTPUT_IS_INPUT:
      if (error_path == settings.apploader_path) {
        m = output_clash_message("アプリケーションローダー", settings.apploader_path);
      } else if (main_program) {
        m = output_clash_message("メインプログラム", settings.main_program_path);
      } else {
        m = ShownText{"出力ファイルがベースディレクトリ '", settings.base_directory,
                      "' の中にあります。別の出力ファイルを選んで下さい。"};
      }
      break;
    case BUILD_ERR_NOT_REGULAR_FILE:
      m = ShownText{"'", error_path, "' は通常のファイルではありません。"};
      break;
    default:
      m.before = "ISOの作成を準備できませんでした。";
      break;
  }
  m.after += error_code_note(code);
  return m;
}

// ---------------------------------------------------------------------------
// File chooser
// ---------------------------------------------------------------------------

bool append_default_extension(char* buffer, size_t capacity, const char* extension) {
  size_t name_length = std::strlen(buffer);
  size_t extension_length = std::strlen(extension);
  if (extension_length == 0) return true;
  if (name_length >= extension_length &&
      std::memcmp(buffer + name_length - extension_length, extension, extension_length) == 0) {
    return true;
  }
  if (name_length + extension_length + 1 > capacity) return false;
  std::memcpy(buffer + name_length, extension, extension_length + 1);
  return true;
}

// ---------------------------------------------------------------------------
// Write progress dialog
// ---------------------------------------------------------------------------

uint32_t stage_bar_position(int percent) {
  if (percent < 0) return 0;
  uint32_t position = uint32_t(percent) * 5;
  return position > PROGRESS_BAR_RANGE ? PROGRESS_BAR_RANGE : position;
}

uint32_t overall_bar_position(uint32_t completed_bytes, uint32_t stage_bytes,
                              uint32_t total_data_size) {
  uint32_t bytes_per_percent = total_data_size / 100;
  if (bytes_per_percent == 0) bytes_per_percent = 1;
  // The sum and the product are taken in 64 bits: in 32 bits they wrap for
  // small totals and the bar would jump back to the start.
  uint64_t done = uint64_t(completed_bytes) + stage_bytes;
  uint64_t position = done / bytes_per_percent * 5;
  return position > PROGRESS_BAR_RANGE ? PROGRESS_BAR_RANGE : uint32_t(position);
}

std::string data_size_text(uint32_t bytes) {
  char text[32];
  std::snprintf(text, sizeof(text), "%.2f Mb", double(bytes) / 1048576.0);
  return text;
}

namespace {

// Length of the longest prefix of at most limit bytes that ends on a
// character boundary.
size_t cp932_prefix_length(const std::string& text, size_t limit) {
  size_t i = 0;
  while (i < text.size()) {
    size_t width = host::is_cp932_lead_byte(static_cast<unsigned char>(text[i])) && i + 1 < text.size() ? 2 : 1;
    if (i + width > limit) break;
    i += width;
  }
  return i;
}

}  // namespace

std::string cp932_log_line(int hour, int minute, int second, const std::string& text) {
  char stamp[32];
  std::snprintf(stamp, sizeof(stamp), "%02d:%02d:%02d      ", hour, minute, second);
  std::string line = std::string(stamp) + text;
  line.resize(cp932_prefix_length(line, LOG_LINE_LIMIT));
  return line;
}

ShownText log_text_parts(const std::string& text) {
  size_t prefix = std::strlen(BUILDER_LOG_ADDING_FILE_PREFIX);
  if (text.size() > prefix && text.compare(0, prefix, BUILDER_LOG_ADDING_FILE_PREFIX) == 0 &&
      text.back() == '\'') {
    return ShownText{BUILDER_LOG_ADDING_FILE_PREFIX, text.substr(prefix, text.size() - prefix - 1), "'"};
  }
  return japanese_text(text);
}

void repaint_gate_reset(RepaintGate* gate) { *gate = RepaintGate{0, 0, 0, false}; }

bool repaint_due(RepaintGate* gate, uint32_t stage_position, uint32_t overall_position,
                 uint32_t now_ms) {
  bool moved = !gate->painted_once || stage_position != gate->stage_position ||
               overall_position != gate->overall_position;
  // Unsigned difference: correct across the tick counter's wrap.
  bool waited = now_ms - gate->last_repaint_ms >= REPAINT_INTERVAL_MS;
  if (!moved && !waited) return false;
  gate->stage_position = stage_position;
  gate->overall_position = overall_position;
  gate->last_repaint_ms = now_ms;
  gate->painted_once = true;
  return true;
}

ShownText write_failure_message(uint16_t code, const std::string& last_log, const std::string& error_path) {
  static const char HEADLINE[] = "ISOの書き込みに失敗しました。";
  ShownText file = log_text_parts(last_log);
  const bool names_file = !file.path.empty();
  auto about_file = [&](const char* with_name, const char* without_name) {
    return names_file ? ShownText{"ファイル '", file.path, with_name} : japanese_text(without_name);
  };
  ShownText cause;
  switch (code) {
    case BUILD_ERR_NO_MEMORY:
      cause = japanese_text("メモリが不足しています。");
      break;
    case BUILD_ERR_OPEN_INPUT:
      cause = about_file("' を開けません。", "コピーするファイルを開けません。");
      break;
    case BUILD_ERR_READ:
      cause = about_file("' の読み込みに失敗しました。", "ファイルの読み込みに失敗しました。");
      break;
    case BUILD_ERR_WRITE:
      cause = japanese_text(
          "出力ファイルへの書き込みに失敗しました。ディスクの空き容量を確認して下さい。");
      break;
    case BUILD_ERR_SOURCE_CHANGED:
      cause = about_file("' のサイズが書き込み中に変わりました。",
                         "ファイルのサイズが書き込み中に変わりました。");
      break;
    case BUILD_ERR_OUTPUT_IN_USE:
      cause = ShownText{"出力ファイルが他のプログラムで使用中のため置き換えられません。"
                        "完成したイメージは '",
                        error_path, "' に保存しました。"};
      break;
    default:
      break;
  }
  ShownText m = cause;
  m.before = std::string(HEADLINE) + (cause.joined().empty() ? "" : "\n") + cause.before;
  m.after += error_code_note(code);
  return m;
}
