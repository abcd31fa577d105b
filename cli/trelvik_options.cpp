// Option parsing, checking and settings filling for trelvik-cli.
#include "cli/trelvik_options.h"

#include <cctype>
#include <cstdio>
#include <cstring>

#include "builder/source_walk.h"
#include "cli/console_text.h"
#include "cli/trelvik_rebuild.h"
#include "host/host_fs.h"
#include "host/host_text.h"
#include "wizard/core/header_image.h"

namespace {

// Each option with a value, and where it is stored.
struct ValueOption {
  const char* name;
  std::string TrelvikOptions::*field;
};

const ValueOption kValueOptions[] = {
    {"--game-id", &TrelvikOptions::game_id},
    {"--game-name", &TrelvikOptions::game_name},
    {"--maker-id", &TrelvikOptions::maker_id},
    {"--region", &TrelvikOptions::region},
    {"--apploader", &TrelvikOptions::apploader},
    {"--main-program", &TrelvikOptions::main_program},
    {"--base-dir", &TrelvikOptions::base_dir},
    {"--output", &TrelvikOptions::output},
    {"--header-from", &TrelvikOptions::header_from},
    {"--root", &TrelvikOptions::root},
    {"--align", &TrelvikOptions::align},
};

struct FlagOption {
  const char* name;
  bool TrelvikOptions::*field;
  bool value;
};

const FlagOption kFlagOptions[] = {
    {"--no-maximise", &TrelvikOptions::maximise, false},
    {"--no-disc-magic", &TrelvikOptions::disc_magic, false},
    {"--allow-oversize", &TrelvikOptions::allow_oversize, true},
    {"--quiet", &TrelvikOptions::quiet, true},
    {"--help", &TrelvikOptions::help, true},
};

// Converts one header text to code page 932 and cuts it to width bytes.
bool header_text(const char* what, const std::string& utf8, size_t width, char* field,
                 std::vector<std::string>* warnings, std::string* error) {
  std::string cp932;
  if (!host::utf8_to_cp932(utf8, &cp932)) {
    *error = std::string(what) + " \"" + utf8 +
             "\" has a character that code page 932 (Shift-JIS) cannot hold";
    return false;
  }
  if (cp932.size() > width) {
    // The leading bytes are kept, as the wizard keeps them.
    cp932.resize(width);
    std::string shown;
    if (!host::cp932_to_utf8(cp932, &shown)) shown = cp932;
    warnings->push_back(std::string(what) + " \"" + utf8 + "\" is longer than " +
                        std::to_string(width) + " bytes; using \"" + shown + "\"");
  }
  std::memcpy(field, cp932.c_str(), cp932.size() + 1);
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

std::string quoted(const std::string& path) { return "'" + path + "'"; }

}  // namespace

const char* trelvik_usage() {
  return
      "Usage: trelvik-cli [options]\n"
      "       trelvik-cli --root DIR --output FILE [options]\n"
      "Builds a GameCube disc image (.gcm) from an apploader, a main program and\n"
      "a folder whose whole tree becomes the disc's file system, or rebuilds a\n"
      "disc unpacked by ombrel-cli unpack (or wit extract) from its folder.\n"
      "\n"
      "Header (not needed with --header-from):\n"
      "  --game-id ID         game ID, up to 3 bytes (longer is cut, with a warning)\n"
      "  --game-name NAME     game name, up to 64 bytes in code page 932 (cut likewise)\n"
      "  --maker-id MK        maker ID, up to 2 bytes (cut likewise)\n"
      "  --region REGION      japan, usa or europe: region letter J, E or U\n"
      "  --header-from IMAGE  take the header from a GameCube disc image: game ID,\n"
      "                       disc number, revision, audio streaming, game name\n"
      "                       and the bi2 block (with --no-disc-magic: game code,\n"
      "                       maker ID and game name from any file, or from the\n"
      "                       disc in a container, as the wizard)\n"
      "Inputs and output (each path at most 259 bytes):\n"
      "  --apploader FILE     apploader, copied to 0x2440\n"
      "  --main-program FILE  main program (.dol), copied behind the apploader\n"
      "  --base-dir DIR       folder whose contents become the disc's files\n"
      "  --output FILE        image to write; an existing file is overwritten\n"
      "  --root DIR           rebuild the unpacked disc in DIR: DIR/sys/boot.bin,\n"
      "                       bi2.bin, apploader.img, main.dol (none: no main\n"
      "                       program; a link to nothing is an error), fst.bin\n"
      "                       (the old order) and DIR/files;\n"
      "                       the header options then override boot.bin's fields\n"
      "Other options:\n"
      "  --no-maximise        end the image at its last byte of data instead of\n"
      "                       padding it with zeros to 1,459,978,240 bytes\n"
      "  --no-disc-magic      write the image exactly as the Trelvik wizard does:\n"
      "                       the word at 0x1C and the second word of folder\n"
      "                       entries stay zero. By default the GameCube magic\n"
      "                       0xC2339F3D is written at 0x1C and each folder entry\n"
      "                       holds its enclosing folder's index, so that other\n"
      "                       disc tools and emulators accept the image; the bi2\n"
      "                       block then holds the region word of the region\n"
      "                       letter, and the table may use the format's own\n"
      "                       limits (24-bit name offsets, any number of entries)\n"
      "  --align BYTES        one alignment (a power of two, 4 to 32768) for every\n"
      "                       file, instead of 2048 (with --root: each file's old\n"
      "                       alignment class; a new file 32768 when every kept\n"
      "                       file of its extension, two at least, is on a 32768\n"
      "                       boundary, else 2048)\n"
      "  --allow-oversize     write an image whose content passes a full disc in\n"
      "                       full (it is refused by default, naming the excess)\n"
      "  --quiet              print only errors\n"
      "  --help               show this text\n"
      "\n"
      "Texts are taken as UTF-8 and stored in code page 932; a text with no code\n"
      "page 932 form is an error. Options take their value as the next argument\n"
      "or after '=' (--region=usa).\n"
      "\n"
      "Exit status: 0 success, 1 the build failed, 2 wrong options or inputs,\n"
      "129/130/143 interrupted. The image is written to a temporary file beside\n"
      "the output (.NAME.XXXXXX.part), which replaces the output only once the\n"
      "image is complete: a failed or interrupted build removes it and leaves an\n"
      "existing output as it was.\n"
      "\n"
      "Builder error codes, as reported:\n"
      "   1  out of memory\n"
      "   2  the output file cannot be created\n"
      "   3  no build settings given\n"
      "   4  the apploader or main program is missing, or a file cannot be opened\n"
      "      for copying\n"
      "   5  reading a source file failed\n"
      "   6  writing the image failed (a full disk, for one)\n"
      "   7  the base directory cannot be entered\n"
      "   8  a folder cannot be listed, or a symbolic link loops back\n"
      "   9  too many entries or name bytes for the file system table (65,535\n"
      "      each with --no-disc-magic; 24-bit name offsets otherwise)\n"
      "  10  data beyond 4 GiB, or a file of 4 GiB or more\n"
      "  11  a folder path longer than 259 bytes\n"
      "  12  the image was written without being prepared\n"
      "  13  a source file changed size during the build\n"
      "  14  the output is an input (the apploader or main program under another\n"
      "      name, or a file inside the base directory); nothing is written\n"
      "  15  an input or an entry under the base directory is not a regular file\n"
      "      (a FIFO, socket or device)\n"
      "  16  the image is complete but another program holds the output open; the\n"
      "      image is kept beside it under the name given\n"
      "  17  --root: sys/boot.bin or sys/bi2.bin has not its size\n"
      "  18  --root: sys/fst.bin is not a file system table\n"
      "  19  the output's container does not take its settings or this image\n";
}

bool parse_trelvik_args(const std::vector<std::string>& args, TrelvikOptions* options,
                        std::string* error) {
  *options = TrelvikOptions();
  std::vector<std::string> seen;
  for (size_t i = 0; i < args.size(); ++i) {
    std::string name = args[i];
    std::string value;
    bool has_inline_value = false;
    size_t eq = name.find('=');
    if (name.compare(0, 2, "--") == 0 && eq != std::string::npos) {
      value = name.substr(eq + 1);
      name = name.substr(0, eq);
      has_inline_value = true;
    }

    bool known = false;
    for (const ValueOption& opt : kValueOptions) {
      if (name != opt.name) continue;
      known = true;
      if (!has_inline_value) {
        if (i + 1 >= args.size()) {
          *error = "option " + name + " needs a value";
          return false;
        }
        value = args[++i];
      }
      options->*opt.field = value;
    }
    for (const FlagOption& opt : kFlagOptions) {
      if (name != opt.name) continue;
      known = true;
      if (has_inline_value) {
        *error = "option " + name + " takes no value";
        return false;
      }
      options->*opt.field = opt.value;
    }
    if (!known) {
      *error = "unknown option " + quoted(args[i]) + " (see --help)";
      return false;
    }
    for (const std::string& earlier : seen) {
      if (earlier == name) {
        *error = "option " + name + " is given twice";
        return false;
      }
    }
    seen.push_back(name);
    if (options->help) return true;
  }
  if (!options->root.empty()) {
    for (const char* replaced : {"--apploader", "--main-program", "--base-dir", "--header-from"}) {
      for (const std::string& given : seen) {
        if (given == replaced) {
          *error = std::string("--root takes the place of ") + replaced + ": use one or the other";
          return false;
        }
      }
    }
  }
  if (!options->disc_magic) {
    for (const char* option : {"--root", "--align", "--allow-oversize"}) {
      for (const std::string& given : seen) {
        if (given == option) {
          *error = std::string(option) +
                   " does not go with --no-disc-magic, which writes exactly what the wizard writes";
          return false;
        }
      }
    }
  }
  return true;
}

bool parse_region(const std::string& name, uint16_t* region_index) {
  std::string lower;
  for (char c : name) lower += char(std::tolower(static_cast<unsigned char>(c)));
  if (lower == "japan") {
    *region_index = 0;
  } else if (lower == "usa") {
    *region_index = 1;
  } else if (lower == "europe") {
    *region_index = 2;
  } else {
    return false;
  }
  return true;
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
      {"--game-id", options.game_id, !import},   {"--game-name", options.game_name, !import},
      {"--maker-id", options.maker_id, !import}, {"--region", options.region, !import},
      {"--apploader", options.apploader, true},  {"--main-program", options.main_program, true},
      {"--base-dir", options.base_dir, true},    {"--output", options.output, true},
  };
  for (const Required& r : required) {
    if (r.needed && r.value.empty()) {
      *error = std::string("missing option ") + r.option + " (see --help)";
      return false;
    }
  }

  // Typed header fields are checked even when an imported header replaces them.
  if (!header_text("game ID", options.game_id, 3, state->game_id, warnings, error) ||
      !header_text("game name", options.game_name, 64, state->game_name, warnings, error) ||
      !header_text("maker ID", options.maker_id, 2, state->maker_id, warnings, error)) {
    return false;
  }
  if (!options.region.empty() && !parse_region(options.region, &state->region_index)) {
    *error = "unknown region " + quoted(options.region) + ": use japan, usa or europe";
    return false;
  }

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
  const std::string shown = quoted(host_path_for_display(options.header_from));
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
  return true;
}

std::string build_error_message(uint16_t code, const TrelvikOptions& options,
                                const std::string& last_step, const std::string& error_path) {
  std::string text;
  bool names_file = false;  // the last log line tells which file was involved
  const std::string shown_path = quoted(host_path_for_display(error_path));
  const bool has_path = !error_path.empty();
  switch (code) {
    case BUILD_ERR_NO_MEMORY:
      text = "out of memory while building the image";
      break;
    case BUILD_ERR_CREATE_OUTPUT:
      text = "cannot create the output image " + quoted(options.output);
      break;
    case BUILD_ERR_NO_SETTINGS:
      text = "no build settings were given to the builder";
      break;
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
    case BUILD_ERR_NOT_PREPARED:
      text = "the image was written without a successful preparation";
      break;
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
    case BUILD_ERR_NOT_A_TABLE:
      text = "the unpacked disc's " + shown_path + " is not a file system table";
      break;
    case BUILD_ERR_OUTPUT_FORMAT:
      text = "the output's container does not take its settings or this image (larger than "
             "a GameCube disc, or a Wii disc's boot blocks); nothing was written";
      break;
    default:
      text = "the build failed";
      break;
  }
  text += " [builder error " + std::to_string(code) + "]";
  if (names_file && !last_step.empty()) text += "; last step: " + last_step;
  return text;
}

std::string unpacked_disc_message(uint16_t code, const std::string& path, const TrelvikOptions& options) {
  const std::string shown = quoted(host_path_for_display(path));
  switch (code) {
    case BUILD_ERR_OPEN_INPUT: return shown + " " + input_problem_text(path);
    case BUILD_ERR_UNPACKED_FILE_SIZE: {
      const size_t size = path == unpacked_disc(options.root).boot_bin ? BOOT_BIN_SIZE : BI2_SIZE;
      return shown + " must hold exactly " + std::to_string(size) + " bytes";
    }
    case BUILD_ERR_ENTER_BASE_DIRECTORY: return "the unpacked disc has no folder " + shown;
    case BUILD_ERR_READ: return "cannot read " + shown;
    case BUILD_ERR_NOT_A_TABLE: return shown + " is not a file system table";
  }
  return build_error_message(code, options, "", path);
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
  const std::string text(cp932_text);

  // The builder's own words are code page 932. A quoted part is a host path:
  // on POSIX hosts its bytes are already the terminal's, on Windows they are
  // the ANSI code page's.
  size_t quote = text.find('\'');  // never a trail byte in code page 932
  std::string words = quote == std::string::npos ? text : text.substr(0, quote);
  std::string path = quote == std::string::npos ? std::string() : text.substr(quote);

  std::string line = stamp;
  std::string utf8;
  line += host::cp932_to_utf8(words, &utf8) ? utf8 : words;
  return line + host_path_for_display(path);
}

// True when the host name of node (its full path's last component) has no
// disc form and is stored as it is. A POSIX name never holds the separator, and on Windows every
// name has its form.
static bool has_unconverted_name(const SourceNode& node) {
  const char* separator = std::strrchr(node.full_path, host::PATH_SEPARATOR);
  const char* host_name = separator ? separator + 1 : node.full_path;
  bool converted = false;
  host::disc_name_from_host_name(std::string(host_name), &converted);
  // A previous table may have given the node its disc name.
  return !converted && std::strcmp(node.name, host_name) == 0;
}

std::vector<std::string> name_form_warnings(const SourceNode* root) {
  std::vector<const SourceNode*> names;
  walk_source_tree(root, [&](const SourceNode& node) {
    if (has_unconverted_name(node)) names.push_back(&node);
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

