// trelvik-cli edit: the command line of an edit in place, and the texts it
// prints. The edit itself is the engine's (builder/image_edit.h).
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "builder/image_edit.h"

struct EditCommandAction {
  EditActionKind kind;  // EDIT_HEADER is not used here: the fields follow
  bool from_folder;     // --from-folder DIR (in first)
  std::string first;    // PATH (UTF-8), or DIR
  std::string second;   // FILE or NEWNAME, "" for --remove and --from-folder
};

struct EditOptions {
  std::string image;
  std::vector<EditCommandAction> actions;  // in the order given
  std::string game_id, maker_id, game_name, region, disc_number, revision;
  bool dry_run = false;
  bool allow_oversize = false;
  bool quiet = false;
  bool help = false;
  bool version = false;
};

// The --help text of the edit command.
const char* trelvik_edit_usage();

// Parses the arguments after "edit" (see cli/command_line.h; the actions
// repeat, and --replace, --add and --rename take two values). False with a
// one-line reason for a wrong command line: no image, more than one, nothing
// to do, or what the conventions refuse.
bool parse_edit_args(const std::vector<std::string>& args, EditOptions* options, std::string* error);

// The header options as the engine's fields (header_option_fields; --region
// also takes a capital letter). *any is false when no header option was
// given.
bool edit_header_fields(const EditOptions& options, EditHeaderFields* fields, bool* any,
                        std::vector<std::string>* warnings, std::string* error);

// What a step does, in English with in-image paths in UTF-8: "replaced
// '/a.bin': 5 bytes at 0x00012800 (was at 0x00002800)", or with planned
// "would replace ...".
std::string edit_step_text(const EditStep& step, bool planned);
// The code in English, ending with " (builder code N)"; path names the
// file or entry concerned (host path or in-image path, as the engine gives).
std::string edit_error_text(uint16_t code, const std::string& path);

// Runs the edit command: 0 done, 1 the edit failed or was refused, 2 a
// wrong command line. host_args are the same arguments in the host's form
// (the ANSI code page on Windows) for the host paths.
int trelvik_edit_main(const std::vector<std::string>& args, const std::vector<std::string>& host_args);
