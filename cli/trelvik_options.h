// trelvik-cli's logic apart from the process itself: the command line parsed
// into options, the options checked and turned into the builder's settings
// the way the wizard fills them, and the texts the tool prints.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "builder/builder.h"
#include "wizard/core/wizard_state.h"

struct TrelvikOptions {
  std::string game_id;
  std::string game_name;
  std::string maker_id;
  std::string region;
  std::string apploader;
  std::string main_program;
  std::string base_dir;
  std::string output;
  std::string header_from;  // empty: the header comes from the options above
  std::string root;         // an unpacked disc to rebuild; empty: none
  std::string align;        // one alignment for every file; empty: the default
  // The output's container settings as given (ContainerWriteRequest's).
  std::string format, compression, level, block_size;
  bool allow_oversize = false;
  bool maximise = true;
  bool disc_magic = true;
  bool quiet = false;
  bool dry_run = false;    // say what would be written, write nothing
  bool overwrite = false;  // -o: an existing output is replaced anyway
  bool help = false;
  bool version = false;
};

// The --help text.
std::string trelvik_usage();

// Parses the arguments after the program name (see cli/command_line.h).
// False with a one-line reason for an unknown option, a missing value, an
// option given twice, an operand, or options that do not go together
// (--root with the inputs it replaces; --root, --align and --allow-oversize
// with --no-disc-magic). --help and --version stop the checks. --root's
// apploader, main program and files folder fill the options that name them
// in the other modes.
bool parse_trelvik_args(const std::vector<std::string>& args, TrelvikOptions* options,
                        std::string* error);

// The header options of a build or an edit as the disc takes them: a whole
// six-character --game-id split into its code, region letter and maker
// (refused when --maker-id or --region's letter says otherwise), then each
// text converted from UTF-8 to code page 932 and cut as the wizard cuts it
// (game ID 3 bytes, name 64, maker ID 2), with a warning for each cut.
// region_letter is --region's letter, 0 when it is not given.
struct HeaderOptionFields {
  std::string game_code, game_name, maker_code;  // code page 932
  char region_letter;                            // 0: none given
};
bool header_option_fields(const std::string& game_id, const std::string& maker_id, const std::string& game_name,
                          const std::string& region, char region_letter, HeaderOptionFields* fields,
                          std::vector<std::string>* warnings, std::string* error);

// Checks the options and fills the wizard state as the wizard's pages would,
// the header options as header_option_fields takes them. Paths must fit
// their fields: a longer one is an error, never cut. Reads nothing from the
// disk, so a false is always a wrong command line.
bool options_to_wizard_state(const TrelvikOptions& options, WizardState* state,
                             std::vector<std::string>* warnings, std::string* error);

// A six-character game ID's region letter ("" when --game-id is no such
// ID): it goes into the settings after the wizard's filling, which knows
// only J, E and U.
std::string game_id6_region(const TrelvikOptions& options);

// The whole filling: the wizard state, then the imported header when
// --header-from is given, then fill_build_settings. Default mode takes the
// header image's first 0x2440 bytes (read_header_disc), into other_disc when
// given (for builder_set_new_disc_boot_blocks); --no-disc-magic its header as
// the wizard does. False when the options are wrong or the header image
// gives no header.
bool options_to_build_settings(const TrelvikOptions& options, BuildSettings* settings,
                               std::vector<std::string>* warnings, std::string* error,
                               uint8_t* other_disc = nullptr);

// Warnings for names that have no code page 932 form and went into the image
// as their host bytes: other programs show them garbled. Names are shown by
// their host paths, at most three. None on Windows, whose names are taken in
// that code page.
std::vector<std::string> name_form_warnings(const SourceNode* root);

// One line naming what the builder's code means for this build; last_step is
// the last log line seen (UTF-8), added when it tells which file was involved.
// error_path is the builder's path for the code (builder_last_error_path),
// named in the message when given.
std::string build_error_message(uint16_t code, const TrelvikOptions& options,
                                const std::string& last_step, const std::string& error_path = "");

// What is wrong with the unpacked disc of --root, from the code and path of
// builder_set_unpacked_disc.
std::string unpacked_disc_message(uint16_t code, const std::string& path, const TrelvikOptions& options);

// How the output clashes with the input at path (one of the options' paths,
// as the builder or the header check names it): "is the apploader '...'",
// "is the main program '...'", "is the header image '...'", or, for any
// other path, "lies inside the base directory '...'".
std::string output_clash_text(const TrelvikOptions& options, const std::string& input);

// A builder log text (code page 932) as a UTF-8 log line: the UTC time as
// "%02d:%02d:%02d", six blanks, then the text. A text that is not valid code
// page 932 (a host path, say) is kept as raw bytes.
std::string utf8_log_line(int hour, int minute, int second, const char* cp932_text);
