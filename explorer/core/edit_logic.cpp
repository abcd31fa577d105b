#include "explorer/core/edit_logic.h"

#include <cstdio>
#include <cstring>

#include "container/container.h"
#include "disc/disc_format.h"
#include "host/host_fs.h"
#include "host/host_text.h"
#include "reader/reader.h"

const char CAPTION_REMOVE_CONFIRMATION[] = "削除の確認";
const char EDIT_CAPTION_WRITING[] = "ISOに書き込み中...";

namespace {

const char TEXT_NO_IMAGE_OPEN[] = "ISOが開かれていません。先にISOを開いて下さい。";
const char TEXT_READ_ONLY[] = "ISOファイルは読み取り専用です。編集するには読み取り専用の属性を外して下さい。";
const char TEXT_SELECT_FILE[] = "置換するファイルを一つ選択して下さい。";
const char TEXT_SELECT_ROWS[] = "削除するファイルまたはフォルダを選択して下さい。";
const char TEXT_SELECT_ONE[] = "名前を変更するファイルまたはフォルダを一つ選択して下さい。";
const char TEXT_EDITED_THEN_FAILED[] =
    "ファイルは編集されましたが、その後の書き込み (ヘッダーまたは空き領域の消去) に失敗しました。\n";

const char TEXT_BAD_GAME_CODE[] = "ゲーム ID は英数字3文字で入力して下さい。";
const char TEXT_BAD_MAKER_CODE[] = "開発元 ID は英数字2文字で入力して下さい。";
const char TEXT_BAD_GAME_NAME[] = "ゲーム名は64バイト以内で入力して下さい。";
const char TEXT_BAD_DISC_NUMBER[] = "ディスク番号は0から255までの数で入力して下さい。";
const char TEXT_BAD_REVISION[] = "リビジョンは0から255までの数で入力して下さい。";

// Edits larger than this show the copy dialog while they write.
constexpr uint64_t PROGRESS_THRESHOLD = 8u << 20;

EditAction action(EditActionKind kind, const std::string& image_path) {
  EditAction a;
  a.kind = kind;
  a.image_path = image_path;
  a.header = EditHeaderFields();
  return a;
}

int entries_at_and_below(const FstNode* node) {
  int n = 1;
  for (const FstNode* child = node->firstChild; child; child = child->next) n += entries_at_and_below(child);
  return n;
}

// The last name of an in-image path.
std::string last_name(const std::string& image_path) {
  size_t slash = image_path.rfind('/');
  return slash == std::string::npos ? image_path : image_path.substr(slash + 1);
}

bool is_code_character(char c) {
  return (c >= '0' && c <= '9') || (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z');
}

bool is_code(const std::string& text, size_t length) {
  if (text.size() != length) return false;
  for (char c : text)
    if (!is_code_character(c)) return false;
  return true;
}

bool byte_number(const std::string& text, uint8_t* value) {
  if (text.empty() || text.size() > 3) return false;
  unsigned n = 0;
  for (char c : text) {
    if (c < '0' || c > '9') return false;
    n = n * 10 + unsigned(c - '0');
  }
  if (n > 255) return false;
  *value = uint8_t(n);
  return true;
}

bool refuse(const char* text, std::string* problem) {
  *problem = text;
  return false;
}

// A header text field's bytes up to the first NUL.
std::string field_text(const uint8_t* field, size_t size) {
  size_t n = 0;
  while (n < size && field[n]) ++n;
  return std::string(reinterpret_cast<const char*>(field), n);
}

bool is_in_image_path_code(uint16_t code) {
  return code == EDIT_ERR_NO_SUCH_ENTRY || code == EDIT_ERR_WRONG_KIND || code == EDIT_ERR_BAD_NAME ||
         code == EDIT_ERR_NAME_TAKEN;
}

ExtractionMessage engine_failure() {
  return edit_error_message(builder_edit_last_error(), builder_edit_last_error_path());
}

bool queue(const EditAction& a) {
  switch (a.kind) {
    case EDIT_REPLACE: return builder_edit_replace(a.image_path.c_str(), a.host_path.c_str());
    case EDIT_ADD: return builder_edit_add(a.image_path.c_str(), a.host_path.c_str());
    case EDIT_REMOVE: return builder_edit_remove(a.image_path.c_str());
    case EDIT_RENAME: return builder_edit_rename(a.image_path.c_str(), a.new_name.c_str());
    case EDIT_HEADER: return builder_edit_set_header(&a.header);
  }
  return false;
}

}  // namespace

EditSelection tree_folder_selection(const std::string& tree_path) {
  size_t slash = tree_path.rfind('/');
  if (tree_path == "/" || slash == std::string::npos) return {"/", {}, "/"};
  return {slash == 0 ? "/" : tree_path.substr(0, slash), {{tree_path.substr(slash + 1), true}}, tree_path};
}

EditImageProblem edit_image_problem() {
  const char* path = IsoIsMounted() ? IsoGetImagePath() : nullptr;
  if (!path) return EditImageProblem::NoImage;
  uint8_t first[8] = {};
  size_t got = 0;
  ContainerKind kind = CONTAINER_PLAIN;
  if (host::File* f = host::file_open_read(path)) {
    host::file_read_some(f, first, sizeof first, &got);
    host::file_close(f);
  }
  if (container_kind_from_magic(first, got, &kind) && kind != CONTAINER_PLAIN) return EditImageProblem::Container;
  if (host::is_read_only_file(path)) return EditImageProblem::ReadOnly;
  return EditImageProblem::None;
}

std::string edit_precondition_message(EditCommand command, EditImageProblem image, const EditSelection& selection) {
  switch (image) {
    case EditImageProblem::NoImage: return TEXT_NO_IMAGE_OPEN;
    case EditImageProblem::Container: return builder_edit_error_text(EDIT_ERR_CONTAINER);
    case EditImageProblem::ReadOnly: return TEXT_READ_ONLY;
    case EditImageProblem::None: break;
  }
  switch (command) {
    case EditCommand::Replace:
      if (selection.rows.size() != 1 || selection.rows[0].is_folder) return TEXT_SELECT_FILE;
      break;
    case EditCommand::Remove:
      if (selection.rows.empty()) return TEXT_SELECT_ROWS;
      break;
    case EditCommand::Rename:
      if (selection.rows.size() != 1) return TEXT_SELECT_ONE;
      break;
    case EditCommand::Add:
    case EditCommand::Header:
      break;
  }
  return std::string();
}

std::string host_base_name(const std::string& host_path) {
  size_t start = 0;
  for (size_t i = 0; i < host_path.size(); ++i) {
    const unsigned char c = static_cast<unsigned char>(host_path[i]);
    if (host::is_host_lead_byte(c) && i + 1 < host_path.size()) {
      ++i;
    } else if (c == '/' || c == static_cast<unsigned char>(host::PATH_SEPARATOR)) {
      start = i + 1;
    }
  }
  return host_path.substr(start);
}

std::vector<EditAction> replace_actions(const EditSelection& selection, const std::string& host_file) {
  if (selection.rows.empty()) return {};
  EditAction a = action(EDIT_REPLACE, row_image_path(selection.folder, selection.rows[0].name));
  a.host_path = host_file;
  return {a};
}

std::vector<EditAction> add_actions(const EditSelection& selection, const std::vector<std::string>& host_files) {
  std::vector<EditAction> actions;
  for (const std::string& file : host_files) {
    const std::string name = host::disc_name_from_host_name(host_base_name(file));
    EditAction a = action(EDIT_ADD, row_image_path(selection.shown, name));
    a.host_path = file;
    actions.push_back(a);
  }
  return actions;
}

std::vector<EditAction> remove_actions(const EditSelection& selection) {
  std::vector<EditAction> actions;
  for (const EditRow& row : selection.rows) {
    actions.push_back(action(EDIT_REMOVE, row_image_path(selection.folder, row.name)));
  }
  return actions;
}

std::vector<EditAction> rename_actions(const EditSelection& selection, const std::string& new_name) {
  if (selection.rows.empty()) return {};
  EditAction a = action(EDIT_RENAME, row_image_path(selection.folder, selection.rows[0].name));
  a.new_name = new_name;
  return {a};
}

std::vector<EditAction> header_actions(const EditHeaderFields& fields) {
  EditAction a = action(EDIT_HEADER, "");
  a.header = fields;
  return {a};
}

int entries_to_remove(const EditSelection& selection) {
  int n = 0;
  for (const EditRow& row : selection.rows) {
    const FstNode* node = IsoFindEntry(row_image_path(selection.folder, row.name).c_str());
    n += node ? entries_at_and_below(node) : 1;
  }
  return n;
}

std::string remove_confirmation_text(int rows, int entries) {
  char text[160];
  if (entries <= rows) {
    std::snprintf(text, sizeof text, "%d 個の項目をISOから削除しますか？", rows);
  } else {
    std::snprintf(text, sizeof text, "%d 個の項目 (フォルダの中身を含めて %d 個) をISOから削除しますか？", rows,
                  entries);
  }
  return text;
}

ShownText rename_refusal(const std::string& image_path, const std::string& entry_path, const std::string& new_name) {
  if (builder_edit_name_problem(new_name.c_str())) return japanese_text(builder_edit_error_text(EDIT_ERR_BAD_NAME));
  ShownText refusal;
  builder_edit_reset();
  if (!builder_edit_open(image_path.c_str()) || !builder_edit_rename(entry_path.c_str(), new_name.c_str())) {
    refusal = engine_failure().text;
  }
  builder_edit_reset();
  return refusal;
}

bool rename_changes_nothing(const EditSelection& selection, const std::string& new_name) {
  return !selection.rows.empty() && selection.rows[0].name == new_name;
}

HeaderTexts header_texts_of_mounted_image() {
  HeaderTexts t{"", "", "", "0", "0", 0};
  const uint8_t* block = IsoIsMounted() ? IsoGetBootBlock() : nullptr;
  if (!block) return t;
  const DiscHeader* h = reinterpret_cast<const DiscHeader*>(block);
  t.game_code = field_text(reinterpret_cast<const uint8_t*>(h->game_code), 3);
  t.region_letter = h->game_code[3];
  t.maker_code = field_text(reinterpret_cast<const uint8_t*>(h->maker_code), sizeof h->maker_code);
  t.game_name = field_text(reinterpret_cast<const uint8_t*>(h->game_name), sizeof h->game_name);
  t.disc_number = std::to_string(block[DISC_NUMBER_OFFSET]);
  t.revision = std::to_string(block[DISC_REVISION_OFFSET]);
  return t;
}

std::vector<RegionChoice> region_choices(char image_letter) {
  std::vector<RegionChoice> choices = {
      {"日本 (J)", REGION_LETTER_JAPAN}, {"北米 (E)", REGION_LETTER_USA}, {"欧州 (U)", REGION_LETTER_EUROPE}};
  if (image_letter != REGION_LETTER_JAPAN && image_letter != REGION_LETTER_USA && image_letter != REGION_LETTER_EUROPE) {
    // The image's own letter stays choosable, so that an unchanged dialog
    // changes nothing; a byte that is no letter is shown by its number.
    char text[32];
    const unsigned char c = static_cast<unsigned char>(image_letter);
    if (c > 0x20 && c < 0x7F) {
      std::snprintf(text, sizeof text, "その他 (%c)", image_letter);
    } else {
      std::snprintf(text, sizeof text, "その他 (0x%02X)", c);
    }
    choices.push_back({text, image_letter});
  }
  return choices;
}

bool header_fields_from_texts(const HeaderTexts& shown, const HeaderTexts& typed, EditHeaderFields* f,
                              std::string* problem) {
  *f = EditHeaderFields();
  if (typed.game_code != shown.game_code) {
    if (!is_code(typed.game_code, 3)) return refuse(TEXT_BAD_GAME_CODE, problem);
    f->set_game_code = true;
    std::memcpy(f->game_code, typed.game_code.data(), 3);
  }
  if (typed.maker_code != shown.maker_code) {
    if (!is_code(typed.maker_code, 2)) return refuse(TEXT_BAD_MAKER_CODE, problem);
    f->set_maker_code = true;
    std::memcpy(f->maker_code, typed.maker_code.data(), 2);
  }
  if (typed.game_name != shown.game_name) {
    if (typed.game_name.size() > sizeof f->game_name) return refuse(TEXT_BAD_GAME_NAME, problem);
    f->set_game_name = true;
    std::memcpy(f->game_name, typed.game_name.data(), typed.game_name.size());
  }
  if (typed.region_letter != shown.region_letter) {
    f->set_region = true;
    f->region_letter = typed.region_letter;
  }
  if (typed.disc_number != shown.disc_number) {
    if (!byte_number(typed.disc_number, &f->disc_number)) return refuse(TEXT_BAD_DISC_NUMBER, problem);
    f->set_disc_number = true;
  }
  if (typed.revision != shown.revision) {
    if (!byte_number(typed.revision, &f->revision)) return refuse(TEXT_BAD_REVISION, problem);
    f->set_revision = true;
  }
  return true;
}

bool header_fields_set_any(const EditHeaderFields& f) {
  return f.set_game_code || f.set_maker_code || f.set_game_name || f.set_region || f.set_disc_number ||
         f.set_revision;
}

ExtractionMessage edit_error_message(uint16_t code, const std::string& path) {
  std::string text = builder_edit_error_text(code);
  if (path.empty()) return {japanese_text(text), CAPTION_ERROR, MessageIcon::Error};
  // In-image paths are code page 932 like the text; host paths are in the
  // system's code page.
  if (is_in_image_path_code(code)) return {japanese_text(text + "\n\n" + path), CAPTION_ERROR, MessageIcon::Error};
  return {ShownText{text + "\n\n", path, ""}, CAPTION_ERROR, MessageIcon::Error};
}

bool plan_edit(const std::string& image_path, const std::vector<EditAction>& actions, ExtractionMessage* refusal) {
  builder_edit_reset();
  bool ok = builder_edit_open(image_path.c_str());
  for (size_t i = 0; ok && i < actions.size(); ++i) ok = queue(actions[i]);
  ok = ok && builder_edit_plan();
  if (!ok) {
    *refusal = engine_failure();
    builder_edit_reset();
  }
  return ok;
}

uint64_t planned_bytes() {
  const EditPlan* plan = builder_edit_get_plan();
  return plan ? plan->bytes_to_write : 0;
}

bool edit_shows_progress(uint64_t bytes_to_write) { return bytes_to_write >= PROGRESS_THRESHOLD; }

bool apply_planned_edit(EditProgressFn on_progress, ExtractionMessage* failure) {
  builder_edit_set_callbacks(nullptr, nullptr, on_progress);
  bool ok = builder_edit_apply();
  if (!ok) {
    *failure = engine_failure();
    if (builder_edit_table_switched()) failure->text.before = TEXT_EDITED_THEN_FAILED + failure->text.before;
  }
  builder_edit_reset();
  return ok;
}

EditRestore restore_after_edit(EditCommand command, const EditSelection& selection,
                               const std::vector<EditAction>& actions) {
  EditRestore r{selection.folder, {}};
  switch (command) {
    case EditCommand::Replace:
      for (const EditRow& row : selection.rows) r.rows.push_back(row.name);
      break;
    case EditCommand::Header:
      r.folder = selection.shown;
      if (selection.shown == selection.folder) {
        for (const EditRow& row : selection.rows) r.rows.push_back(row.name);
      }
      break;
    case EditCommand::Add:
      r.folder = selection.shown;
      for (const EditAction& a : actions) r.rows.push_back(last_name(a.image_path));
      break;
    case EditCommand::Rename:
      for (const EditAction& a : actions) r.rows.push_back(a.new_name);
      break;
    case EditCommand::Remove:
      break;
  }
  return r;
}

std::string existing_folder(const std::string& folder) {
  std::string f = folder.empty() ? "/" : folder;
  while (f != "/" && !listed_directory(f)) {
    size_t slash = f.rfind('/');
    f = slash == 0 || slash == std::string::npos ? "/" : f.substr(0, slash);
  }
  return f;
}
