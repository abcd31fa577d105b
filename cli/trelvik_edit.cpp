// trelvik-cli edit: parses the command line, hands the actions to the edit
// engine in order and prints its plan or its log.
#include "cli/trelvik_edit.h"

#include <cctype>
#include <cstdio>
#include <cstring>

#include "cli/console_text.h"
#include "disc/disc_format.h"
#include "host/host_fs.h"
#include "host/host_text.h"

namespace {

constexpr int EXIT_EDIT_OK = 0;
constexpr int EXIT_EDIT_FAILED = 1;
constexpr int EXIT_EDIT_USAGE = 2;

// Options with one value, and where they go.
struct ValueOption {
  const char* name;
  char short_name;
  std::string EditOptions::*field;
};
const ValueOption kValueOptions[] = {
    {"--game-id", 'i', &EditOptions::game_id},     {"--maker-id", 0, &EditOptions::maker_id},
    {"--game-name", 't', &EditOptions::game_name}, {"--region", 0, &EditOptions::region},
    {"--disc-number", 0, &EditOptions::disc_number}, {"--revision", 0, &EditOptions::revision},
};

struct FlagOption {
  const char* name;
  char short_name;
  bool EditOptions::*field;
};
const FlagOption kFlagOptions[] = {
    {"--dry-run", 'n', &EditOptions::dry_run},
    {"--allow-oversize", 0, &EditOptions::allow_oversize},
    {"--quiet", 'q', &EditOptions::quiet},
    {"--help", 'h', &EditOptions::help},
};

// The actions, with how many values each takes.
struct ActionOption {
  const char* name;
  EditActionKind kind;
  bool from_folder;
  int values;
};
const ActionOption kActionOptions[] = {
    {"--replace", EDIT_REPLACE, false, 2}, {"--add", EDIT_ADD, false, 2},
    {"--remove", EDIT_REMOVE, false, 1},   {"--rename", EDIT_RENAME, false, 2},
    {"--from-folder", EDIT_REPLACE, true, 1},
};

bool matches(const std::string& arg, const char* name, char short_name) {
  return arg == name || (short_name && arg.size() == 2 && arg[0] == '-' && arg[1] == short_name);
}

std::string quoted(const std::string& text) { return "'" + text + "'"; }

// An in-image path or name (code page 932) for the terminal.
std::string shown(const std::string& cp932) {
  std::string utf8;
  return host::cp932_to_utf8(cp932, &utf8) ? utf8 : cp932;
}

std::string hex(uint64_t value) {
  char text[24];
  std::snprintf(text, sizeof text, "0x%08llX", static_cast<unsigned long long>(value));
  return text;
}

// A text converted to code page 932 and cut to width bytes, with a warning.
bool header_text(const char* what, const std::string& utf8, size_t width, char* field,
                 std::vector<std::string>* warnings, std::string* error) {
  std::string cp932;
  if (!host::utf8_to_cp932(utf8, &cp932)) {
    *error = std::string(what) + " \"" + utf8 + "\" has a character that code page 932 (Shift-JIS) cannot hold";
    return false;
  }
  if (cp932.size() > width) {
    cp932.resize(width);
    warnings->push_back(std::string(what) + " \"" + utf8 + "\" is longer than " + std::to_string(width) +
                        " bytes; using \"" + shown(cp932) + "\"");
  }
  std::memcpy(field, cp932.data(), cp932.size());
  return true;
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

// A region name or a letter as the fourth game-code byte.
bool region_letter(const std::string& text, char* letter) {
  std::string lower;
  for (char c : text) lower += char(std::tolower(static_cast<unsigned char>(c)));
  if (lower == "japan") *letter = REGION_LETTER_JAPAN;
  else if (lower == "usa") *letter = REGION_LETTER_USA;
  else if (lower == "europe") *letter = REGION_LETTER_EUROPE;
  else if (text.size() == 1 && std::isupper(static_cast<unsigned char>(text[0]))) *letter = text[0];
  else return false;
  return true;
}

bool is_game_id6(const std::string& id) {
  if (id.size() != 6) return false;
  for (char c : id)
    if (!std::isalnum(static_cast<unsigned char>(c))) return false;
  return true;
}

}  // namespace

const char* trelvik_edit_usage() {
  return
      "Usage: trelvik-cli edit IMAGE ACTION... [options]\n"
      "Edits a plain GameCube disc image in place, without rebuilding it. The\n"
      "actions apply in the order given; when one cannot be done, nothing is\n"
      "written. PATH is the path inside the image with '/' (as ombrel-cli ls\n"
      "prints it); FILE and DIR are files and folders on this computer.\n"
      "\n"
      "Actions:\n"
      "  --replace PATH FILE    the file's data from FILE\n"
      "  --add PATH FILE        a new file (missing folders are made; new entries\n"
      "                         go last in their folder)\n"
      "  --remove PATH          a file, or a folder with everything below it\n"
      "  --rename PATH NEWNAME  a file or folder, within its folder\n"
      "  --from-folder DIR      every file under DIR replaces the file at the same\n"
      "                         path in the image, or is added where there is none\n"
      "Header fields:\n"
      "  -i, --game-id ID       the three-byte game code (longer is cut, with a\n"
      "                         warning), or the whole six-character ID (GZLE01):\n"
      "                         game code, region letter and maker in one\n"
      "  --maker-id MK          maker ID, 2 bytes\n"
      "  -t, --game-name NAME   game name, up to 64 bytes in code page 932\n"
      "  --region REGION        japan, usa, europe (J, E, U) or a capital letter;\n"
      "                         with the GameCube magic word the bi2 region word\n"
      "                         follows it\n"
      "  --disc-number N        0 for the first disc of a set, 0 to 255\n"
      "  --revision N           0 to 255\n"
      "Other options:\n"
      "  -n, --dry-run          print the plan (each action, where its data goes,\n"
      "                         the image size after) and write nothing\n"
      "  --allow-oversize       write content that passes a full disc\n"
      "                         (1,459,978,240 bytes); refused by default\n"
      "  -q, --quiet            print only errors and warnings\n"
      "  -h, --help             show this text\n"
      "\n"
      "New names follow the builder's rules (code page 932, at most 255 bytes, a\n"
      "name the system can extract) and may not repeat a name in their folder,\n"
      "ignoring ASCII case. New and replaced data go into free space: the first\n"
      "gap of zeros or the disc's filler that fits, else after the last used\n"
      "byte; a full-size image keeps its size. A replaced file keeps its\n"
      "alignment class (the largest power of two dividing its offset, 4 to\n"
      "32768); a new file takes 32768 when every file of its extension, two at\n"
      "least, lies on such a boundary, else 2048. Containers (RVZ, WIA, GCZ, CISO, WDF)\n"
      "are refused: convert them to a plain image first (ombrel-cli convert).\n"
      "\n"
      "Safe to interrupt: new data and the new file table are written into free\n"
      "space and flushed before the header points at the new table; header\n"
      "fields follow, then the space the edit freed is zeroed. Stopped at any\n"
      "point, the image holds the old files or the new ones, each whole.\n"
      "\n"
      "Exit status: 0 success, 1 the edit failed or was refused (nothing\n"
      "written), 2 a wrong command line.\n";
}

bool parse_edit_args(const std::vector<std::string>& args, EditOptions* options, std::string* error) {
  *options = EditOptions();
  std::vector<std::string> seen;
  auto once = [&](const std::string& name) {
    for (const std::string& s : seen)
      if (s == name) {
        *error = "option " + name + " is given twice";
        return false;
      }
    seen.push_back(name);
    return true;
  };
  for (size_t i = 0; i < args.size(); ++i) {
    std::string arg = args[i];
    bool known = false;
    for (const ActionOption& a : kActionOptions) {
      if (arg != a.name) continue;
      known = true;
      if (i + size_t(a.values) >= args.size()) {
        *error = "option " + arg + (a.values == 2 ? " needs two values" : " needs a value");
        return false;
      }
      EditCommandAction action = {a.kind, a.from_folder, args[i + 1], a.values == 2 ? args[i + 2] : ""};
      options->actions.push_back(action);
      i += size_t(a.values);
    }
    if (known) continue;
    std::string value;
    bool inline_value = false;
    size_t eq = arg.find('=');
    if (arg.compare(0, 2, "--") == 0 && eq != std::string::npos) {
      value = arg.substr(eq + 1);
      arg = arg.substr(0, eq);
      inline_value = true;
    }
    for (const ValueOption& o : kValueOptions) {
      if (!matches(arg, o.name, o.short_name)) continue;
      known = true;
      if (!inline_value) {
        if (i + 1 >= args.size()) {
          *error = "option " + std::string(o.name) + " needs a value";
          return false;
        }
        value = args[++i];
      }
      if (!once(o.name)) return false;
      options->*o.field = value;
    }
    for (const FlagOption& o : kFlagOptions) {
      if (!matches(arg, o.name, o.short_name)) continue;
      known = true;
      if (inline_value) {
        *error = "option " + std::string(o.name) + " takes no value";
        return false;
      }
      if (!once(o.name)) return false;
      options->*o.field = true;
    }
    if (options->help) return true;
    if (known) continue;
    if (arg.size() > 1 && arg[0] == '-') {
      *error = "unknown option " + quoted(args[i]) + " (see trelvik-cli edit --help)";
      return false;
    }
    if (!options->image.empty()) {
      *error = "one image at a time: " + quoted(options->image) + " and " + quoted(args[i]);
      return false;
    }
    options->image = args[i];
  }
  if (options->image.empty()) {
    *error = "no image given (see trelvik-cli edit --help)";
    return false;
  }
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
  std::string game_id = o.game_id, maker_id = o.maker_id;
  char letter = 0;
  if (!o.region.empty() && !region_letter(o.region, &letter)) {
    *error = "unknown region " + quoted(o.region) + ": use japan, usa, europe or a capital letter";
    return false;
  }
  // A six-character ID is the code, the region letter and the maker in one.
  if (is_game_id6(game_id)) {
    const std::string maker = game_id.substr(4, 2);
    if (!maker_id.empty() && maker_id != maker) {
      *error = "--game-id " + game_id + " names the maker " + maker + ", --maker-id " + maker_id;
      return false;
    }
    if (letter && bi2_region_for_letter(letter) != bi2_region_for_letter(game_id[3])) {
      *error = "--game-id " + game_id + " has the region letter " + game_id[3] + ", --region " + o.region;
      return false;
    }
    letter = game_id[3];
    maker_id = maker;
    game_id.resize(3);
  }
  f->set_game_code = !game_id.empty();
  f->set_maker_code = !maker_id.empty();
  f->set_game_name = !o.game_name.empty();
  f->set_region = letter != 0;
  f->region_letter = letter;
  if ((f->set_game_code && !header_text("game ID", game_id, 3, f->game_code, warnings, error)) ||
      (f->set_maker_code && !header_text("maker ID", maker_id, 2, f->maker_code, warnings, error)) ||
      (f->set_game_name && !header_text("game name", o.game_name, 64, f->game_name, warnings, error)))
    return false;
  // A shorter code is padded with zeros, as the wizard stores it.
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
  const std::string path = quoted(shown(s.path));
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
      return std::string(planned ? "would rename " : "renamed ") + path + " to " + quoted(shown(s.new_name));
    case EDIT_HEADER: {
      const EditHeaderFields& h = s.header;
      std::string fields;
      auto add = [&](const std::string& f) { fields += (fields.empty() ? "" : ", ") + f; };
      if (h.set_game_code) add("game code " + quoted(std::string(h.game_code, strnlen(h.game_code, 3))));
      if (h.set_region) add("region letter " + quoted(std::string(1, h.region_letter)));
      if (h.set_maker_code) add("maker ID " + quoted(std::string(h.maker_code, strnlen(h.maker_code, 2))));
      if (h.set_game_name) add("game name " + quoted(shown(std::string(h.game_name, strnlen(h.game_name, 64)))));
      if (h.set_disc_number) add("disc number " + std::to_string(h.disc_number));
      if (h.set_revision) add("revision " + std::to_string(h.revision));
      return std::string(planned ? "would set " : "set ") + fields;
    }
  }
  return "";
}

std::string edit_error_text(uint16_t code, const std::string& path) {
  const std::string p = quoted(host_path_for_display(shown(path)));
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
  const char* option = a.from_folder ? "--from-folder" : a.kind == EDIT_REPLACE ? "--replace"
                                                       : a.kind == EDIT_ADD     ? "--add"
                                                       : a.kind == EDIT_REMOVE  ? "--remove"
                                                                                : "--rename";
  print_error(std::string(option) + " " + quoted(a.first) + ": " + why + "; nothing was written");
  builder_edit_reset();
  return EXIT_EDIT_FAILED;
}

std::string oversize_text() {
  const uint64_t end = builder_edit_content_end();
  return "the edited image would end at " + std::to_string(end) + " bytes, " +
         std::to_string(end - DISC_IMAGE_SIZE) + " bytes past a full disc (" + std::to_string(DISC_IMAGE_SIZE) +
         " bytes); nothing was written; --allow-oversize writes it";
}

}  // namespace

int trelvik_edit_main(const std::vector<std::string>& args, const std::vector<std::string>& host_args) {
  EditOptions o, host;
  std::string error;
  if (!parse_edit_args(args, &o, &error)) {
    print_error(error);
    return EXIT_EDIT_USAGE;
  }
  if (o.help) {
    std::fputs(trelvik_edit_usage(), stdout);
    return EXIT_EDIT_OK;
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
      return EXIT_EDIT_USAGE;
    }
  }
  EditHeaderFields fields;
  bool header = false;
  std::vector<std::string> warnings;
  if (!edit_header_fields(o, &fields, &header, &warnings, &error)) {
    print_error(error);
    return EXIT_EDIT_USAGE;
  }
  // Cut header fields are warned about even with --quiet.
  for (const std::string& w : warnings) std::fprintf(stderr, "trelvik-cli: warning: %s\n", w.c_str());

  builder_edit_reset();
  builder_edit_set_allow_oversize(o.allow_oversize);
  if (!builder_edit_open(host.image.c_str())) {
    print_error(edit_error_text(builder_edit_last_error(), builder_edit_last_error_path()));
    builder_edit_reset();
    return EXIT_EDIT_FAILED;
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
      // Which rule a new name breaks: the new name of a rename, else the
      // last name of the path refused.
      const std::string path = builder_edit_last_error_path();
      const char* problem = builder_edit_name_problem(
          a.kind == EDIT_RENAME ? second[i].c_str() : path.substr(path.rfind('/') + 1).c_str());
      if (builder_edit_last_error() == EDIT_ERR_BAD_NAME && problem) why += ": " + std::string(problem);
      return refused(a, why);
    }
  }
  if (header) builder_edit_set_header(&fields);
  if (!builder_edit_plan()) {
    const uint16_t code = builder_edit_last_error();
    print_error(code == EDIT_ERR_OVERSIZE ? oversize_text() : edit_error_text(code, builder_edit_last_error_path()));
    builder_edit_reset();
    return EXIT_EDIT_FAILED;
  }
  const EditPlan& plan = *builder_edit_get_plan();
  const std::string image = quoted(host_path_for_display(host.image));
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
    return EXIT_EDIT_OK;
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
    return EXIT_EDIT_FAILED;
  }
  if (!o.quiet)
    std::printf("edited %s: %llu bytes written, image size %llu bytes\n", image.c_str(),
                static_cast<unsigned long long>(plan.bytes_to_write),
                static_cast<unsigned long long>(plan.image_size_after));
  builder_edit_reset();
  return EXIT_EDIT_OK;
}
