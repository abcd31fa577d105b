// trelvik-cli edit: parses the command line, hands the actions to the edit
// engine in order and prints its plan or its log.
#include "cli/trelvik_edit.h"

#include <cctype>
#include <cstdio>
#include <cstring>

#include "cli/command_line.h"
#include "cli/console_text.h"
#include "cli/trelvik_options.h"
#include "cli/trelvik_rebuild.h"
#include "container/codec_versions.h"
#include "host/host_fs.h"
#include "host/host_text.h"

namespace {

// The options, actions first, in the order of the help text.
enum {
  E_REPLACE, E_ADD, E_REMOVE, E_RENAME, E_FROM_FOLDER, E_GAME_ID, E_MAKER_ID, E_GAME_NAME, E_REGION,
  E_DISC_NUMBER, E_REVISION, E_DRY_RUN, E_ALLOW_OVERSIZE, E_QUIET, E_COUNT
};
const OptionForm kForms[E_COUNT] = {
    {"--replace", 0, 2, true},     {"--add", 0, 2, true},         {"--remove", 0, 1, true},      {"--rename", 0, 2, true},
    {"--from-folder", 0, 1, true}, {"--game-id", 'i', 1},         {"--maker-id", 0, 1},          {"--game-name", 't', 1},
    {"--region", 0, 1},            {"--disc-number", 0, 1},       {"--revision", 0, 1},          {"--dry-run", 'n', 0},
    {"--allow-oversize", 0, 0},    {"--quiet", 'q', 0},
};
std::string EditOptions::* const kTexts[] = {&EditOptions::game_id,   &EditOptions::maker_id,
                                             &EditOptions::game_name, &EditOptions::region,
                                             &EditOptions::disc_number, &EditOptions::revision};
bool EditOptions::* const kFlags[] = {&EditOptions::dry_run, &EditOptions::allow_oversize, &EditOptions::quiet};

std::string hex(uint64_t value) {
  char text[24];
  std::snprintf(text, sizeof text, "0x%08llX", static_cast<unsigned long long>(value));
  return text;
}

bool byte_number(const char* what, const std::string& text, uint8_t* value, std::string* error) {
  unsigned long n = 0;
  bool ok = !text.empty() && text.size() <= 3;
  for (char c : text) ok = ok && std::isdigit(static_cast<unsigned char>(c));
  if (ok) n = std::stoul(text);
  if (!ok || n > 255) {
    *error = std::string(what) + " takes a number from 0 to 255, not " + quoted(text);
    return false;
  }
  *value = uint8_t(n);
  return true;
}

}  // namespace

const char* trelvik_edit_usage() {
  return
      "Usage: trelvik-cli edit IMAGE ACTION... [options]\n"
      "Edits a plain GameCube disc image in place. The actions apply in the\n"
      "order given; when one cannot be done, nothing is written. PATH is the\n"
      "path inside the image ('/', as ombrel-cli ls prints it); FILE and DIR\n"
      "are on this computer.\n"
      "\n"
      "Actions:\n"
      "  --replace PATH FILE    the file's data from FILE\n"
      "  --add PATH FILE        a new file, last in its folder (missing folders\n"
      "                         are made)\n"
      "  --remove PATH          a file, or a folder with everything below it\n"
      "  --rename PATH NEWNAME  a file or folder, within its folder\n"
      "  --from-folder DIR      each file under DIR replaces the file at its path\n"
      "                         in the image, or is added\n"
      "Header fields (as trelvik-cli takes them):\n"
      "  -i, --game-id ID       --maker-id MK    -t, --game-name NAME\n"
      "  --region REGION        also a capital letter\n"
      "  --disc-number N        --revision N     0 to 255\n"
      "Other options:\n"
      "  -n, --dry-run          print the plan and write nothing\n"
      "  --allow-oversize       write content that passes a full disc\n"
      "  -q, --quiet            print only errors and warnings\n"
      "  -h, --help             show this text\n"
      "\n"
      "New names follow the builder's rules and may not repeat a name in their\n"
      "folder, ignoring ASCII case. New data goes into the first gap of zeros\n"
      "or filler that fits, else after the last used byte, keeping a replaced\n"
      "file's alignment class. Containers are refused: convert them first\n"
      "(ombrel-cli convert). Safe to interrupt: the image holds the old files or\n"
      "the new ones, each whole.\n"
      "\n"
      "Exit status: 0 success, 1 the edit failed or was refused (nothing\n"
      "written), 2 a wrong command line.\n";
}

bool parse_edit_args(const std::vector<std::string>& args, EditOptions* options, std::string* error) {
  *options = EditOptions();
  CommandLine line;
  if (!parse_command_line(args, kForms, E_COUNT, &line, error, "trelvik-cli edit --help")) return false;
  options->help = line.help;
  options->version = line.version;
  if (line.help || line.version) return true;
  for (const GivenOption& g : line.options) {
    if (g.option <= E_FROM_FOLDER) {
      const EditActionKind kind = g.option == E_FROM_FOLDER ? EDIT_REPLACE : EditActionKind(g.option - E_REPLACE);
      options->actions.push_back({kind, g.option == E_FROM_FOLDER, g.value, g.second});
    } else if (g.option < E_DRY_RUN) {
      options->*kTexts[g.option - E_GAME_ID] = g.value;
    } else {
      options->*kFlags[g.option - E_DRY_RUN] = true;
    }
  }
  if (line.operands.empty() || line.operands[0].empty()) {
    *error = "no image given (see trelvik-cli edit --help)";
    return false;
  }
  if (line.operands.size() > 1) {
    *error = "one image at a time: " + quoted(line.operands[0]) + " and " + quoted(line.operands[1]);
    return false;
  }
  options->image = line.operands[0];
  const bool header = !options->game_id.empty() || !options->maker_id.empty() || !options->game_name.empty() ||
                      !options->region.empty() || !options->disc_number.empty() || !options->revision.empty();
  if (options->actions.empty() && !header) {
    *error = "nothing to do: give an action or a header field (see trelvik-cli edit --help)";
    return false;
  }
  return true;
}

bool edit_header_fields(const EditOptions& o, EditHeaderFields* f, bool* any, std::vector<std::string>* warnings,
                        std::string* error) {
  *f = EditHeaderFields();
  // A region in words, or any capital letter as the fourth game-code byte.
  char letter = 0;
  uint16_t index = 0;
  if (region_index_for_name(o.region, &index)) {
    letter = region_letter(index);
  } else if (o.region.size() == 1 && std::isupper(static_cast<unsigned char>(o.region[0]))) {
    letter = o.region[0];
  } else if (!o.region.empty()) {
    *error = "unknown region " + quoted(o.region) + ": use japan, usa, europe or a capital letter";
    return false;
  }
  HeaderOptionFields typed;
  if (!header_option_fields(o.game_id, o.maker_id, o.game_name, o.region, letter, &typed, warnings, error))
    return false;
  // A shorter code is padded with zeros, as the wizard stores it.
  f->set_game_code = !typed.game_code.empty();
  f->set_maker_code = !typed.maker_code.empty();
  f->set_game_name = !typed.game_name.empty();
  f->set_region = typed.region_letter != 0;
  f->region_letter = typed.region_letter;
  std::memcpy(f->game_code, typed.game_code.data(), typed.game_code.size());
  std::memcpy(f->maker_code, typed.maker_code.data(), typed.maker_code.size());
  std::memcpy(f->game_name, typed.game_name.data(), typed.game_name.size());
  f->set_disc_number = !o.disc_number.empty();
  f->set_revision = !o.revision.empty();
  if ((f->set_disc_number && !byte_number("--disc-number", o.disc_number, &f->disc_number, error)) ||
      (f->set_revision && !byte_number("--revision", o.revision, &f->revision, error)))
    return false;
  *any = f->set_game_code || f->set_maker_code || f->set_game_name || f->set_region || f->set_disc_number ||
         f->set_revision;
  return true;
}

std::string edit_step_text(const EditStep& s, bool planned) {
  const std::string path = quoted(cp932_for_display(s.path));
  const std::string length = std::to_string(s.length) + (s.length == 1 ? " byte" : " bytes");
  std::string where = s.placed ? " at " + hex(s.data_offset) : " (not written: a later action replaces or removes it)";
  switch (s.kind) {
    case EDIT_REPLACE:
      return std::string(planned ? "would replace " : "replaced ") + path + ": " + length + where +
             (s.previous_length || s.previous_offset ? " (was at " + hex(s.previous_offset) + ", " +
                                                           std::to_string(s.previous_length) + " bytes)"
                                                     : "");
    case EDIT_ADD:
      return std::string(planned ? "would add " : "added ") + path + ": " + length + where +
             (s.folders_created ? "; " + std::to_string(s.folders_created) +
                                      (s.folders_created == 1 ? " folder made" : " folders made")
                                : "");
    case EDIT_REMOVE:
      return std::string(planned ? "would remove " : "removed ") + path +
             (s.entries_removed > 1 ? " and the " + std::to_string(s.entries_removed - 1) + " entries below it" : "");
    case EDIT_RENAME:
      return std::string(planned ? "would rename " : "renamed ") + path + " to " + quoted(cp932_for_display(s.new_name));
    case EDIT_HEADER: {
      const EditHeaderFields& h = s.header;
      std::string fields;
      auto add = [&](const std::string& f) { fields += (fields.empty() ? "" : ", ") + f; };
      if (h.set_game_code) add("game code " + quoted(std::string(h.game_code, strnlen(h.game_code, 3))));
      if (h.set_region) add("region letter " + quoted(std::string(1, h.region_letter)));
      if (h.set_maker_code) add("maker ID " + quoted(std::string(h.maker_code, strnlen(h.maker_code, 2))));
      if (h.set_game_name) add("game name " + quoted(cp932_for_display(std::string(h.game_name, strnlen(h.game_name, 64)))));
      if (h.set_disc_number) add("disc number " + std::to_string(h.disc_number));
      if (h.set_revision) add("revision " + std::to_string(h.revision));
      return std::string(planned ? "would set " : "set ") + fields;
    }
  }
  return "";
}

std::string edit_error_text(uint16_t code, const std::string& path) {
  const std::string p = quoted(host_path_for_display(cp932_for_display(path)));
  std::string text;
  switch (code) {
    case BUILD_ERR_NO_MEMORY: text = "out of memory"; break;
    case BUILD_ERR_OPEN_INPUT: text = p + " cannot be opened"; break;
    case BUILD_ERR_READ: text = "reading " + p + " failed"; break;
    case BUILD_ERR_WRITE: text = "writing the image " + p + " failed (is the disk full?)"; break;
    case BUILD_ERR_ENTER_BASE_DIRECTORY: text = "the folder " + p + " cannot be entered"; break;
    case BUILD_ERR_ENUMERATE: text = "the folder " + p + " cannot be listed"; break;
    case BUILD_ERR_TABLE_TOO_LARGE: text = "the file system table would pass the format's limits"; break;
    case BUILD_ERR_DATA_TOO_LARGE:
      text = "the data does not fit in a disc image: a file of 4 GiB or more, or data beyond 4 GiB";
      if (!path.empty()) text += " (" + p + ")";
      break;
    case BUILD_ERR_SOURCE_CHANGED: text = "the file " + p + " changed size since the edit began; nothing of it was used"; break;
    case BUILD_ERR_NOT_REGULAR_FILE: text = p + " is not a regular file (a FIFO, socket or device)"; break;
    case EDIT_ERR_CONTAINER:
      text = p + " is a container, not a plain image: convert it first (ombrel-cli convert IMAGE OUT.gcm)";
      break;
    case EDIT_ERR_NOT_A_DISC: text = p + " is not a GameCube disc image"; break;
    case EDIT_ERR_BAD_TABLE: text = "the file system table of " + p + " lies outside the image or is damaged"; break;
    case EDIT_ERR_NO_SUCH_ENTRY: text = "the image has no " + p; break;
    case EDIT_ERR_WRONG_KIND:
      text = path == "/" ? std::string("the root cannot be removed or renamed")
                         : p + " is a file where a folder is needed, or a folder where a file is";
      break;
    case EDIT_ERR_BAD_NAME: text = "the name of " + p + " is not allowed"; break;
    case EDIT_ERR_NAME_TAKEN: text = p + " exists already (names are compared ignoring ASCII case)"; break;
    case EDIT_ERR_OVERSIZE: text = "the edited content would pass a full disc"; break;
    case EDIT_ERR_OPEN_FOR_WRITING: text = "the image " + p + " cannot be opened for writing"; break;
    case EDIT_ERR_IMAGE_CHANGED: text = "the image " + p + " changed while it was being edited"; break;
    case EDIT_ERR_NOT_READY: text = "the edit was not prepared"; break;
    default: text = "the edit failed"; break;
  }
  return text + " (builder code " + std::to_string(code) + ")";
}

// ---------------------------------------------------------------------------
// The command
// ---------------------------------------------------------------------------

namespace {

bool g_quiet = false;

void print_error(const std::string& text) { std::fprintf(stderr, "trelvik-cli: error: %s\n", text.c_str()); }

void on_step(const EditStep* step) {
  if (!g_quiet) std::printf("%s\n", edit_step_text(*step, false).c_str());
}

// The engine's refusal of one action, naming the action.
int refused(const EditCommandAction& a, const std::string& why) {
  const char* option = kForms[a.from_folder ? E_FROM_FOLDER : E_REPLACE + a.kind].long_name;
  print_error(std::string(option) + " " + quoted(a.first) + ": " + why + "; nothing was written");
  builder_edit_reset();
  return EXIT_TOOL_FAILED;
}

}  // namespace

int trelvik_edit_main(const std::vector<std::string>& args, const std::vector<std::string>& host_args) {
  EditOptions o, host;
  std::string error;
  if (!parse_edit_args(args, &o, &error)) {
    print_error(error);
    return EXIT_TOOL_USAGE;
  }
  if (o.help || o.version) {
    std::fputs(o.help ? trelvik_edit_usage() : version_text("trelvik-cli", codec_versions()).c_str(), stdout);
    return EXIT_TOOL_OK;
  }
  // Host paths as the host's file functions take them.
  if (!parse_edit_args(host_args, &host, &error) || host.actions.size() != o.actions.size()) host = o;
  g_quiet = o.quiet;

  // In-image paths and new names in code page 932.
  std::vector<std::string> first(o.actions.size()), second(o.actions.size());
  for (size_t i = 0; i < o.actions.size(); ++i) {
    const EditCommandAction& a = o.actions[i];
    first[i] = host.actions[i].first;
    second[i] = host.actions[i].second;
    if (a.from_folder) continue;
    if (!host::utf8_to_cp932(a.first, &first[i]) ||
        ((a.kind == EDIT_RENAME) && !host::utf8_to_cp932(a.second, &second[i]))) {
      print_error("the path or name in " + quoted(a.first) + " " + quoted(a.second) +
                  " has a character that code page 932 (Shift-JIS) cannot hold");
      return EXIT_TOOL_USAGE;
    }
  }
  EditHeaderFields fields;
  bool header = false;
  std::vector<std::string> warnings;
  if (!edit_header_fields(o, &fields, &header, &warnings, &error)) {
    print_error(error);
    return EXIT_TOOL_USAGE;
  }
  // Cut header fields are warned about even with --quiet.
  for (const std::string& w : warnings) std::fprintf(stderr, "trelvik-cli: warning: %s\n", w.c_str());

  builder_edit_reset();
  builder_edit_set_allow_oversize(o.allow_oversize);
  if (!builder_edit_open(host.image.c_str())) {
    print_error(edit_error_text(builder_edit_last_error(), builder_edit_last_error_path()));
    builder_edit_reset();
    return EXIT_TOOL_FAILED;
  }
  for (size_t i = 0; i < o.actions.size(); ++i) {
    const EditCommandAction& a = o.actions[i];
    bool ok = a.from_folder           ? builder_edit_from_folder(first[i].c_str())
              : a.kind == EDIT_REPLACE ? builder_edit_replace(first[i].c_str(), second[i].c_str())
              : a.kind == EDIT_ADD     ? builder_edit_add(first[i].c_str(), second[i].c_str())
              : a.kind == EDIT_REMOVE  ? builder_edit_remove(first[i].c_str())
                                       : builder_edit_rename(first[i].c_str(), second[i].c_str());
    if (!ok) {
      std::string why = edit_error_text(builder_edit_last_error(), builder_edit_last_error_path());
      if (const char* problem = builder_edit_last_name_problem()) why += ": " + std::string(problem);
      return refused(a, why);
    }
  }
  if (header) builder_edit_set_header(&fields);
  if (!builder_edit_plan()) {
    const uint16_t code = builder_edit_last_error();
    print_error(code == EDIT_ERR_OVERSIZE
                    ? oversize_message("the edited image", builder_edit_content_end(), UINT64_MAX, "writes it")
                    : edit_error_text(code, builder_edit_last_error_path()));
    builder_edit_reset();
    return EXIT_TOOL_FAILED;
  }
  const EditPlan& plan = *builder_edit_get_plan();
  const std::string image = quoted_host_path(host.image);
  if (o.dry_run) {
    if (!o.quiet) {
      for (size_t i = 0; i < builder_edit_step_count(); ++i)
        std::printf("%s\n", edit_step_text(*builder_edit_step(i), true).c_str());
      if (plan.writes_table)
        std::printf("would write the file table: %u bytes at %s\n", plan.table_size, hex(plan.table_offset).c_str());
      std::printf("image size after: %llu bytes (now %llu); dry run: nothing was written to %s\n",
                  static_cast<unsigned long long>(plan.image_size_after),
                  static_cast<unsigned long long>(plan.image_size_before), image.c_str());
    }
    builder_edit_reset();
    return EXIT_TOOL_OK;
  }

  host::set_interrupt_message(
      "\ntrelvik-cli: interrupted; the image holds its old files or the new ones, each whole\n");
  host::install_interrupt_cleanup();
  builder_edit_set_callbacks(nullptr, on_step, nullptr);
  if (!builder_edit_apply()) {
    const uint16_t code = builder_edit_last_error();
    std::string text = edit_error_text(code, builder_edit_last_error_path());
    text += builder_edit_table_switched()
                ? "; the files were edited, but what came after the new table (header fields, clearing the freed "
                  "space) was not all written"
                : "; the image still holds its old files";
    print_error(text);
    builder_edit_reset();
    return EXIT_TOOL_FAILED;
  }
  if (!o.quiet)
    std::printf("edited %s: %llu bytes written, image size %llu bytes\n", image.c_str(),
                static_cast<unsigned long long>(plan.bytes_to_write),
                static_cast<unsigned long long>(plan.image_size_after));
  builder_edit_reset();
  return EXIT_TOOL_OK;
}
