// Command-line parsing for ombrel-cli.
#include "cli/ombrel_options.h"

#include <cstring>
#include <vector>

#include "cli/command_line.h"
#include "explorer/core/extraction_logic.h"
#include "reader/reader.h"

namespace {

struct CommandForm {
  const char* name;
  OmbrelCommand command;
  size_t min_operands;  // after the command name
  size_t max_operands;
  const char* synopsis;
};

constexpr size_t MANY = size_t(-1);

const CommandForm kCommands[] = {
    {"info", OmbrelCommand::Info, 1, 1, "info IMAGE"},
    {"ls", OmbrelCommand::List, 1, 2, "ls [-R] IMAGE [PATH]"},
    {"extract", OmbrelCommand::Extract, 3, MANY, "extract IMAGE PATH... DEST"},
    {"sys", OmbrelCommand::System, 3, 3, "sys IMAGE boot|fst|apploader|dol DEST"},
    {"banner", OmbrelCommand::Banner, 2, 2, "banner IMAGE OUT.png"},
    {"unpack", OmbrelCommand::Unpack, 2, 2, "unpack IMAGE DIR"},
    {"convert", OmbrelCommand::Convert, 2, 2, "convert [SETTINGS] IMAGE OUT"},
    {"hash", OmbrelCommand::Hash, 1, 1, "hash IMAGE"},
    {"check", OmbrelCommand::Check, 1, 1, "check IMAGE"},
};

const CommandForm* find_command(const std::string& name) {
  for (const CommandForm& c : kCommands) {
    if (name == c.name) return &c;
  }
  return nullptr;
}

// Each option, the commands it applies to ("" for every command) and where
// it is stored.
enum {
  OPT_STRICT, OPT_RECURSIVE, OPT_OVERWRITE, OPT_DRY_RUN, OPT_JSON, OPT_QUIET, OPT_DAT,
  OPT_FORMAT, OPT_COMPRESSION, OPT_LEVEL, OPT_BLOCK_SIZE, OPT_SCRUB
};
const OptionForm kOptions[] = {
    {"--strict-size", 0, 0}, {"--recursive", 'R', 0}, {"--overwrite", 'o', 0}, {"--dry-run", 'n', 0},
    {"--json", 0, 0},        {"--quiet", 'q', 0},     {"--dat", 0, 1},         {"--format", 0, 1},
    {"--compression", 0, 1}, {"--level", 0, 1},       {"--block-size", 0, 1},  {"--scrub", 0, 0},
};
const char* const kAppliesTo[] = {
    "", "ls", "extract sys unpack convert", "extract sys banner unpack convert", "info hash check", "", "check",
    "convert", "convert", "convert", "convert", "convert",
};
static_assert(sizeof kAppliesTo / sizeof kAppliesTo[0] == sizeof kOptions / sizeof kOptions[0],
              "every option says where it applies");

bool applies(size_t option, const std::string& command) {
  const std::string list = std::string(" ") + kAppliesTo[option] + " ";
  return list == "  " || list.find(" " + command + " ") != std::string::npos;
}

// An in-image path operand in the reader's form; false with the reason.
bool image_path_operand(const std::string& path, std::string* canonical, std::string* error) {
  if (IsoCanonicalPath(path, canonical)) return true;
  *error = path.empty() ? "an empty path inside the image (use / for the root)"
                        : "the path inside the image holds a zero byte";
  return false;
}

}  // namespace

const char* ombrel_usage() {
  return
      "Usage: ombrel-cli [OPTIONS] COMMAND IMAGE [ARGS...]\n"
      "Reads a GameCube disc image: its header, banner and files. IMAGE may be a\n"
      "plain image (.gcm, .iso) or an RVZ, WIA, GCZ, CISO or WDF container.\n"
      "\n"
      "Commands:\n"
      "  info [--json] IMAGE        the header, boot areas, sizes and banner texts\n"
      "  ls [-R] IMAGE [PATH]       the entries of the folder PATH (default /), or\n"
      "                             with -R of its subtree, one a line:\n"
      "                             KIND<TAB>SIZE<TAB>OFFSET<TAB>PATH (KIND d or f)\n"
      "  extract IMAGE PATH... DEST each PATH into the folder DEST: / the whole\n"
      "                             file system, a folder with all it holds, a\n"
      "                             file. A PATH may be a pattern: * any part of a\n"
      "                             name, ? one character, ** any folders\n"
      "                             ('/**/*.thp'); a match keeps its path below\n"
      "                             the pattern's part without wildcards\n"
      "  sys IMAGE AREA DEST        a system area into DEST: boot (boot.bin), fst,\n"
      "                             apploader or dol (default.dol), as the spans\n"
      "                             the header's offsets give; unpack gives the\n"
      "                             exact files\n"
      "  banner IMAGE OUT.png       the 96 x 32 banner picture as a PNG file\n"
      "  unpack IMAGE DIR           the disc as other disc tools unpack it: DIR/sys\n"
      "                             (boot.bin, bi2.bin, apploader.img, main.dol,\n"
      "                             fst.bin) and DIR/files; trelvik-cli --root DIR\n"
      "                             builds it back. A warning counts the data the\n"
      "                             rebuild will not hold\n"
      "  convert IMAGE OUT          the disc written as OUT's extension says (.rvz,\n"
      "                             .wia, .gcz, .ciso, else a plain image)\n"
      "  hash [--json] IMAGE        CRC32, MD5 and SHA-1 of the plain disc, as\n"
      "                             redump lists them\n"
      "  check [--json] [--dat FILE] IMAGE\n"
      "                             the disc's structure, one line a finding\n"
      "                             (error, warning or note); with --dat, the game\n"
      "                             of a Logiqx XML dat whose checksums it has\n"
      "\n"
      "Options:\n"
      "  --strict-size      mount only images of the full disc size (1,459,978,240\n"
      "                     bytes); info and ls warn of files past the end\n"
      "  -R, --recursive    ls: list the whole subtree\n"
      "  -o, --overwrite    extract, sys, unpack, convert: replace files and\n"
      "                     write into folders that exist already\n"
      "  -n, --dry-run      extract, sys, banner, unpack, convert: print what\n"
      "                     would be written, and write nothing\n"
      "  --json             info, hash, check: one JSON object, texts in UTF-8\n"
      "  --dat FILE         check: the dat to look the disc up in\n"
      "  --format KIND      convert: plain, rvz, wia, gcz or ciso\n"
      "  --compression METHOD\n"
      "                     RVZ: zstd (default), bzip2, lzma, lzma2, none;\n"
      "                     WIA: lzma2 (default), purge, bzip2, lzma, none\n"
      "  --level N          RVZ, WIA (default 5), GCZ (default 9)\n"
      "  --block-size BYTES RVZ (128K), WIA (2M), GCZ (32K), CISO (2M)\n"
      "  --scrub            CISO: leave out the blocks no part of the disc uses\n"
      "                     (the image then hashes otherwise)\n"
      "  -q, --quiet        no progress bar and no notes\n"
      "  -h, --help         show this text\n"
      "  -V, --version      show the version and the libraries' versions\n"
      "\n"
      "Paths inside the image use '/'. A missing DEST folder is created. What\n"
      "extract, sys, unpack and convert write is looked at first: nothing is\n"
      "written when any of it exists already (unless --overwrite), when a name\n"
      "cannot be a file name here, when two entries would get one file, or when\n"
      "a target is the image itself. Names and texts are shown in UTF-8.\n"
      "\n"
      "Messages are English; one caused by the reader ends with its code.\n"
      "Exit status: 0 success, 1 the work failed (check: an error found), 2 a\n"
      "wrong command line.\n";
}

bool parse_ombrel_args(const std::vector<std::string>& args, OmbrelOptions* options,
                       std::string* error) {
  *options = OmbrelOptions();
  CommandLine line;
  if (!parse_command_line(args, kOptions, sizeof kOptions / sizeof kOptions[0], &line, error)) return false;
  options->help = line.help;
  options->version = line.version;
  if (line.help || line.version) return true;
  const std::vector<std::string>& operands = line.operands;
  if (operands.empty()) {
    *error = "no command given (info, ls, extract, sys, banner, unpack, convert, hash or check; see --help)";
    return false;
  }
  const CommandForm* form = find_command(operands[0]);
  if (!form) {
    *error = "unknown command '" + operands[0] + "' (info, ls, extract, sys, banner, unpack, convert, hash or check)";
    return false;
  }
  options->command = form->command;
  for (const GivenOption& given : line.options) {
    if (applies(given.option, form->name)) continue;
    // "info hash check" is said "info, hash and check".
    std::string commands = kAppliesTo[given.option];
    const size_t last = commands.rfind(' ');
    if (last != std::string::npos) commands.replace(last, 1, " and ");
    for (size_t space = commands.find(' '); space < commands.rfind(" and "); space = commands.find(' ', space + 2))
      commands.replace(space, 1, ", ");
    *error = option_spelling(kOptions[given.option]) + " applies to " + commands + " only, not to " + form->name;
    return false;
  }
  size_t count = operands.size() - 1;
  if (count < form->min_operands || count > form->max_operands) {
    *error = std::string(count < form->min_operands ? "too few" : "too many") +
             " operands; usage: ombrel-cli " + form->synopsis;
    return false;
  }
  for (size_t i = 1; i < operands.size(); ++i) {
    if (operands[i].empty()) {
      *error = std::string("an empty operand; usage: ombrel-cli ") + form->synopsis;
      return false;
    }
  }
  options->strict_size = line.has(OPT_STRICT);
  options->recursive = line.has(OPT_RECURSIVE);
  options->overwrite = line.has(OPT_OVERWRITE);
  options->dry_run = line.has(OPT_DRY_RUN);
  options->json = line.has(OPT_JSON);
  options->quiet = line.has(OPT_QUIET);
  if (const std::string* dat = line.value(OPT_DAT)) options->dat = *dat;
  const size_t settings[] = {OPT_FORMAT, OPT_COMPRESSION, OPT_LEVEL, OPT_BLOCK_SIZE};
  std::string* fields[] = {&options->write.format, &options->write.compression, &options->write.level,
                           &options->write.block_size};
  for (size_t i = 0; i < 4; ++i)
    if (const std::string* v = line.value(settings[i])) *fields[i] = *v;
  options->write.scrub = line.has(OPT_SCRUB);

  options->image = operands[1];
  switch (form->command) {
    case OmbrelCommand::List:
      if (count == 2 && !image_path_operand(operands[2], &options->image_path, error)) return false;
      break;
    case OmbrelCommand::Extract:
      for (size_t i = 2; i + 1 < operands.size(); ++i) {
        std::string path;
        if (!image_path_operand(operands[i], &path, error)) return false;
        options->image_paths.push_back(path);
      }
      options->destination = operands.back();
      break;
    case OmbrelCommand::System:
      if (!parse_system_area(operands[2], &options->area)) {
        *error = "unknown system area '" + operands[2] + "' (boot, fst, apploader or dol)";
        return false;
      }
      options->destination = operands[3];
      break;
    case OmbrelCommand::Convert:
      if (!container_write_options_for(operands[2].c_str(), options->write, &options->write_options, error))
        return false;
      options->destination = operands[2];
      break;
    case OmbrelCommand::Banner:
    case OmbrelCommand::Unpack:
      options->destination = operands[2];
      break;
    default:
      break;
  }
  return true;
}

bool parse_system_area(const std::string& name, ExtractKind* area) {
  static const char* const kNames[] = {"boot", "fst", "apploader", "dol"};
  for (size_t i = 0; i < 4; ++i) {
    if (name == kNames[i]) {
      *area = ExtractKind(int(ExtractKind::BootData) + int(i));
      return true;
    }
  }
  return false;
}
