// Option parsing, checking and settings filling for trelvik-cli.
#include "cli/trelvik_options.h"

#include <algorithm>
#include <cstdio>
#include <cstring>

#include "builder/source_walk.h"
#include "cli/command_line.h"
#include "cli/console_text.h"
#include "cli/engine_texts.h"
#include "cli/trelvik_rebuild.h"
#include "wizard/core/wizard_logic.h"
#include "host/host_fs.h"
#include "host/host_text.h"
#include "wizard/core/header_image.h"

namespace {

// Each option, and where it is stored: a text or a flag's value.
struct TrelvikOption {
  OptionForm form;
  std::string TrelvikOptions::*text;
  bool TrelvikOptions::*flag;
  bool flag_value;
};

const TrelvikOption kOptions[] = {
    {{"--game-id", 'i', 1}, &TrelvikOptions::game_id, nullptr, false},
    {{"--game-name", 't', 1}, &TrelvikOptions::game_name, nullptr, false},
    {{"--maker-id", 0, 1}, &TrelvikOptions::maker_id, nullptr, false},
    {{"--region", 0, 1}, &TrelvikOptions::region, nullptr, false},
    {{"--apploader", 'a', 1}, &TrelvikOptions::apploader, nullptr, false},
    {{"--main-program", 'm', 1}, &TrelvikOptions::main_program, nullptr, false},
    {{"--base-dir", 'b', 1}, &TrelvikOptions::base_dir, nullptr, false},
    {{"--output", 'd', 1}, &TrelvikOptions::output, nullptr, false},
    {{"--header-from", 0, 1}, &TrelvikOptions::header_from, nullptr, false},
    {{"--root", 'r', 1}, &TrelvikOptions::root, nullptr, false},
    {{"--align", 0, 1}, &TrelvikOptions::align, nullptr, false},
    {{"--no-maximise", 0, 0}, nullptr, &TrelvikOptions::maximise, false},
    {{"--no-disc-magic", 0, 0}, nullptr, &TrelvikOptions::disc_magic, false},
    {{"--allow-oversize", 0, 0}, nullptr, &TrelvikOptions::allow_oversize, true},
    {{"--overwrite", 'o', 0}, nullptr, &TrelvikOptions::overwrite, true},
    {{"--dry-run", 'n', 0}, nullptr, &TrelvikOptions::dry_run, true},
    {{"--quiet", 'q', 0}, nullptr, &TrelvikOptions::quiet, true},
    {{"--format", 0, 1}, &TrelvikOptions::format, nullptr, false},
    {{"--compression", 0, 1}, &TrelvikOptions::compression, nullptr, false},
    {{"--level", 0, 1}, &TrelvikOptions::level, nullptr, false},
    {{"--block-size", 0, 1}, &TrelvikOptions::block_size, nullptr, false},
};
constexpr size_t OPTION_COUNT = sizeof kOptions / sizeof kOptions[0];

// One header text converted to code page 932 and cut to width bytes, with
// a warning.
bool header_text(const char* what, const std::string& utf8, size_t width, std::string* cp932,
                 std::vector<std::string>* warnings, std::string* error) {
  if (!host::utf8_to_cp932(utf8, cp932)) {
    *error = std::string(what) + " \"" + utf8 + "\" has a character that code page 932 (Shift-JIS) cannot hold";
    return false;
  }
  if (cp932->size() > width) {
    cp932->resize(width);
    warnings->push_back(std::string(what) + " \"" + utf8 + "\" is longer than " + std::to_string(width) +
                        " bytes; using \"" + cp932_for_display(*cp932) + "\"");
  }
  return true;
}

// Copies a path into a 260-byte field; a longer path is refused.
bool path_field(const char* what, const std::string& path, char* field, std::string* error) {
  if (path.size() >= BUILD_PATH_CAPACITY) {
    *error = std::string(what) + " path is " + std::to_string(path.size()) +
             " bytes long; at most " + std::to_string(BUILD_PATH_CAPACITY - 1) +
             " bytes fit: " + path;
    return false;
  }
  if (path.find('\0') != std::string::npos) {
    *error = std::string(what) + " path holds a zero byte";
    return false;
  }
  std::memcpy(field, path.c_str(), path.size() + 1);
  return true;
}

}  // namespace

std::string trelvik_usage() {
  std::string text =
      "Usage: trelvik-cli [OPTIONS]\n"
      "       trelvik-cli --root DIR --output FILE [OPTIONS]\n"
      "       trelvik-cli edit IMAGE ACTION... (see trelvik-cli edit --help)\n"
      "Builds a GameCube disc image (.gcm) from an apploader, a main program and\n"
      "a folder whose whole tree becomes the disc's file system, or rebuilds a\n"
      "disc unpacked by ombrel-cli unpack (or wit extract); or edits an image in\n"
      "place.\n"
      "\n"
      "Header (not needed with --header-from or --root; longer texts are cut,\n"
      "with a warning):\n"
      "  -i, --game-id ID      game ID, up to 3 bytes, or the whole six-character\n"
      "                        ID (GZLE01): game code, region letter and maker\n"
      "  -t, --game-name NAME  game name, up to 64 bytes in code page 932\n"
      "  --maker-id MK         maker ID, up to 2 bytes\n"
      "  --region REGION       japan, usa or europe: region letter J, E or U\n"
      "  --header-from IMAGE   the game ID, disc number, revision, audio\n"
      "                        streaming, game name and bi2 block of a GameCube\n"
      "                        disc image (with --no-disc-magic: code, maker and\n"
      "                        name from any file's first bytes, as the wizard)\n"
      "Inputs and output (each path at most 259 bytes):\n"
      "  -a, --apploader FILE  apploader, copied to 0x2440\n"
      "  -m, --main-program FILE\n"
      "                        main program (.dol), copied behind the apploader\n"
      "  -b, --base-dir DIR    folder whose contents become the disc's files\n"
      "  -d, --output FILE     image to write (an existing file is replaced); a\n"
      "                        name ending in .rvz, .wia, .gcz or .ciso builds\n"
      "                        straight into that container\n"
      "  -r, --root DIR        rebuild the unpacked disc in DIR: DIR/sys (boot.bin\n"
      "                        of 0x440 or 0x430 bytes, bi2.bin, apploader.img,\n"
      "                        main.dol if any, fst.bin for the old order) and\n"
      "                        DIR/files; header options override boot.bin's\n"
      "Container output (as ombrel-cli convert takes them):\n"
      "  --format KIND         plain, rvz, wia, gcz or ciso, whatever the name\n"
      "  --compression METHOD  RVZ: zstd (default), bzip2, lzma, lzma2, none;\n"
      "                        WIA: lzma2 (default), purge, bzip2, lzma, none\n"
      "  --level N             RVZ, WIA (default 5), GCZ (default 9)\n"
      "  --block-size BYTES    RVZ (128K), WIA (2M), GCZ (32K), CISO (2M)\n"
      "Other options:\n"
      "  --no-maximise         do not pad the image with zeros to a full disc\n"
      "                        (1,459,978,240 bytes)\n"
      "  --no-disc-magic       write exactly what the Trelvik wizard writes. By\n"
      "                        default the GameCube magic 0xC2339F3D is written\n"
      "                        at 0x1C, folder entries hold their parent's index,\n"
      "                        bi2 holds the region word, and the table may use\n"
      "                        the format's own limits, so other tools accept it\n"
      "  --align BYTES         one alignment (a power of two, 4 to 32768) for\n"
      "                        every file instead of 2048 (--root keeps each\n"
      "                        file's old alignment class)\n"
      "  --allow-oversize      write content that passes a full disc\n"
      "  -n, --dry-run         check and lay out everything, write nothing\n"
      "  -o, --overwrite       accepted for ombrel-cli's sake\n"
      "  -q, --quiet           no log, progress bar or notes\n"
      "  -h, --help            show this text\n"
      "  -V, --version         show the version and the libraries' versions\n"
      "\n"
      "Texts are taken as UTF-8. The image is written beside the output\n"
      "(.NAME.XXXXXX.part) and replaces it only once complete. Exit status: 0\n"
      "success, 1 the build failed, 2 a wrong command line, 129/130/143\n"
      "interrupted. Messages caused by the builder end with its code:\n"
      "\n"
      "Builder codes:\n";
  for (int code = 1; code <= BUILD_ERROR_LAST; ++code) {
    char number[8];
    std::snprintf(number, sizeof number, "%4d  ", code);
    text += number + std::string(builder_code_text(code)) + "\n";
  }
  return text;
}

bool parse_trelvik_args(const std::vector<std::string>& args, TrelvikOptions* options,
                        std::string* error) {
  *options = TrelvikOptions();
  OptionForm forms[OPTION_COUNT];
  for (size_t i = 0; i < OPTION_COUNT; ++i) forms[i] = kOptions[i].form;
  CommandLine line;
  if (!parse_command_line(args, forms, OPTION_COUNT, &line, error)) return false;
  options->help = line.help;
  options->version = line.version;
  if (line.help || line.version) return true;
  if (!line.operands.empty()) {
    *error = "unexpected operand '" + line.operands[0] + "': trelvik-cli takes options only (see --help)";
    return false;
  }
  for (const GivenOption& given : line.options) {
    const TrelvikOption& o = kOptions[given.option];
    if (o.text) options->*o.text = given.value;
    if (o.flag) options->*o.flag = o.flag_value;
  }
  auto given = [&](const char* name) {
    for (size_t i = 0; i < OPTION_COUNT; ++i) {
      if (std::strcmp(kOptions[i].form.long_name, name) == 0) return line.has(i);
    }
    return false;
  };
  if (!options->root.empty()) {
    for (const char* replaced : {"--apploader", "--main-program", "--base-dir", "--header-from"}) {
      if (given(replaced)) {
        *error = std::string("--root takes the place of ") + replaced + ": use one or the other";
        return false;
      }
    }
  }
  if (!options->disc_magic) {
    for (const char* option : {"--root", "--align", "--allow-oversize"}) {
      if (given(option)) {
        *error = std::string(option) +
                 " does not go with --no-disc-magic, which writes exactly what the wizard writes";
        return false;
      }
    }
  }
  if (!options->root.empty()) {
    const UnpackedDisc root = unpacked_disc(options->root);
    options->apploader = root.apploader;
    options->main_program = root.main_program;
    options->base_dir = root.files;
  }
  return true;
}

bool header_option_fields(const std::string& game_id, const std::string& maker_id, const std::string& game_name,
                          const std::string& region, char region_letter, HeaderOptionFields* fields,
                          std::vector<std::string>* warnings, std::string* error) {
  std::string code = game_id, maker = maker_id;
  fields->region_letter = region_letter;
  if (is_whole_game_id(game_id)) {
    const std::string id_maker = game_id.substr(4, 2);
    if (!maker.empty() && maker != id_maker) {
      *error = "--game-id " + game_id + " names the maker " + id_maker + ", --maker-id " + maker;
      return false;
    }
    if (region_letter && bi2_region_for_letter(game_id[3]) != bi2_region_for_letter(region_letter)) {
      *error = "--game-id " + game_id + " has the region letter " + game_id[3] + ", --region " + region;
      return false;
    }
    fields->region_letter = game_id[3];
    maker = id_maker;
    code.resize(3);
  }
  return header_text("game ID", code, GAME_ID_LIMIT, &fields->game_code, warnings, error) &&
         header_text("game name", game_name, GAME_NAME_LIMIT, &fields->game_name, warnings, error) &&
         header_text("maker ID", maker, MAKER_ID_LIMIT, &fields->maker_code, warnings, error);
}

bool options_to_wizard_state(const TrelvikOptions& options, WizardState* state,
                             std::vector<std::string>* warnings, std::string* error) {
  wizard_state_init(state);
  // An imported header or an unpacked disc's boot.bin gives the header fields.
  const bool import = !options.header_from.empty() || !options.root.empty();

  struct Required {
    const char* option;
    const std::string& value;
    bool needed;
  };
  const Required required[] = {
      {"--game-id", options.game_id, !import},
      {"--game-name", options.game_name, !import},
      {"--maker-id", options.maker_id, !import && !is_whole_game_id(options.game_id)},
      {"--region", options.region, !import && !is_whole_game_id(options.game_id)},
      {"--apploader", options.apploader, true},  {"--main-program", options.main_program, true},
      {"--base-dir", options.base_dir, true},    {"--output", options.output, true},
  };
  for (const Required& r : required) {
    if (r.needed && r.value.empty()) {
      *error = std::string("missing option ") + r.option + " (see --help)";
      return false;
    }
  }

  if (!options.region.empty() && !region_index_for_name(options.region, &state->region_index)) {
    *error = "unknown region " + quoted(options.region) + ": use japan, usa or europe";
    return false;
  }
  // Typed header fields are checked even when an imported header replaces them.
  HeaderOptionFields typed;
  if (!header_option_fields(options.game_id, options.maker_id, options.game_name, options.region,
                            options.region.empty() ? 0 : region_letter(state->region_index), &typed, warnings, error))
    return false;
  store_cut_text(typed.game_code, GAME_ID_LIMIT, state->game_id);
  store_cut_text(typed.game_name, GAME_NAME_LIMIT, state->game_name);
  store_cut_text(typed.maker_code, MAKER_ID_LIMIT, state->maker_id);

  if (import) {
    state->import_header = 1;
    if (!path_field("header image", options.header_from, state->import_image_path, error)) {
      return false;
    }
  }
  if (!path_field("apploader", options.apploader, state->apploader_path, error) ||
      !path_field("main program", options.main_program, state->main_program_path, error) ||
      !path_field("base directory", options.base_dir, state->base_directory, error) ||
      !path_field("output", options.output, state->output_path, error)) {
    return false;
  }
  state->maximise_image = options.maximise ? 1 : 0;
  return true;
}

namespace {

// Why the header image gives no header, after its quoted path.
std::string header_image_problem(const HeaderImageResult& result) {
  switch (result.fault) {
    case HeaderImageFault::None: break;
    case HeaderImageFault::CannotOpen: break;
    case HeaderImageFault::DamagedContainer: return "cannot be read: " + result.detail;
    case HeaderImageFault::WiiDisc: return "is not a GameCube disc image: a Wii disc";
    case HeaderImageFault::NotAGameCubeDisc: return "is not a GameCube disc image: " + result.detail;
    case HeaderImageFault::TooShort: return "is shorter than a disc's header and bi2 block (0x2440 bytes)";
  }
  return "";
}

}  // namespace

bool options_to_build_settings(const TrelvikOptions& options, BuildSettings* settings,
                               std::vector<std::string>* warnings, std::string* error, uint8_t* other_disc) {
  WizardState state;
  if (!options_to_wizard_state(options, &state, warnings, error)) return false;
  // Both modes read the disc a container holds; default mode takes more of
  // it, so only from a GameCube disc, while the wizard's mode takes any
  // other file's first bytes.
  uint8_t head[APPLOADER_OFFSET] = {};
  HeaderImageResult read;
  if (state.import_header) {
    if (options.disc_magic) {
      read = read_header_disc(state.import_image_path, head);
    } else {
      read_imported_header(state.import_image_path, head, &read);
    }
  }
  const std::string shown = quoted_host_path(options.header_from);
  if (read.fault == HeaderImageFault::CannotOpen) {
    *error = "cannot open the header image " + shown;
    return false;
  }
  if (read.fault != HeaderImageFault::None) {
    *error = "the header image " + shown + " " + header_image_problem(read);
    return false;
  }
  fill_build_settings(state, state.import_header ? head : nullptr, settings);
  if (other_disc && state.import_header) std::memcpy(other_disc, head, sizeof head);
  if (!state.import_header && !game_id6_region(options).empty()) settings->game_code[3] = options.game_id[3];
  return true;
}

std::string game_id6_region(const TrelvikOptions& options) {
  return is_whole_game_id(options.game_id) ? options.game_id.substr(3, 1) : "";
}

std::string build_error_message(uint16_t code, const TrelvikOptions& options,
                                const std::string& last_step, const std::string& error_path) {
  std::string text;
  bool names_file = false;  // the last log line tells which file was involved
  const std::string shown_path = quoted_host_path(error_path);
  const bool has_path = !error_path.empty();
  switch (code) {
    case BUILD_ERR_NO_MEMORY: text = "out of memory while building the image"; break;
    case BUILD_ERR_CREATE_OUTPUT: text = "cannot create the output image " + quoted(options.output); break;
    case BUILD_ERR_NO_SETTINGS: text = "no build settings were given to the builder"; break;
    case BUILD_ERR_OPEN_INPUT:
      if (has_path) {
        text = "the input file " + shown_path + " cannot be opened";
      } else {
        text = "an input file cannot be opened (the apploader " + quoted(options.apploader) +
               ", the main program " + quoted(options.main_program) +
               " or a file under the base directory)";
        names_file = true;
      }
      break;
    case BUILD_ERR_READ:
      text = has_path ? "reading the source file " + shown_path + " failed"
                      : "reading a source file failed";
      names_file = !has_path;
      break;
    case BUILD_ERR_WRITE:
      text = "writing the output image " + quoted(options.output) + " failed (is the disk full?)";
      break;
    case BUILD_ERR_ENTER_BASE_DIRECTORY:
      text = "the base directory " + quoted(options.base_dir) + " cannot be entered";
      break;
    case BUILD_ERR_ENUMERATE:
      text = has_path ? "the folder " + shown_path +
                            " cannot be listed: it is unreadable, a symbolic link to nothing, "
                            "or a link that loops back into the tree"
                      : "a folder under the base directory " + quoted(options.base_dir) +
                            " cannot be listed, or a symbolic link loops back into the tree";
      break;
    case BUILD_ERR_TABLE_TOO_LARGE:
      // Default mode writes tables up to the format's own limits.
      text = options.disc_magic
                 ? "the base directory's names take more than the 16,777,215 bytes the disc's file "
                   "system table can address"
                 : "the base directory has too many files and folders (at most 65,535) or too many "
                   "name bytes (at most 65,535) for the disc's file system table";
      break;
    case BUILD_ERR_DATA_TOO_LARGE:
      text = "the data does not fit in a disc image: a file of 4 GiB or more, or data "
             "that would lie beyond 4 GiB";
      if (has_path) text += " (" + shown_path + ")";
      break;
    case BUILD_ERR_PATH_TOO_LONG:
      text = has_path ? "the folder path " + shown_path + " is longer than 259 bytes"
                      : "a folder path under the base directory is longer than 259 bytes";
      break;
    case BUILD_ERR_NOT_PREPARED: text = "the image was written without a successful preparation"; break;
    case BUILD_ERR_SOURCE_CHANGED:
      text = has_path ? "the source file " + shown_path + " changed size during the build"
                      : "a source file changed size during the build";
      names_file = !has_path;
      break;
    case BUILD_ERR_OUTPUT_IS_INPUT:
      text = "the output " + quoted(options.output) + " " + output_clash_text(options, error_path) +
             "; nothing was written (choose another output)";
      break;
    case BUILD_ERR_NOT_REGULAR_FILE:
      text = (has_path ? shown_path : std::string("an input")) +
             " is not a regular file (a FIFO, socket or device); only files and folders are read";
      break;
    case BUILD_ERR_OUTPUT_IN_USE:
      text = "the image is complete, but another program holds " + quoted(options.output) +
             " open so it cannot be replaced; the image was kept as " + shown_path;
      break;
    case BUILD_ERR_UNPACKED_FILE_SIZE:
      text = "the unpacked disc's " + shown_path + " has not the size of its part of the disc";
      break;
    case BUILD_ERR_NOT_A_TABLE: text = "the unpacked disc's " + shown_path + " is not a file system table"; break;
    case BUILD_ERR_OUTPUT_FORMAT:
      text = std::string("the output's container does not take its settings or this image: ") +
             builder_last_error_detail() + "; nothing was written";
      break;
    default:
      text = "the build failed";
      break;
  }
  text += builder_code_suffix(code);
  if (names_file && !last_step.empty()) text += "; last step: " + last_step;
  return text;
}

std::string unpacked_disc_message(uint16_t code, const std::string& path, const TrelvikOptions& options) {
  const std::string shown = quoted_host_path(path);
  const UnpackedDisc disc = unpacked_disc(options.root);
  std::string text;
  switch (code) {
    case BUILD_ERR_OPEN_INPUT:
      text = path == disc.boot_bin && !disc.has_sys_folder
                 ? quoted_host_path(options.root) +
                       " is not an unpacked disc: it has no sys/boot.bin (ombrel-cli unpack IMAGE DIR makes one)"
                 : shown + " " + input_problem_text(path);
      break;
    case BUILD_ERR_UNPACKED_FILE_SIZE:
      text = path == disc.boot_bin ? shown + " must hold " + std::to_string(BOOT_BIN_SIZE) + " bytes, or the header's " +
                                         std::to_string(DISC_HEADER_SIZE)
                                   : shown + " must hold exactly " + std::to_string(BI2_SIZE) + " bytes";
      break;
    case BUILD_ERR_ENTER_BASE_DIRECTORY: text = "the unpacked disc has no folder " + shown; break;
    case BUILD_ERR_READ: text = "cannot read " + shown; break;
    case BUILD_ERR_NOT_A_TABLE: text = shown + " is not a file system table"; break;
    default: return build_error_message(code, options, "", path);
  }
  return text + builder_code_suffix(code);
}

std::string output_clash_text(const TrelvikOptions& options, const std::string& input) {
  if (input == options.apploader) return "is the apploader " + quoted(options.apploader);
  if (input == options.main_program) return "is the main program " + quoted(options.main_program);
  if (input == options.header_from) return "is the header image " + quoted(options.header_from);
  const UnpackedDisc root = unpacked_disc(options.root);
  if (!options.root.empty() && (input == root.boot_bin || input == root.bi2 || input == root.fst))
    return "is the unpacked disc's " + quoted(input);
  return "lies inside the base directory " + quoted(options.base_dir);
}

std::string utf8_log_line(int hour, int minute, int second, const char* cp932_text) {
  char stamp[32];
  std::snprintf(stamp, sizeof stamp, "%02d:%02d:%02d      ", hour, minute, second);
  // The builder's own words are code page 932. A quoted part is a host path:
  // on POSIX hosts its bytes are already the terminal's, on Windows they are
  // the ANSI code page's.
  const std::string text(cp932_text);
  const size_t quote = std::min(text.find('\''), text.size());  // never a trail byte in code page 932
  return stamp + cp932_for_display(text.substr(0, quote)) + host_path_for_display(text.substr(quote));
}

std::vector<std::string> name_form_warnings(const SourceNode* root) {
  std::vector<const SourceNode*> names;
  walk_source_tree(root, [&](const SourceNode& node) {
    if (node.name_is_host_bytes) names.push_back(&node);
  });
  std::vector<std::string> warnings;
  for (size_t i = 0; i < names.size() && i < 3; ++i) {
    warnings.push_back("the name of '" + host_path_for_display(names[i]->full_path) +
                       "' has no Shift-JIS form; it is stored as its bytes, which other "
                       "programs show garbled");
  }
  if (names.size() > 3) {
    warnings.push_back(std::to_string(names.size() - 3) + " more names have no Shift-JIS form");
  }
  return warnings;
}

