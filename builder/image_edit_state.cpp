// The edit engine's one state: its reset, options, callbacks and last error
// with the path it is about, the allocator and the write hook every part of
// the engine goes through, and the codes' texts.
#include <cstdlib>
#include <utility>

#include "builder/image_edit_state.h"
#include "builder/image_edit_testing.h"

EditState g_edit;

bool edit_fail(uint16_t code) { return edit_fail_on_path(code, ""); }

bool edit_fail_on_path(uint16_t code, const std::string& path) {
  g_edit.last_error = code;
  g_edit.error_path = path;
  g_edit.name_problem = nullptr;
  return false;
}

bool edit_fail_on_name(const std::string& path, const char* problem) {
  edit_fail_on_path(EDIT_ERR_BAD_NAME, path);
  g_edit.name_problem = problem;
  return false;
}

void* edit_alloc(size_t size) {
  void* p = std::calloc(1, size == 0 ? 1 : size);
  if (!p) g_edit.last_error = BUILD_ERR_NO_MEMORY;
  return p;
}

void builder_edit_testing_set_write_hook(EditWriteHook hook) { g_edit.write_hook = hook; }

bool edit_write_allowed() {
  if (g_edit.write_hook && !g_edit.write_hook(g_edit.writes++)) return edit_fail(BUILD_ERR_WRITE);
  return true;
}

bool edit_read_image(uint64_t offset, void* out, size_t n) {
  return host::file_seek(g_edit.image, offset) && host::file_read(g_edit.image, out, n);
}

bool builder_edit_reset() {
  host::file_close(g_edit.image);
  // Callbacks and the test hook stay, as a window registers them once.
  EditState fresh;
  fresh.on_stage = g_edit.on_stage;
  fresh.on_step = g_edit.on_step;
  fresh.on_progress = g_edit.on_progress;
  fresh.write_hook = g_edit.write_hook;
  g_edit = std::move(fresh);
  return true;
}

void builder_edit_set_callbacks(EditStageFn on_stage, EditStepFn on_step, EditProgressFn on_progress) {
  g_edit.on_stage = on_stage;
  g_edit.on_step = on_step;
  g_edit.on_progress = on_progress;
}

void builder_edit_set_allow_oversize(bool enabled) { g_edit.allow_oversize = enabled; }

uint16_t builder_edit_last_error() { return g_edit.last_error; }
const char* builder_edit_last_error_path() {
  return g_edit.last_error == BUILD_OK ? "" : g_edit.error_path.c_str();
}

const char* builder_edit_last_name_problem() {
  return g_edit.last_error == EDIT_ERR_BAD_NAME ? g_edit.name_problem : nullptr;
}

const EditPlan* builder_edit_get_plan() { return g_edit.have_plan ? &g_edit.plan : nullptr; }
size_t builder_edit_step_count() { return g_edit.steps.size(); }
const EditStep* builder_edit_step(size_t index) {
  return index < g_edit.steps.size() ? &g_edit.steps[index].step : nullptr;
}
uint64_t builder_edit_content_end() { return g_edit.content_end; }
bool builder_edit_table_switched() { return g_edit.table_switched; }

const char* builder_edit_error_text(uint16_t code) {
  switch (code) {
    case BUILD_OK: return "エラーはありません";
    case BUILD_ERR_NO_MEMORY: return "メモリが不足しています";
    case BUILD_ERR_OPEN_INPUT: return "ファイルを開くことができません";
    case BUILD_ERR_READ: return "ファイルの読み込みに失敗しました";
    case BUILD_ERR_WRITE: return "イメージへの書き込みに失敗しました";
    case BUILD_ERR_TABLE_TOO_LARGE: return "ファイル構造が大きすぎます";
    case BUILD_ERR_DATA_TOO_LARGE: return "データが4GBを超えます";
    case BUILD_ERR_SOURCE_CHANGED: return "ファイルのサイズが変更されました";
    case BUILD_ERR_NOT_REGULAR_FILE: return "通常のファイルではありません";
    case EDIT_ERR_CONTAINER: return "圧縮形式のイメージは編集できません。先にISOに変換して下さい";
    case EDIT_ERR_NOT_A_DISC: return "ゲームキューブのディスクイメージではありません";
    case EDIT_ERR_BAD_TABLE: return "ファイル構造が壊れています";
    case EDIT_ERR_NO_SUCH_ENTRY: return "指定されたファイルまたはフォルダがありません";
    case EDIT_ERR_WRONG_KIND: return "ファイルとフォルダの種類が違います";
    case EDIT_ERR_BAD_NAME: return "ファイル名が不正です";
    case EDIT_ERR_NAME_TAKEN: return "同じ名前のファイルまたはフォルダが既にあります";
    case EDIT_ERR_OVERSIZE: return "ディスクの容量を超えます";
    case EDIT_ERR_OPEN_FOR_WRITING: return "イメージを書き込み用に開くことができません";
    case EDIT_ERR_IMAGE_CHANGED: return "イメージが他のプログラムによって変更されました";
    case EDIT_ERR_NOT_READY: return "編集の準備ができていません";
  }
  return "不明なエラーです";
}
